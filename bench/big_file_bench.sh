#!/usr/bin/env bash
# Prints the time and peak memory (max RSS) of `qlm tag add` on a 2 GB JPEG
# beside `cp --reflink=never` of the same file (and cp followed by a flush,
# since qlm flushes its new file before the rename): once for a sparse file
# (a real small JPEG head, a hole in its scan data, its end-of-image marker)
# and once for the same size written out in real blocks.
# Usage: bench/big_file_bench.sh [path/to/qlm] [size in MiB, default 2048]
set -euo pipefail
qlm="$(realpath "${1:-$(dirname "$0")/../build/qlm}")"
mib="${2:-2048}"
work="$(mktemp -d "${TMPDIR:-/tmp}/qlm-big-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/profile" HOME="$work/profile"

convert -size 640x480 plasma:fractal -seed 3 -quality 85 "$work/seed.jpg"
seed_size=$(stat -c %s "$work/seed.jpg")
# The seed without its last two bytes (FF D9), a gap of zeros, then FF D9.
make_photo() {  # file sparse|dense
  head -c $((seed_size - 2)) "$work/seed.jpg" > "$1"
  if [ "$2" = sparse ]; then
    truncate -s $((mib * 1048576)) "$1"
  else
    head -c $((mib * 1048576 - seed_size + 2)) /dev/zero >> "$1"
  fi
  printf '\xff\xd9' >> "$1"
}

# "<seconds> <max RSS in MiB>" of one command, from GNU time.
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>&1 || true
  awk '{ printf "%.2f s  %7.1f MiB", $1, $2 / 1024 }' "$work/time"
}

cd "$work"
for kind in sparse dense; do
  make_photo "photo.jpg" "$kind"
  sync
  cat photo.jpg > /dev/null  # every run reads from the page cache
  printf '%s JPEG of %d MiB (%d MiB in blocks); load %s\n' "$kind" "$mib" \
    $(( $(stat -c '%b * %B' photo.jpg) / 1048576 )) "$(cut -d' ' -f1-3 /proc/loadavg)"
  printf '  %-34s %s\n' "cp --reflink=never" "$(measure cp --reflink=never photo.jpg copy.jpg)"
  rm -f copy.jpg
  printf '  %-34s %s\n' "cp --reflink=never, then sync" \
    "$(measure sh -c 'cp --reflink=never photo.jpg copy.jpg && sync copy.jpg')"
  rm -f copy.jpg
  printf '  %-34s %s\n' "qlm tag add" "$(measure "$qlm" tag add -t Big photo.jpg)"
  printf '  %-34s %s\n' "qlm rate set" "$(measure "$qlm" rate set --stars 4 photo.jpg)"
  printf '  %-34s %s MiB in blocks, keywords: %s\n' "after qlm" $(( $(stat -c '%b * %B' photo.jpg) / 1048576 )) \
    "$(exiftool -s3 -XMP-dc:Subject photo.jpg)"
  rm -f photo.jpg
done
