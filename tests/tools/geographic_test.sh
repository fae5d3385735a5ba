#!/bin/sh
# Grids in degrees are drawn in true proportions: warped on the fly to their UTM zone (the
# extent's aspect equals gdalwarp's reprojection to that zone within 1%), nothing written beside
# the user's file, --keep-crs keeps degrees; 'info' prints the CRS, units, nodata and the share of
# valid cells; an image in another CRS than the grid is warped to it.
# usage: geographic_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 samples=$2/data/samples work=$3/tool-scratch/geographic
rm -rf "$work"; mkdir -p "$work"
. "$(dirname "$0")/expect.sh"

cp "$samples/jacksboro_fault_dem.tif" "$work/dem.tif"
# The same grid with a nodata value: the cells of height 400 are missing.
gdal_translate -q -a_nodata 400 "$work/dem.tif" "$work/holes.tif"

# aspect INFO_OUTPUT: width / height of the extent 'info' prints.
aspect() { awk '/^extent/ { print ($5 - $3) / ($9 - $7) }' "$1"; }

"$tool" info "$work/dem.tif" >"$work/warped.txt" 2>"$work/warped.err" || fail "info on degrees"
grep -q "drawn warped to WGS 84 / UTM zone 16N (EPSG:32616)" "$work/warped.err" ||
  fail "no note of the warp: $(cat "$work/warped.err")"
