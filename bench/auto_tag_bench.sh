#!/usr/bin/env bash
# Prints the wall time of an auto_tag job over 200 generated JPEGs through
# sortwell-batch and the stand-in service, beside `qlm tag add` of one tag
# on copies of the same files, and the loopback figures of service_bench.
# Usage: bench/auto_tag_bench.sh [build folder] [file count]
set -euo pipefail
build="$(realpath "${1:-$(dirname "$0")/../build}")"
# The stand-in and the programs that start it live in test-service/ on Linux.
host="$build"
[[ -x "$build/test-service/sortwell-batch" ]] && host="$build/test-service"
count="${2:-200}"
command -v convert >/dev/null || { echo "auto_tag_bench: convert is missing" >&2; exit 1; }
work="$(mktemp -d)"
export XDG_DATA_HOME="$work/profile" HOME="$work/profile" QLM_TEST_SERVICE_LOG="$work/service.log"
stop_service() {
  for pid in $(pgrep -x Quillmark.AutoT || true); do  # comm stops at 15 characters
    [ "$(basename "$(readlink "/proc/$pid/exe" 2>/dev/null)")" = Quillmark.AutoTagging.Service ] && kill "$pid"
  done
  return 0
}
trap 'stop_service; rm -rf "$work"' EXIT

convert -size 640x480 plasma:fractal -quality 85 "$work/base.jpg"
fresh_copies() {
  rm -rf "$work/set"
  mkdir "$work/set"
  for ((i = 0; i < count; i++)); do cp "$work/base.jpg" "$(printf '%s/set/p%05d.jpg' "$work" "$i")"; done
  sync
}
job() {  # action: a job file over the copies
  python3 - "$1" "$work/set" "$work/job.json" <<'PY'
import json, os, sys
action, folder, out = sys.argv[1:]
files = sorted(os.path.join(folder, f) for f in os.listdir(folder))
json.dump({"version": "1", "job": {"guid": "bench", "action_type": action, "action_parameters": "+Bench"},
           "files": [{"path": f} for f in files]}, open(out, "w"))
PY
}
measure() {  # label, command...
  local label="$1"; shift
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || echo "  ($label exited with an error)"
  end=$(date +%s%N)
  awk -v l="$label" -v ns=$((end - start)) -v n="$count" \
    'BEGIN { printf "%-36s %7.2f s  (%.2f ms per file)\n", l, ns / 1e9, ns / n / 1e6 }'
}

echo "tags written to $count JPEGs ($(stat -c %s "$work/base.jpg") bytes each)"
fresh_copies
cd "$work/set"
measure "qlm tag add" "$build/qlm" tag add --tag Bench '*.jpg'
cd - >/dev/null
fresh_copies; job update_tags
measure "sortwell-batch update_tags" "$host/sortwell-batch" "$work/job.json"
fresh_copies; job auto_tag
measure "sortwell-batch auto_tag (cold start)" "$host/sortwell-batch" "$work/job.json"
fresh_copies
measure "sortwell-batch auto_tag (running)" "$host/sortwell-batch" "$work/job.json"
stop_service
echo
"$host/service_bench" 1000
