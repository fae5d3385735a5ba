#!/usr/bin/env bash
# Makes data/samples/jacksboro_notes.geojson: named spot heights over the bundled Jacksboro DEM
# for the note layer. The DEM is cut into 4 x 3 tiles and the highest cell of each tile (away
# from the DEM's edge) becomes a point, named in turn with a Chinese and a Latin name followed
# by its height, in the DEM's coordinate system (EPSG:4326). Attributes: name (the label, UTF-8),
# elev (metres) and colour (the library's colour numbers: 1 red for the Chinese names, 7 white
# for the Latin ones). Appends its note to data/samples/SOURCES unless one is there already.
#
# Run by developers by hand (fetch_samples.sh runs it too), never by the build or the tests:
#     scripts/make_notes.sh
# Needs gdal_translate (Debian package gdal-bin) and awk.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
samples=$(cd "$here/../data/samples" && pwd)
dem="$samples/jacksboro_fault_dem.tif"
out="$samples/jacksboro_notes.geojson"
command -v gdal_translate >/dev/null || { echo "make_notes: 'gdal_translate' not found" >&2; exit 1; }
[[ -f "$dem" ]] || { echo "make_notes: $dem is missing (run scripts/fetch_samples.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GDAL_PAM_ENABLED=NO

# One line per cell, row by row from the north: x y height.
gdal_translate -q -of XYZ "$dem" "$work/dem.xyz"
size=$(gdalinfo "$dem" | sed -n 's/^Size is \([0-9]*\), \([0-9]*\)$/\1 \2/p')

awk -v size="$size" '
BEGIN {
  split(size, s, " "); cols = s[1]; rows = s[2]
  across = 4; down = 3; margin = 8
  split("鹰嘴岩|Cross Mountain|望月峰|Pine Knob|松岭|Bear Ridge|云台山|Fork Peak|石门顶|Lone Top|北峰|Ash Point", names, "|")
}
{
  c = (NR - 1) % cols; r = int((NR - 1) / cols)
  if ($3 == "" || c < margin || r < margin || c >= cols - margin || r >= rows - margin) next
  t = int(r * down / rows) * across + int(c * across / cols)
  if (!(t in best) || $3 > best[t]) { best[t] = $3; bx[t] = $1; by[t] = $2 }
}
END {
  printf "{\n\"type\": \"FeatureCollection\",\n\"name\": \"jacksboro_notes\",\n"
  printf "\"crs\": { \"type\": \"name\", \"properties\": { \"name\": \"urn:ogc:def:crs:OGC:1.3:CRS84\" } },\n"
  printf "\"features\": [\n"
  n = 0
  for (t = 0; t < across * down; ++t) {
    if (!(t in best)) continue
    n++
    colour = (n % 2 == 1) ? 1 : 7
    printf "%s{ \"type\": \"Feature\", \"properties\": { \"name\": \"%s %d\", \"elev\": %d, \"colour\": %d }, \"geometry\": { \"type\": \"Point\", \"coordinates\": [ %.6f, %.6f ] } }", \
      (n > 1 ? ",\n" : ""), names[n], best[t], best[t], colour, bx[t], by[t]
  }
  printf "\n]\n}\n"
}' "$work/dem.xyz" > "$out"

if ! grep -q '^jacksboro_notes.geojson' "$samples/SOURCES" 2>/dev/null; then
  cat >> "$samples/SOURCES" <<NOTE


jacksboro_notes.geojson
-----------------------
Made from: jacksboro_fault_dem.tif above, by scripts/make_notes.sh.
Licence:   that of jacksboro_fault_dem.tif.
Content:   12 spot heights (the highest cell of each of 4 x 3 tiles of the DEM), EPSG:4326
           (CRS84 order), GeoJSON in UTF-8; attributes name (a made-up Chinese or Latin name and
           the height), elev (metres) and colour (colour numbers of the map files: 1 red,
           7 white).
NOTE
fi
echo "make_notes: wrote $out ($(stat -c %s "$out") bytes)"
