#!/usr/bin/env bash
# Prints the time of `qlm info --json` over 2,000 generated JPEGs and over
# 2,000 text files, beside exiv2 and exiftool reading the same keys of the
# same files, and one `qlm info` on one photo beside one exiftool call.
# Usage: bench/info_bench.sh [path/to/qlm]
set -euo pipefail
qlm="$(realpath "${1:-$(dirname "$0")/../build/qlm}")"
work="$(mktemp -d /tmp/qlm-info-bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/profile" HOME="$work/profile"
mkdir -p "$work/jpg" "$work/txt"

convert -size 640x480 plasma:fractal -seed 3 -quality 85 "$work/seed.jpg"
exiftool -q -overwrite_original -XMP-dc:Subject=Holiday -XMP-dc:Subject=Harbour -XMP-xmp:Rating=4 \
  -XMP-exif:UserComment="Evening light" "$work/seed.jpg"
for i in $(seq -w 1 2000); do cp "$work/seed.jpg" "$work/jpg/p$i.jpg"; printf 'note %s\n' "$i" > "$work/txt/n$i.txt"; done
printf '2,000 JPEGs of %d bytes each\n' "$(stat -c %s "$work/seed.jpg")"

seconds() { local start end; start=$(date +%s%N); "$@" >/dev/null 2>&1 || true; end=$(date +%s%N); awk -v ns=$((end - start)) 'BEGIN { printf "%.3f s", ns / 1e9 }'; }

cd "$work/jpg"
printf '%-40s %s\n' "qlm info --json (2,000 JPEGs)" "$(seconds "$qlm" info --json '*.jpg')"
printf '%-40s %s\n' "exiv2 -PXkv (same keys)" "$(seconds exiv2 -PXkv -K Xmp.dc.subject -K Xmp.xmp.Rating -K Xmp.exif.UserComment ./*.jpg)"
printf '%-40s %s\n' "exiftool -j (same keys)" "$(seconds exiftool -j -XMP-dc:Subject -XMP-xmp:Rating -XMP-exif:UserComment ./*.jpg)"
printf '%-40s %s\n' "cat (bare open+read+close)" "$(seconds cat ./*.jpg)"
cd "$work/txt"
printf '%-40s %s\n' "qlm info --json (2,000 text files)" "$(seconds "$qlm" info --json '*.txt')"
printf '%-40s %s\n' "exiftool -j (2,000 text files)" "$(seconds exiftool -j ./*.txt)"
cd "$work/jpg"
printf '%-40s %s\n' "qlm info (one photo)" "$(seconds "$qlm" info p0001.jpg)"
printf '%-40s %s\n' "exiftool (one photo)" "$(seconds exiftool -XMP-dc:Subject -XMP-xmp:Rating p0001.jpg)"
