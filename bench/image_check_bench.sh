#!/usr/bin/env bash
# Prints what the checks around each embedded write cost: `qlm tag add` over
# 2,000 generated JPEGs (with EXIF, IPTC and XMP) by a baseline build and by
# this one, in alternating rounds on fresh copies, and the difference.
# Usage: bench/image_check_bench.sh path/to/baseline/qlm [path/to/qlm] [file count] [rounds]
set -euo pipefail
baseline="$(realpath "$1")"
qlm="$(realpath "${2:-$(dirname "$0")/../build/qlm}")"
count="${3:-2000}"
rounds="${4:-3}"
for tool in exiftool convert; do
  command -v "$tool" >/dev/null || { echo "image_check_bench: $tool is missing" >&2; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/profile" HOME="$work/profile"

convert -size 640x480 plasma:fractal -quality 85 "$work/base.jpg"
exiftool -q -overwrite_original -Make=Bench -Model=One -XPKeywords=Holiday -XMP-dc:Subject=Holiday \
  -IPTC:Keywords=Holiday "$work/base.jpg"
fresh_copies() {
  rm -rf "$work/set"
  mkdir "$work/set"
  for ((i = 0; i < count; i++)); do cp "$work/base.jpg" "$(printf '%s/set/p%05d.jpg' "$work" "$i")"; done
  sync
}
run() {  # binary: nanoseconds of one tag add over fresh copies
  fresh_copies
  local start end
  start=$(date +%s%N)
  (cd "$work/set" && "$1" tag add --tag Bench '*.jpg' >/dev/null 2>&1) || echo "  ($1 exited with an error)" >&2
  end=$(date +%s%N)
  echo $((end - start))
}

echo "keyword added to $count JPEGs ($(stat -c %s "$work/base.jpg") bytes each), $rounds alternating rounds"
base_total=0
new_total=0
for ((r = 1; r <= rounds; r++)); do
  b=$(run "$baseline")
  n=$(run "$qlm")
  base_total=$((base_total + b))
  new_total=$((new_total + n))
  awk -v r="$r" -v b="$b" -v n="$n" -v c="$count" \
    'BEGIN { printf "round %d: baseline %6.2f s (%.2f ms/file)  checked %6.2f s (%.2f ms/file)\n", r, b/1e9, b/c/1e6, n/1e9, n/c/1e6 }'
done
awk -v b="$base_total" -v n="$new_total" -v r="$rounds" \
  'BEGIN { printf "mean: baseline %.2f s, checked %.2f s, difference %+.1f %%\n", b/r/1e9, n/r/1e9, (n - b) * 100 / b }'
