#!/usr/bin/env bash
# Makes data/samples/jacksboro_contours.fgb: contour lines of the bundled Jacksboro DEM every
# 100 m, made with gdal_contour, thinned to about 20 m (0.0002 degrees) so that the file stays
# small, with the attributes elev (metres) and colour (the library's colour numbers: 1, red,
# for the index contours at every 500 m, 13, brown, for the others). Appends its note to
# data/samples/SOURCES unless one is there already.
#
# Run by developers by hand (fetch_samples.sh runs it too), never by the build or the tests:
#     scripts/make_contours.sh
# Needs gdal_contour and ogr2ogr (Debian package gdal-bin).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
samples=$(cd "$here/../data/samples" && pwd)
dem="$samples/jacksboro_fault_dem.tif"
out="$samples/jacksboro_contours.fgb"
for tool in gdal_contour ogr2ogr; do
  command -v "$tool" >/dev/null || { echo "make_contours: '$tool' not found" >&2; exit 1; }
done
[[ -f "$dem" ]] || { echo "make_contours: $dem is missing (run scripts/fetch_samples.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GDAL_PAM_ENABLED=NO

gdal_contour -q -a elev -i 100 "$dem" "$work/contours.gpkg" -nln contours
rm -f "$out"
ogr2ogr -q -f FlatGeobuf "$out" "$work/contours.gpkg" -nln contours -simplify 0.0002 \
  -dialect SQLite \
  -sql "SELECT geom, CAST(elev AS INTEGER) AS elev,
               CASE WHEN CAST(elev AS INTEGER) % 500 = 0 THEN 1 ELSE 13 END AS colour
        FROM contours"

if ! grep -q '^jacksboro_contours.fgb' "$samples/SOURCES" 2>/dev/null; then
  cat >> "$samples/SOURCES" <<NOTE


jacksboro_contours.fgb
----------------------
Made from: jacksboro_fault_dem.tif above, by scripts/make_contours.sh (GDAL $(gdal-config --version 2>/dev/null || gdalinfo --version | sed 's/GDAL \([^,]*\),.*/\1/')).
Licence:   that of jacksboro_fault_dem.tif.
Content:   contour lines every 100 m (300 to 1000 m), EPSG:4326, FlatGeobuf; attributes elev
           (metres) and colour (colour numbers of the map files: 1 red for 500 and 1000 m,
           13 brown for the others).
Conversion: gdal_contour -a elev -i 100, then ogr2ogr -simplify 0.0002 (about 20 m).
NOTE
fi
echo "make_contours: wrote $out ($(stat -c %s "$out") bytes)"
