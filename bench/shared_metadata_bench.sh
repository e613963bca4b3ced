#!/usr/bin/env bash
# Prints the wall time of `qlm tag add` over 2,000 JPEGs that carry
# hierarchical keywords and an IPTC caption, for this build and an earlier
# one (the keyword write now also edits the hierarchy lists and the IPTC
# text; goal: within 5 %), and of `qlm info --json` over 500 MP3s beside
# `exiftool -j` on the same files (goal: 5x faster), and of `qlm info --json`
# over 500 camera raw files with darktable-style sidecars beside 500 JPEGs
# holding the same values (goal: within 2x).
# Usage: bench/shared_metadata_bench.sh [path/to/qlm] [path/to/earlier/qlm] [photo count]
set -euo pipefail
qlm="$(realpath "${1:-$(dirname "$0")/../build/qlm}")"
earlier="${2:-/work/main/build/qlm}"
count="${3:-2000}"
for tool in exiftool convert ffmpeg; do
  command -v "$tool" >/dev/null || { echo "shared_metadata_bench: $tool is missing" >&2; exit 1; }
done
work="$(mktemp -d /tmp/qlm-shared-bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/profile" HOME="$work/profile"

seconds() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f s", ns / 1e9 }'
}

convert -size 640x480 plasma:fractal -seed 5 -quality 85 "$work/base.jpg"
exiftool -q -overwrite_original -XMP-dc:Subject=Paris -XMP-dc:Subject=Anne -IPTC:Keywords=Paris -IPTC:Keywords=Anne \
  '-XMP-lr:HierarchicalSubject=Places|Paris' '-XMP-digiKam:TagsList=Places/Paris' \
  '-IPTC:Caption-Abstract=Price 5€ “quoted”' "$work/base.jpg"
tag_add() {  # label, qlm binary: one timed run on fresh copies
  rm -rf "$work/set"
  mkdir "$work/set"
  for ((i = 0; i < count; i++)); do cp "$work/base.jpg" "$(printf '%s/set/p%05d.jpg' "$work" "$i")"; done
  sync
  cd "$work/set"
  printf '%-46s %s\n' "$1" "$(seconds "$2" tag add --tag Summer '*.jpg')"
  cd "$work"
}
printf '%d JPEGs of %d bytes with hierarchical keywords and a cp1252 caption\n' "$count" "$(stat -c %s "$work/base.jpg")"
if [[ -x "$earlier" ]]; then tag_add "qlm tag add, earlier build" "$earlier"; fi
tag_add "qlm tag add, this build" "$qlm"

mkdir "$work/mp3"
ffmpeg -v quiet -f lavfi -i sine=frequency=440:duration=30 -c:a libmp3lame -b:a 128k "$work/base.mp3"
"$qlm" rate set --stars 4 "$work/base.mp3" >/dev/null
"$qlm" comment set --text "Live take" "$work/base.mp3" >/dev/null
for i in $(seq -w 1 500); do cp "$work/base.mp3" "$work/mp3/s$i.mp3"; done
printf '\n500 MP3s of %d bytes, rated and commented in ID3v2\n' "$(stat -c %s "$work/base.mp3")"
cd "$work/mp3"
printf '%-46s %s\n' "qlm info --json (500 MP3s)" "$(seconds "$qlm" info --json '*.mp3')"
printf '%-46s %s\n' "exiftool -j (rating and comment)" "$(seconds exiftool -j -ID3:Popularimeter -ID3:Comment ./*.mp3)"

mkdir "$work/raw" "$work/jpeg"
convert -size 640x480 plasma:fractal -seed 7 "$work/base.tif"
exiftool -q -overwrite_original -XMP-dc:Subject=Embedded -XMP-xmp:Rating=2 "$work/base.tif"
cat >"$work/base.xmp" <<'XMP'
<?xml version="1.0" encoding="UTF-8"?>
<x:xmpmeta xmlns:x="adobe:ns:meta/" x:xmptk="XMP Core 4.4.0-Exiv2">
 <rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
  <rdf:Description rdf:about=""
    xmlns:xmp="http://ns.adobe.com/xap/1.0/"
    xmlns:dc="http://purl.org/dc/elements/1.1/"
    xmlns:darktable="http://darktable.sf.net/"
   xmp:Rating="4"
   darktable:xmp_version="5"
   darktable:history_end="1">
   <dc:subject>
    <rdf:Bag>
     <rdf:li>Paris</rdf:li>
     <rdf:li>Anne</rdf:li>
    </rdf:Bag>
   </dc:subject>
   <darktable:history>
    <rdf:Seq>
     <rdf:li darktable:num="0" darktable:operation="exposure" darktable:params="0000000000000000cdcc4c3e"/>
    </rdf:Seq>
   </darktable:history>
  </rdf:Description>
 </rdf:RDF>
</x:xmpmeta>
XMP
convert -size 640x480 plasma:fractal -seed 7 -quality 85 "$work/base2.jpg"
exiftool -q -overwrite_original -XMP-dc:Subject=Paris -XMP-dc:Subject=Anne -XMP-xmp:Rating=4 "$work/base2.jpg"
for i in $(seq -w 1 500); do
  cp "$work/base.tif" "$work/raw/IMG_$i.CR2"
  cp "$work/base.xmp" "$work/raw/IMG_$i.CR2.xmp"
  cp "$work/base2.jpg" "$work/jpeg/IMG_$i.jpg"
done
printf '\n500 raws of %d bytes with darktable sidecars, 500 JPEGs of %d bytes\n' \
  "$(stat -c %s "$work/base.tif")" "$(stat -c %s "$work/base2.jpg")"
# Wall time and, less disturbed by other load on the machine, CPU time.
cpu_seconds() {
  /usr/bin/time -f '%U %S' "$@" 2>&1 >/dev/null | tail -1 | awk '{ printf "%.3f s CPU", $1 + $2 }'
}
cd "$work/jpeg"
"$qlm" info --json '*.jpg' >/dev/null 2>&1 || true
printf '%-46s %s, %s\n' "qlm info --json (500 JPEGs)" "$(seconds "$qlm" info --json '*.jpg')" \
  "$(cpu_seconds "$qlm" info --json '*.jpg')"
cd "$work/raw"
"$qlm" info --json '*.CR2' >/dev/null 2>&1 || true
printf '%-46s %s, %s\n' "qlm info --json (500 raws with sidecars)" "$(seconds "$qlm" info --json '*.CR2')" \
  "$(cpu_seconds "$qlm" info --json '*.CR2')"
