#!/usr/bin/env bash
# Prints the organizer's figures (organize_bench: by_type at 1,000, 10,000
# and 50,000 files with undo, geodata) and photos_pattern over 2,000 dated
# JPEGs beside exiftool filing the same photos into date folders.
# Usage: bench/organize_bench.sh [build folder] [photo count]
set -euo pipefail
build="$(realpath "${1:-$(dirname "$0")/../build}")"
count="${2:-2000}"
for tool in exiftool convert; do
  command -v "$tool" >/dev/null || { echo "organize_bench: $tool is missing" >&2; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/profile" HOME="$work/profile"

convert -size 320x240 plasma:fractal -quality 85 "$work/base.jpg"
exiftool -q -overwrite_original '-DateTimeOriginal=2024:05:01 12:00:00' "$work/base.jpg"
fresh_copies() {
  rm -rf "$work/set"
  mkdir "$work/set"
  for ((i = 0; i < count; i++)); do cp "$work/base.jpg" "$(printf '%s/set/p%05d.jpg' "$work" "$i")"; done
  sync
}
fresh_copies
start=$(date +%s%N)
(cd "$work/set" && exiftool -q -d %Y-%m-%d '-directory<DateTimeOriginal' . >/dev/null 2>&1) || true
end=$(date +%s%N)
exiftool_seconds=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.2f", ns / 1e9 }')
echo "exiftool date folders over $count JPEGs: $exiftool_seconds s"
fresh_copies
"$build/bench/organize_bench" "$work/set" | tee "$work/figures"
# Goals: by_type over 10,000 files under 2 s, 50,000 within 6 times the
# 10,000 figure, photos_pattern 3 times faster than exiftool.
awk -v exiftool="$exiftool_seconds" '
  /^by_type +10000/ { ten = $5 }
  /^by_type +50000/ { fifty = $5 }
  /^photos_pattern/ { photos = $(NF - 4) }
  END {
    printf "goals: 10,000 by_type %.2f s (under 2 s), 50,000 / 10,000 = %.1f (within 6), exiftool / photos_pattern = %.1f (at least 3)\n",
      ten, fifty / ten, exiftool / photos
  }' "$work/figures"
uptime
