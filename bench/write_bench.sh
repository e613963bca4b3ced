#!/usr/bin/env bash
# Prints the wall time of `qlm tag add` and `qlm rate set` over 2,000 generated
# JPEGs beside exiv2 -M and exiftool making the same change to copies of the
# same files, and of one rating change on a large JPEG, with the ratio of qlm
# to each (medians of interleaved rounds; the load of the machine is shown).
# A bare crash-safe rewrite of the same files runs beside them: the floor of
# one sync per file, which qlm's group commit (one flush per group of up to
# 64 photos) goes below while keeping every file safe through a crash.
# Usage: bench/write_bench.sh [path/to/qlm] [file count] [rounds]
set -euo pipefail
qlm="$(realpath "${1:-$(dirname "$0")/../build/qlm}")"
count="${2:-2000}"
runs="${3:-3}"
# The bare crash-safe rewrite (read, write beside, sync, rename) with no
# metadata work: how much of qlm's time the disk takes anyway.
floor="$(dirname "$qlm")/bench/replace_floor"
[ -x "$floor" ] || { echo "write_bench: $floor is missing (build the replace_floor target)" >&2; exit 1; }
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
timed() {  # command...: nanoseconds of one run on fresh copies
  fresh_copies
  local start end
  start=$(date +%s%N)
  (cd "$work/set" && "$@" >/dev/null 2>&1) || echo "  ($* exited with an error)" >&2
  end=$(date +%s%N)
  echo $((end - start))
}
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Runs the three commands of one change in turn, $runs rounds interleaved so
# that the load of a shared machine falls on all alike, and prints medians
# and qlm's ratio to each other tool.
compare() {  # label of qlm, command of qlm, label of exiv2, command of exiv2, label of exiftool, command of exiftool
  local -a a=() b=() c=() d=() e=()
  for ((r = 0; r < runs; r++)); do
    a+=("$(timed sh -c "$2")"); b+=("$(timed sh -c "$4")"); c+=("$(timed sh -c "$6")")
    d+=("$(timed sh -c "'$floor' *.jpg")"); e+=("$(timed sh -c "'$floor' --no-sync *.jpg")")
  done
  local ma mb mc md me
  ma=$(median "${a[@]}"); mb=$(median "${b[@]}"); mc=$(median "${c[@]}"); md=$(median "${d[@]}"); me=$(median "${e[@]}")
  for row in "$1 $ma" "$3 $mb" "$5 $mc" "bare crash-safe rewrite $md" "bare rewrite without sync $me"; do
    awk -v l="${row% *}" -v ns="${row##* }" -v n="$count" \
      'BEGIN { printf "%-34s %7.2f s  (%.2f ms per file)\n", l, ns / 1e9, ns / n / 1e6 }'
  done
  awk -v a="$ma" -v b="$mb" -v c="$mc" -v d="$md" 'BEGIN {
    printf "%-34s %7.2fx exiv2  %5.2fx exiftool  %5.2fx bare crash-safe rewrite\n", "ratio of qlm", a / b, a / c, a / d
    printf "%-34s %7.2fx exiv2\n", "ratio of bare crash-safe rewrite", d / b }'
}

echo "keyword added to $count JPEGs ($(stat -c %s "$work/base.jpg") bytes each; medians of $runs interleaved runs; load $(cut -d' ' -f1-3 /proc/loadavg))"
compare "qlm tag add (group commit)" "'$qlm' tag add --tag Bench '*.jpg'" \
  "exiv2 -M (XMP + IPTC)" 'exiv2 -M"add Xmp.dc.subject Bench" -M"add Iptc.Application2.Keywords Bench" *.jpg' \
  "exiftool (XMP + IPTC)" "exiftool -q -overwrite_original '-XMP-dc:Subject+=Bench' '-IPTC:Keywords+=Bench' ."
echo
echo "rating set to 3 stars on $count JPEGs"
compare "qlm rate set (group commit)" "'$qlm' rate set --stars 3 '*.jpg'" \
  "exiv2 -M (XMP rating)" 'exiv2 -M"set Xmp.xmp.Rating 3" *.jpg' \
  "exiftool (XMP rating)" 'exiftool -q -overwrite_original -XMP-xmp:Rating=3 .'
echo
convert -size 4000x3000 xc: +noise Random -quality 92 "$work/large.jpg"
echo "one rating change on a $(($(stat -c %s "$work/large.jpg") / 1000000)) MB JPEG (median of 5, interleaved)"
single() {  # command...: nanoseconds of one change on a fresh copy
  cp "$work/large.jpg" "$work/one.jpg"
  sync
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || echo "  ($* exited with an error)" >&2
  end=$(date +%s%N)
  echo $((end - start))
}
a=(); b=(); c=(); d=()
for ((i = 0; i < 5; i++)); do
  a+=("$(single "$qlm" rate set --stars 4 "$work/one.jpg")")
  b+=("$(single exiv2 -M"set Xmp.xmp.Rating 4" "$work/one.jpg")")
  c+=("$(single exiftool -q -overwrite_original -XMP-xmp:Rating=4 "$work/one.jpg")")
  d+=("$(single "$floor" "$work/one.jpg")")
done
ma=$(median "${a[@]}"); mb=$(median "${b[@]}"); mc=$(median "${c[@]}"); md=$(median "${d[@]}")
awk -v a="$ma" -v b="$mb" -v c="$mc" -v d="$md" 'BEGIN {
  printf "%-34s %7.3f s\n%-34s %7.3f s\n%-34s %7.3f s\n", "qlm rate set", a / 1e9, "exiv2 -M", b / 1e9, "exiftool", c / 1e9
  printf "%-34s %7.3f s\n", "bare crash-safe rewrite", d / 1e9
  printf "%-34s %7.2fx exiv2  %5.2fx exiftool  %5.2fx bare crash-safe rewrite\n", "ratio of qlm", a / b, a / c, a / d
  printf "%-34s %7.2fx exiv2\n", "ratio of bare crash-safe rewrite", d / b }'
