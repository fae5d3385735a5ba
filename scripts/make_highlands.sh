#!/usr/bin/env bash
# Makes data/samples/jacksboro_highlands.fgb: the parts of the bundled Jacksboro DEM at 800 m
# and above as polygons (holes where the ground dips below), made with gdal_calc.py and
# gdal_polygonize.py, smoothed to about 30 m (0.0003 degrees), with the attributes name and
# colour (the library's colour numbers: 10, dark green). Appends its note to
# data/samples/SOURCES unless one is there already.
#
# Run by developers by hand (fetch_samples.sh runs it too), never by the build or the tests:
#     scripts/make_highlands.sh
# Needs gdal_calc.py, gdal_polygonize.py and ogr2ogr (Debian packages gdal-bin, python3-gdal).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
samples=$(cd "$here/../data/samples" && pwd)
dem="$samples/jacksboro_fault_dem.tif"
out="$samples/jacksboro_highlands.fgb"
for tool in gdal_calc.py gdal_polygonize.py ogr2ogr; do
  command -v "$tool" >/dev/null || { echo "make_highlands: '$tool' not found" >&2; exit 1; }
done
[[ -f "$dem" ]] || { echo "make_highlands: $dem is missing (run scripts/fetch_samples.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GDAL_PAM_ENABLED=NO

gdal_calc.py --quiet -A "$dem" --outfile="$work/high.tif" --calc="A>=800" --type=Byte --NoDataValue=0
gdal_polygonize.py -q "$work/high.tif" -f GPKG "$work/high.gpkg" highlands DN
rm -f "$out"
ogr2ogr -q -f FlatGeobuf "$out" "$work/high.gpkg" -nln highlands -simplify 0.0003 \
  -dialect SQLite \
  -sql "SELECT geom, 'highland ' || fid AS name, 10 AS colour FROM highlands
        WHERE DN = 1 AND ST_Area(geom) > 0.000002"

if ! grep -q '^jacksboro_highlands.fgb' "$samples/SOURCES" 2>/dev/null; then
  cat >> "$samples/SOURCES" <<NOTE


jacksboro_highlands.fgb
-----------------------
Made from: jacksboro_fault_dem.tif above, by scripts/make_highlands.sh (GDAL $(gdal-config --version 2>/dev/null || gdalinfo --version | sed 's/GDAL \([^,]*\),.*/\1/')).
Licence:   that of jacksboro_fault_dem.tif.
Content:   the ground at 800 m and above as polygons (holes where it dips below), smoothed to
           about 30 m; attributes name and colour (10, dark green).
NOTE
fi
echo "wrote $out ($(ogrinfo -so -al "$out" | sed -n 's/^Feature Count: //p') polygons)"
