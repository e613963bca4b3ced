#!/usr/bin/env bash
# Prints the time of `qlm info --json` over 2,000 generated JPEGs (on the
# machine as it is, and again with one core kept busy by the bench) and over
# 2,000 text files, beside exiv2 and exiftool reading the same keys of the
# same files with qlm's ratio to each, and one `qlm info` on one photo beside
# one exiftool call.
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
nanoseconds() { local start end; start=$(date +%s%N); "$@" >/dev/null 2>&1 || true; end=$(date +%s%N); echo $((end - start)); }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

cd "$work/jpg"
# qlm, exiv2 and exiftool in turn, five rounds interleaved so that the load of
# a shared machine falls on all alike; medians and qlm's ratio to each.
# Wall time in ns, then the CPU seconds (user + system) the command took,
# which a loaded machine disturbs less.
timed() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%U %S' -o "$work/cpu" "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo "$((end - start)) $(awk '{ printf "%d", ($1 + $2) * 1000 }' "$work/cpu")"
}
compare() {  # label
  local a=() b=() c=() ca=() cb=() round t ma mb mc
  for ((round = 0; round < 5; round++)); do
    t=$(timed "$qlm" info --json '*.jpg'); a+=("${t% *}"); ca+=("${t#* }")
    t=$(timed exiv2 -PXkv -K Xmp.dc.subject -K Xmp.xmp.Rating -K Xmp.exif.UserComment ./*.jpg); b+=("${t% *}"); cb+=("${t#* }")
    c+=("$(nanoseconds exiftool -j -XMP-dc:Subject -XMP-xmp:Rating -XMP-exif:UserComment ./*.jpg)")
  done
  ma=$(median "${a[@]}"); mb=$(median "${b[@]}"); mc=$(median "${c[@]}")
  echo "$1: medians of 5 interleaved runs; load $(cut -d' ' -f1-3 /proc/loadavg)"
  awk -v a="$ma" -v b="$mb" -v c="$mc" -v ca="$(median "${ca[@]}")" -v cb="$(median "${cb[@]}")" 'BEGIN {
    printf "  %-38s %.3f s  (CPU %.3f s)\n  %-38s %.3f s  (CPU %.3f s)\n  %-38s %.3f s\n",
      "qlm info --json (2,000 JPEGs)", a / 1e9, ca / 1e3, "exiv2 -PXkv (same keys)", b / 1e9, cb / 1e3,
      "exiftool -j (same keys)", c / 1e9
    printf "  %-38s %.2fx exiv2 (CPU %.2fx)  %.2fx exiftool\n", "ratio of qlm", a / b, ca / cb, a / c }'
}
compare "idle (only the machine's own load)"
# One process that spins on a core, as a busy desktop would, for the whole round.
( trap 'exit 0' TERM; while :; do :; done ) &
spinner=$!
compare "one core busy (a spinning process)"
kill "$spinner"; wait "$spinner" 2>/dev/null || true
printf '%-40s %s\n' "cat (bare open+read+close)" "$(seconds cat ./*.jpg)"
cd "$work/txt"
printf '%-40s %s\n' "qlm info --json (2,000 text files)" "$(seconds "$qlm" info --json '*.txt')"
printf '%-40s %s\n' "exiftool -j (2,000 text files)" "$(seconds exiftool -j ./*.txt)"
cd "$work/jpg"
printf '%-40s %s\n' "qlm info (one photo)" "$(seconds "$qlm" info p0001.jpg)"
printf '%-40s %s\n' "exiftool (one photo)" "$(seconds exiftool -XMP-dc:Subject -XMP-xmp:Rating p0001.jpg)"
