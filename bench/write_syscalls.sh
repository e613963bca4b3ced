#!/usr/bin/env bash
# Prints the system calls one target costs `qlm tag add` and `qlm rate set`
# on a JPEG: strace -c of a run over 1 file and over 11, and the difference
# per added file by call, so that start-up does not count. The profile to
# quote before and after a change of the write path.
# Usage: bench/write_syscalls.sh [path/to/qlm]
set -euo pipefail
qlm="$(realpath "${1:-$(dirname "$0")/../build/qlm}")"
for tool in strace exiftool convert; do
  command -v "$tool" >/dev/null || { echo "write_syscalls: $tool is missing" >&2; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/profile" HOME="$work/profile"
convert -size 640x480 plasma:fractal -quality 85 "$work/base.jpg"
exiftool -q -overwrite_original -XMP-dc:Subject=Holiday -IPTC:Keywords=Holiday -XMP-xmp:Rating=2 "$work/base.jpg"

counts() {  # output file, qlm arguments before the files, number of files
  rm -rf "$work/set"
  mkdir "$work/set"
  local -a files=()
  for ((i = 0; i < $3; i++)); do
    cp "$work/base.jpg" "$work/set/p$i.jpg"
    files+=("p$i.jpg")
  done
  (cd "$work/set" && strace -f -c -o "$1" "$qlm" $2 "${files[@]}" >/dev/null)
}
profile() {  # label, qlm arguments before the files
  cp "$work/base.jpg" "$work/warm.jpg"
  "$qlm" $2 "$work/warm.jpg" >/dev/null 2>&1 || true  # profile and registry made before counting
  counts "$work/one.txt" "$2" 1
  counts "$work/many.txt" "$2" 11
  echo "$1: system calls per added file (strace -c, 11 files less 1)"
  awk '
    FNR == NR { if ($NF != "total" && $4 ~ /^[0-9]+$/) one[$NF] = $4; next }
    $NF != "total" && $4 ~ /^[0-9]+$/ {
      per = ($4 - one[$NF]) / 10
      if (per >= 0.5) { line = line sprintf(", %s %.1f", $NF, per); sum += per }
    }
    END { printf "  total %.1f%s\n", sum, line }' "$work/one.txt" "$work/many.txt"
}
profile "qlm tag add" "tag add --tag Bench"
profile "qlm rate set" "rate set --stars 3"
