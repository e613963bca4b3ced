#!/usr/bin/env bash
# Runs the crash and concurrency end-to-end tests at full weight and prints
# their figures: writers killed at random moments (small photos and a 20 MB
# one, modes 0600 and 0644, extended attributes) and rounds of five
# concurrent writers beside a reader.
# Usage: bench/nothing_lost.sh [path/to/qlm] [kills] [rounds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
export QLM="$(realpath "${1:-$here/../build/qlm}")"
export QLM_CRASH_KILLS="${2:-300}" QLM_CONCURRENCY_ROUNDS="${3:-50}"
cd "$here/../tests/cli"
start=$(date +%s)
python3 -m unittest -v test_nothing_lost.Crashes test_nothing_lost.Concurrency
echo "nothing_lost: ${QLM_CRASH_KILLS} kills and ${QLM_CONCURRENCY_ROUNDS} rounds in $(( $(date +%s) - start )) s"
