#!/usr/bin/env bash
# Prints what the checks around each embedded write cost: `qlm tag add` over
# 2,000 generated JPEGs (with EXIF, IPTC and XMP) by a baseline build and by
# this one, in alternating rounds on fresh copies, and the difference in wall
# time and in CPU time (user + system; the wall time of a write is mostly the
# flush of each replaced file, so on a busy disk the CPU time is the steadier
# figure).
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
run() {  # binary: "wall-ns cpu-seconds" of one tag add over fresh copies
  fresh_copies
  local start end
  start=$(date +%s%N)
  (cd "$work/set" && /usr/bin/time -f "%U %S" -o "$work/cpu" "$1" tag add --tag Bench '*.jpg' >/dev/null 2>&1) ||
    echo "  ($1 exited with an error)" >&2
  end=$(date +%s%N)
  echo "$((end - start)) $(awk '{ print $1 + $2 }' "$work/cpu")"
}

echo "keyword added to $count JPEGs ($(stat -c %s "$work/base.jpg") bytes each), $rounds alternating rounds"
: >"$work/rounds"
for ((r = 1; r <= rounds; r++)); do
  echo "$(run "$baseline") $(run "$qlm")" >>"$work/rounds"
  tail -n 1 "$work/rounds" | awk -v r="$r" -v c="$count" '{
    printf "round %d: baseline %6.2f s wall, %5.2f s CPU   checked %6.2f s wall, %5.2f s CPU\n", r, $1/1e9, $2, $3/1e9, $4 }'
done
awk -v c="$count" '{ bw += $1; bc += $2; nw += $3; nc += $4; n++ } END {
  printf "mean per file: baseline %.2f ms wall, %.3f ms CPU; checked %.2f ms wall, %.3f ms CPU\n", bw/n/c/1e6, bc/n/c*1e3, nw/n/c/1e6, nc/n/c*1e3
  printf "difference: wall %+.1f %%, CPU %+.1f %%\n", (nw - bw) * 100 / bw, (nc - bc) * 100 / bc }' "$work/rounds"
