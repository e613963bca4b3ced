#!/usr/bin/env bash
# Prints the peak resident memory of `qlm info --json` over many tiny (8x8)
# JPEGs, in all and per target, beside the peak of `qlm --version`.
# Usage: bench/info_memory.sh [path/to/qlm] [targets, default 100000]
set -euo pipefail
qlm="$(realpath "${1:-$(dirname "$0")/../build/qlm}")"
count="${2:-100000}"
work="$(mktemp -d /tmp/qlm-info-memory.XXXXXX)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/profile" HOME="$work/profile"
mkdir -p "$work/jpg"
convert -size 8x8 xc:gray -quality 85 "$work/seed.jpg"
exiftool -q -overwrite_original -XMP-dc:Subject=Tiny -XMP-xmp:Rating=2 "$work/seed.jpg"
# Hard links: the targets are distinct paths, the disk holds a few files
# (a new copy every 60,000 links, below ext4's limit).
python3 -c 'import os, shutil, sys
work = sys.argv[1]
for i in range(int(sys.argv[2])):
    seed = "%s/seed%d.jpg" % (work, i // 60000)
    if i % 60000 == 0: shutil.copy(work + "/seed.jpg", seed)
    os.link(seed, "%s/jpg/t%06d.jpg" % (work, i))' "$work" "$count"
cd "$work/jpg"
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
base=$(peak_kib "$qlm" --version)
/usr/bin/time -f %M -o "$work/peak" "$qlm" info --json '*.jpg' >"$work/out.json"
peak=$(cat "$work/peak")
printf '%d tiny JPEGs, %d bytes of JSON; load %s\n' "$count" "$(stat -c %s "$work/out.json")" \
  "$(cut -d' ' -f1-3 /proc/loadavg)"
awk -v b="$base" -v p="$peak" -v n="$count" 'BEGIN {
  printf "%-36s %8.1f MiB\n%-36s %8.1f MiB\n%-36s %8.0f bytes (goal <= 1024)\n",
    "peak of qlm --version", b / 1024, "peak of qlm info --json", p / 1024,
    "per target", p * 1024 / n }'