gdalwarp -q -t_srs EPSG:32616 -r bilinear "$work/dem.tif" "$work/reference.tif"
reference=$(gdalinfo "$work/reference.tif" | awk -F'[(,)]' '
  /^Upper Left/ { left = $2; top = $3 } /^Lower Right/ { right = $2; bottom = $3 }
  END { print (right - left) / (top - bottom) }')
drawn=$(aspect "$work/warped.txt")
awk -v a="$drawn" -v b="$reference" 'BEGIN { d = a / b - 1; exit !(d < 0.01 && d > -0.01) }' ||
  fail "warped aspect $drawn, reprojection $reference"
[ "$(ls "$work")" = "$(printf 'dem.tif\nholes.tif\nreference.tif\nwarped.err\nwarped.txt')" ] ||
  fail "files beside the grid: $(ls "$work")"

"$tool" info "$work/dem.tif" --keep-crs >"$work/kept.txt" 2>"$work/kept.err" || fail "--keep-crs"
grep -q "warped" "$work/kept.err" && fail "--keep-crs warped"
# A grid of the whole world is not warped into one UTM zone (that tears it): drawn in degrees.
gdal_create -q -of GTiff -outsize 90 40 -bands 1 -ot Float32 -burn 100 -a_srs EPSG:4326 \
  -a_ullr -180 80 180 -80 "$work/world.tif" || fail "gdal_create"
"$tool" info "$work/world.tif" >/dev/null 2>"$work/world.err" || fail "info of a world grid"
grep -q "too wide for one UTM zone: drawn in degrees" "$work/world.err" ||
  fail "a world grid: $(cat "$work/world.err")"
grep -q "^size  *403 columns x 344 rows" "$work/kept.txt" || fail "--keep-crs changed the grid"

grep -q "^CRS  *WGS 84 (EPSG:4326)" "$work/kept.txt" || fail "CRS not printed"
grep -q "^units  *degree" "$work/kept.txt" || fail "units not printed"
grep -q "^nodata  *(none)" "$work/kept.txt" || fail "missing nodata not printed"
grep -q "^valid cells  *100.00% of 138632 cells" "$work/kept.txt" || fail "valid share"
"$tool" info "$work/holes.tif" >"$work/holes.txt" 2>/dev/null || fail "info on holes"
grep -q "^nodata  *400$" "$work/holes.txt" || fail "nodata value not printed"
grep -q "^valid cells  *99\.[0-9]*% of 138632" "$work/holes.txt" ||
  fail "valid share with holes: $(grep valid "$work/holes.txt")"
"$tool" info "$samples/volcano.tif" 2>/dev/null | grep -q "^units  *metre" || fail "metres"

# An image in degrees draped on a grid in UTM: warped to the grid's CRS.
gdalwarp -q -t_srs EPSG:4326 "$samples/L7_ETMs.tif" "$work/image_degrees.tif"
"$tool" render "$samples/olinda_dem_utm25s.tif" --texture "$work/image_degrees.tif" \
  --size 160x120 -o "$work/draped.png" >/dev/null 2>"$work/draped.err" || fail "draping"
grep -q "in another CRS than the grid; warped to it" "$work/draped.err" || fail "image not warped"

# --holes: the cells the warp leaves without a height (the corners beside the turned grid) are
# left out, and the plan view shows the background there instead of the lowest height's colour.
# background PICTURE: the share of its pixels of the top-left pixel's colour (the background).
background() {
  colour=$(gdallocationinfo -valonly "$1" 0 0 | tr '\n' ' ')
  set -- "$1" $colour
  gdal_calc.py --quiet --overwrite -A "$1" --A_band=1 -B "$1" --B_band=2 -C "$1" --C_band=3 \
    --type=Float32 --outfile="$work/share.tif" --calc="(A == $2) * (B == $3) * (C == $4)" >/dev/null
  gdalinfo -stats "$work/share.tif" | awk -F= '/STATISTICS_MEAN/ { print $2; exit }'
  rm -f "$work/share.tif" "$work/share.tif.aux.xml"
}
"$tool" render "$work/dem.tif" --plan --size 240x180 -o "$work/lowest.png" >/dev/null 2>&1 ||
  fail "plan view"
"$tool" render "$work/dem.tif" --plan --size 240x180 --holes -o "$work/holes.png" >/dev/null \
  2>&1 || fail "plan view with holes"
lowest=$(background "$work/lowest.png") holes=$(background "$work/holes.png")
awk -v a="$lowest" -v b="$holes" 'BEGIN { exit !(b > a + 0.02) }' ||
  fail "--holes: background share $holes, without $lowest"
# The plan view with --holes too (from the window's pixels).
"$tool" render "$work/dem.tif" --plan --size 240x180 --holes -o "$work/holes.tif" >/dev/null \
  2>&1 || fail "plan view with holes as GeoTIFF"
[ "$(gdallocationinfo -valonly -b 4 "$work/holes.tif" 2 2)" = 0 ] &&
  [ "$(gdallocationinfo -valonly -b 4 "$work/holes.tif" 120 90)" = 255 ] ||
  fail "plan view with holes: no transparent corner"
# Hill shades with --holes carry alpha where the format holds it: the warped-away corner is
# transparent, the grid's middle opaque; a JPEG keeps its bands.
for shade in shade.png:4 shade.tif:4 grey.png:2 shade.jpg:3; do
  name=${shade%:*} bands=${shade#*:}
  option=; [ "${name%.*}" = grey ] && option=--grey
  "$tool" hillshade "$work/dem.tif" --holes $option -o "$work/$name" >/dev/null 2>&1 ||
    { fail "hill shade $name with holes"; continue; }
  [ "$(gdalinfo "$work/$name" | grep -c '^Band ')" = "$bands" ] || fail "$name: not $bands bands"
  [ "$bands" = 3 ] && continue
  corner=$(gdallocationinfo -valonly -b "$bands" "$work/$name" 0 0)
  middle=$(gdallocationinfo -valonly -b "$bands" "$work/$name" 180 200)
  [ "$corner" = 0 ] && [ "$middle" = 255 ] || fail "$name: alpha $corner at the corner, $middle inside"
done
# info says how missing heights show. Missing cells marked by a mask GDAL reads (an internal
# mask here) are holes; an alpha band GDAL does not take as the mask (of 16 bits) is warned of.
"$tool" info "$work/dem.tif" --holes 2>&1 | grep -q "^missing  *left out as holes" ||
  fail "info --holes does not say so"
gdalwarp -q -dstalpha -t_srs EPSG:32616 "$work/dem.tif" "$work/alpha.tif"
expect 0 "an alpha band GDAL does not read as a mask" info "$work/alpha.tif"
gdal_translate -q -b 1 -mask 2 --config GDAL_TIFF_INTERNAL_MASK YES "$work/alpha.tif" \
  "$work/masked.tif"
run hillshade "$work/masked.tif" --holes -o "$work/masked.png"
grep -q "alpha band" "$work/err" && fail "a mask GDAL reads was warned of"
[ "$(gdallocationinfo -valonly -b 4 "$work/masked.png" 0 0)" = 0 ] ||
  fail "a cell the mask marks is not a hole"
# A 3 x 3 grid missing its middle node: at one pixel a node eight pixels show ground; drawn
# larger, every pixel falls in a cell missing a corner, and a picture of holes alone is refused
# (in a format without alpha too).
gdal_create -q -of GTiff -outsize 3 3 -bands 1 -ot Float32 -a_srs EPSG:32616 -a_nodata -9999 \
  -a_ullr 500000 4000030 500030 4000000 -burn 100 "$work/three.tif"
gdal_calc.py --quiet --overwrite -A "$work/three.tif" --outfile="$work/middle.tif" \
  --NoDataValue=-9999 --calc="where((indices(A.shape)[0] == 1) & (indices(A.shape)[1] == 1), \
  -9999, 100 + 3 * indices(A.shape)[1])" >/dev/null
run hillshade "$work/middle.tif" --holes -o "$work/nodes.png"
for name in larger.png larger.jpg; do
  expect 1 "the picture shows no terrain" hillshade "$work/middle.tif" --holes --size 6x6 \
    -o "$work/$name"
  [ -e "$work/$name" ] && fail "$name: a picture of holes alone was written"
done

# A map file that names no coordinate system but lies on a grid in degrees as the file gives it
# (a Shapefile without .prj): taken as in the grid's own system, drawn as the same file with it.
if command -v ogr2ogr >/dev/null; then
  wkt=$(gdalsrsinfo -o wkt1 "$work/dem.tif" | tr -d '\n')
  ogr2ogr -t_srs "$wkt" "$work/roads_deg.shp" "$samples/jacksboro_roads.fgb"
  rm -f "$work/roads_deg.prj"
  near="--size 160x120 --eye 748700,4048100,1200 --look 748700,4049300 --road-width-field width"
  expect 0 "is taken as in the grid's own" render "$work/dem.tif" $near --roads "$work/roads_deg.shp" -o "$work/roads_deg.png"
  expect 0 "roads_crs.png" render "$work/dem.tif" $near --roads "$samples/jacksboro_roads.fgb" -o "$work/roads_crs.png"
  cmp -s "$work/roads_deg.png" "$work/roads_crs.png" || fail "the file without a coordinate system is drawn elsewhere"
fi

rm -rf "$work"
finish "geographic"
