#!/usr/bin/env bash
# Makes data/samples/jacksboro_roads.fgb: three made-up but plausible roads over the bundled
# Jacksboro DEM for the road layer: two that keep to the valleys (least-cost paths whose cost
# grows with slope and height above the valley floor; one crosses the ridge at a saddle) and a
# switchback road climbing a slope in straight legs joined by hairpins. Attributes: name and
# width (metres, field 0 is name, field 1 width). EPSG:4326 like the DEM. Appends its note to
# data/samples/SOURCES unless one is there already.
#
# Run by developers by hand (fetch_samples.sh runs it too), never by the build or the tests:
#     scripts/make_roads.sh
# Needs gdal_translate and ogr2ogr (Debian package gdal-bin) and python3.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
samples=$(cd "$here/../data/samples" && pwd)
dem="$samples/jacksboro_fault_dem.tif"
out="$samples/jacksboro_roads.fgb"
for tool in gdal_translate ogr2ogr python3; do
  command -v "$tool" >/dev/null || { echo "make_roads: '$tool' not found" >&2; exit 1; }
done
[[ -f "$dem" ]] || { echo "make_roads: $dem is missing (run scripts/fetch_samples.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GDAL_PAM_ENABLED=NO

gdal_translate -q -of AAIGrid "$dem" "$work/dem.asc"
python3 "$here/make_roads.py" "$work/dem.asc" "$work/roads.geojson"
rm -f "$out"
ogr2ogr -q -f FlatGeobuf "$out" "$work/roads.geojson" -nln roads -a_srs EPSG:4326

if ! grep -q '^jacksboro_roads.fgb' "$samples/SOURCES" 2>/dev/null; then
  cat >> "$samples/SOURCES" <<NOTE


jacksboro_roads.fgb
-------------------
Made from: jacksboro_fault_dem.tif above, by scripts/make_roads.sh and scripts/make_roads.py
           (GDAL $(gdal-config --version 2>/dev/null || gdalinfo --version | sed 's/GDAL \([^,]*\),.*/\1/')).
Licence:   that of jacksboro_fault_dem.tif.
Content:   three MADE-UP roads, not real ones: two least-cost paths over the DEM (cost grows
           with slope and height above the valley floor), smoothed, and a switchback road of
           four 1.4 km legs joined by hairpins; EPSG:4326, FlatGeobuf; attributes name and width
           (metres).
NOTE
fi
echo "make_roads: wrote $out ($(stat -c %s "$out") bytes)"
