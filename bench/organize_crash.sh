#!/usr/bin/env bash
# Runs the organizer's crash test at full weight and prints its figures:
# sortwell-batch killed at random points of by_type and of photos_pattern
# into /dev/shm (another file system, when it is one) over 500 files, and
# of the undo of each, for the given rounds.
# Usage: bench/organize_crash.sh [path/to/sortwell-batch] [rounds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
export SORTWELL_BATCH="$(realpath "${1:-$here/../build/sortwell-batch}")"
export QLM_ORGANIZE_CRASH_ROUNDS="${2:-20}"
cd "$here/../tests/batch_host"
start=$(date +%s)
python3 -m unittest -v test_organize_jobs
echo "organize_crash: ${QLM_ORGANIZE_CRASH_ROUNDS} rounds per test in $(( $(date +%s) - start )) s"
