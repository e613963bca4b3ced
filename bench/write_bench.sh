#!/usr/bin/env bash
# Prints the wall time of `qlm tag add` and `qlm rate set` over 2,000 generated
# JPEGs beside exiv2 -M and exiftool making the same change to copies of the
# same files, and of one rating change on a large JPEG.
# Usage: bench/write_bench.sh [path/to/qlm] [file count]
set -euo pipefail
qlm="$(realpath "${1:-$(dirname "$0")/../build/qlm}")"
count="${2:-2000}"
for tool in exiv2 exiftool convert; do
  command -v "$tool" >/dev/null || { echo "write_bench: $tool is missing" >&2; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/profile" HOME="$work/profile"

convert -size 640x480 plasma:fractal -quality 85 "$work/base.jpg"
exiftool -q -overwrite_original -XMP-dc:Subject=Holiday -IPTC:Keywords=Holiday -XMP-xmp:Rating=2 "$work/base.jpg"
fresh_copies() {  # a new folder of $count copies of the base photo
  rm -rf "$work/set"
  mkdir "$work/set"
  for ((i = 0; i < count; i++)); do cp "$work/base.jpg" "$(printf '%s/set/p%05d.jpg' "$work" "$i")"; done
  sync
}
measure() {  # label, command...: one timed run on fresh copies
  local label="$1"; shift
  fresh_copies
  local start end
  start=$(date +%s%N)
  (cd "$work/set" && "$@" >/dev/null 2>&1) || echo "  ($label exited with an error)"
  end=$(date +%s%N)
  awk -v l="$label" -v ns=$((end - start)) -v n="$count" \
    'BEGIN { printf "%-34s %7.2f s  (%.2f ms per file)\n", l, ns / 1e9, ns / n / 1e6 }'
}

echo "keyword added to $count JPEGs ($(stat -c %s "$work/base.jpg") bytes each)"
measure "qlm tag add" "$qlm" tag add --tag Bench '*.jpg'
measure "exiv2 -M (XMP + IPTC)" sh -c 'exiv2 -M"add Xmp.dc.subject Bench" -M"add Iptc.Application2.Keywords Bench" *.jpg'
measure "exiftool (XMP + IPTC)" exiftool -q -overwrite_original '-XMP-dc:Subject+=Bench' '-IPTC:Keywords+=Bench' .
echo
echo "rating set to 3 stars on $count JPEGs"
measure "qlm rate set" "$qlm" rate set --stars 3 '*.jpg'
measure "exiv2 -M (XMP rating)" sh -c 'exiv2 -M"set Xmp.xmp.Rating 3" *.jpg'
measure "exiftool (XMP rating)" exiftool -q -overwrite_original -XMP-xmp:Rating=3 .

echo
convert -size 4000x3000 xc: +noise Random -quality 92 "$work/large.jpg"
echo "one rating change on a $(($(stat -c %s "$work/large.jpg") / 1000000)) MB JPEG (mean of 5)"
single() {
  local label="$1"; shift
  local total=0 start end
  for ((i = 0; i < 5; i++)); do
    cp "$work/large.jpg" "$work/one.jpg"
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || echo "  ($label exited with an error)"
    end=$(date +%s%N)
    total=$((total + end - start))
  done
  awk -v l="$label" -v ns=$total 'BEGIN { printf "%-34s %7.3f s\n", l, ns / 5 / 1e9 }'
}
single "qlm rate set" "$qlm" rate set --stars 4 "$work/one.jpg"
single "exiv2 -M" exiv2 -M"set Xmp.xmp.Rating 4" "$work/one.jpg"
single "exiftool" exiftool -q -overwrite_original -XMP-xmp:Rating=4 "$work/one.jpg"
