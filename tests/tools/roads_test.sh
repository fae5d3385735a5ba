#!/bin/sh
# The host program's road options: the Jacksboro sample roads drawn over the Jacksboro DEM (with
# the default road image, with a BMP image, widths from an attribute), refused values, a file
# that misses the grid, and no temporary file left in the working directory.
# usage: roads_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 samples=$2/data/samples
dem=$samples/jacksboro_fault_dem.tif roads=$samples/jacksboro_roads.fgb
work=$3/tool-scratch/roads
rm -rf "$work"; mkdir -p "$work/tmp"
export TERRAIN3D_WORK_DIR="$work/tmp"
. "$(dirname "$0")/expect.sh"

# Near the switchbacks, from the south.
view="--size 200x150 --eye 748700,4048100,1200 --look 748700,4049300"
expect 0 "bare.png" render "$dem" $view -o "$work/bare.png"
expect 0 "plain.png" render "$dem" $view -o "$work/plain.png" --roads "$roads" --road-width 40
cmp -s "$work/bare.png" "$work/plain.png" && fail "the roads changed nothing in the picture"
expect 0 "field.png" render "$dem" $view -o "$work/field.png" --roads "$roads" --road-width-field width --road-repeat 3
cmp -s "$work/field.png" "$work/plain.png" && fail "--road-width-field drew the roads as wide as --road-width 40"
expect 0 "numbered.png" render "$dem" $view -o "$work/numbered.png" --roads "$roads" --road-width-field 1 --road-repeat 3
cmp -s "$work/field.png" "$work/numbered.png" || fail "--road-width-field 1 is not the field 'width'"

# A road image: a 2 x 2 BMP of 24 bits (rows of 8 bytes with padding).
printf 'BM\106\000\000\000\000\000\000\000\066\000\000\000\050\000\000\000\002\000\000\000\002\000\000\000\001\000\030\000\000\000\000\000\020\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\377\000\000\000\377\000\000\000\000\000\377\000\377\377\377\000\000' > "$work/tile.bmp"
expect 0 "image.png" render "$dem" $view -o "$work/image.png" --roads "$roads" --road-width 40 --road-image "$work/tile.bmp"
cmp -s "$work/plain.png" "$work/image.png" && fail "--road-image changed nothing in the picture"

expect 0 "2 frames in" fly "$dem" --frames 2 --size 160x120 --out-dir "$work/fly" --png --roads "$roads" --road-width 60
[ -e "$work/fly/frame00001.png" ] || fail "fly --roads wrote no frames"

expect 2 "--road-repeat takes a whole number from 0 to 255" render "$dem" -o "$work/x.png" --roads "$roads" --road-repeat 256
expect 2 "--road-width" render "$dem" -o "$work/x.png" --roads "$roads" --road-width 0
expect 2 "--plan cannot show --roads" render "$dem" -o "$work/x.png" --roads "$roads" --plan
expect 1 "has no such field (its fields: name, width)" render "$dem" -o "$work/x.png" --roads "$roads" --road-width-field lanes
expect 1 "--roads $work/missing.fgb" render "$dem" -o "$work/x.png" --roads "$work/missing.fgb"
[ -e "$work/x.png" ] && fail "a refused render wrote its picture"

# Roads whose width attribute is empty, not a number, zero or wider than the grid are left out,
# and the program says how many; a width wider than the grid is said too.
cat > "$work/widths.geojson" <<'JSON'
{"type": "FeatureCollection", "crs": {"type": "name", "properties": {"name": "urn:ogc:def:crs:EPSG::32616"}}, "features": [
 {"type": "Feature", "properties": {"w": 30}, "geometry": {"type": "LineString", "coordinates": [[745000, 4047000], [752000, 4050000]]}},
 {"type": "Feature", "properties": {"w": null}, "geometry": {"type": "LineString", "coordinates": [[745000, 4048000], [752000, 4051000]]}},
 {"type": "Feature", "properties": {"w": "wide"}, "geometry": {"type": "LineString", "coordinates": [[745000, 4049000], [752000, 4052000]]}},
 {"type": "Feature", "properties": {"w": 1e9}, "geometry": {"type": "LineString", "coordinates": [[745000, 4046000], [752000, 4049000]]}}]}
JSON
expect 0 "3 of 4 roads have no usable width" render "$dem" -o "$work/x.png" --roads "$work/widths.geojson" --road-width-field w
expect 0 "--road-width 900000 is wider than the grid" render "$dem" -o "$work/x.png" --roads "$roads" --road-width 900000
rm -f "$work/x.png"

# A road file in the grid's CRS but far from it: message 12, nothing drawn.
cat > "$work/far.geojson" <<'JSON'
{"type": "FeatureCollection", "features": [{"type": "Feature", "properties": {},
 "geometry": {"type": "LineString", "coordinates": [[10, 10], [10.1, 10.1]]}}]}
JSON
expect 1 "could not be loaded" render "$dem" -o "$work/x.png" --roads "$work/far.geojson"
grep -q "message 12" "$work/err" || fail "a road file that misses the grid gave no message 12: $(cat "$work/err")"

# Kept in degrees, the default width is 20 m in degrees, not 20 degrees (ribbons wider than the
# grid): the roads change a small part of the picture.
expect 0 "bare_deg.png" render "$dem" --keep-crs --size 200x150 -o "$work/bare_deg.png"
expect 0 "roads_deg.png" render "$dem" --keep-crs --size 200x150 -o "$work/roads_deg.png" --roads "$roads"
if command -v gdal_calc.py >/dev/null; then
  rm -f "$work/diff.tif" "$work/diff.tif.aux.xml"
  gdal_calc.py --quiet -A "$work/bare_deg.png" -B "$work/roads_deg.png" --A_band=1 --B_band=1 \
    --calc="abs(A.astype(int)-B)>30" --outfile="$work/diff.tif" --overwrite >/dev/null 2>&1
  changed=$(gdalinfo -stats "$work/diff.tif" | awk -F= '/STATISTICS_MEAN/ { printf "%d", $2 * 200 * 150; exit }')
  [ "${changed:-0}" -gt 20 ] || fail "in degrees the roads change only ${changed:-0} pixels"
  [ "${changed:-0}" -lt 3000 ] || fail "in degrees the roads change ${changed} of 30000 pixels: too wide"
fi

left=$(ls -A "$work/tmp")
[ -z "$left" ] || fail "temporary files left in the working directory: $left"

finish "roads"
