#!/usr/bin/env bash
# Runs the crash and concurrency end-to-end tests at full weight and prints
# their figures: writers killed at random moments (small photos and a 20 MB
# one, modes 0600 and 0644, extended attributes) and rounds of five
# concurrent writers beside a reader, and rounds where another program
# (exiftool, or a rename of a different file over the photo) writes during
# qlm's write.
# Usage: bench/nothing_lost.sh [path/to/qlm] [kills] [rounds] [rival rounds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
export QLM="$(realpath "${1:-$here/../build/qlm}")"
export QLM_CRASH_KILLS="${2:-300}" QLM_CONCURRENCY_ROUNDS="${3:-50}" QLM_RIVAL_ROUNDS="${4:-100}"
cd "$here/../tests/cli"
start=$(date +%s)
python3 -m unittest -v test_nothing_lost.Crashes test_nothing_lost.Concurrency test_not_alone.Rivals
echo "nothing_lost: ${QLM_CRASH_KILLS} kills, ${QLM_CONCURRENCY_ROUNDS} rounds and ${QLM_RIVAL_ROUNDS} rival rounds" \
     "in $(( $(date +%s) - start )) s"
