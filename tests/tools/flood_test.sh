#!/bin/sh
# terrain3d flood: every cell at or below the level, the water connected to a seed point (its
# area and volume printed), a mask of labels, the water surface, the colours, and bad arguments.
# usage: flood_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 samples=$2/data/samples work=$3/tool-scratch/flood
rm -rf "$work"; mkdir -p "$work"
. "$(dirname "$0")/expect.sh"

# A plain at 10 m (a ridge at 11 m in columns 8 to 11), 20 x 12 cells of 10 m, with two pits of
# 3 x 3 cells, the west one at 2 m and the east one at 4 m, and one cell without a height.
awk 'BEGIN {
  print "ncols 20"; print "nrows 12"; print "xllcorner 1000"; print "yllcorner 5000";
  print "cellsize 10"; print "NODATA_value -9999";
  for (r = 0; r < 12; ++r) {
    line = "";
    for (c = 0; c < 20; ++c) {
      v = 10 + (c >= 8 && c < 12 ? 1 : 0);
      if (r >= 3 && r <= 5 && c >= 3 && c <= 5) v = 2;
      if (r >= 3 && r <= 5 && c >= 13 && c <= 15) v = 4;
      if (r == 10 && c == 18) v = -9999;
      line = line (c ? " " : "") v;
    }
    print line;
  }
}' >"$work/pits.asc"
gdal_translate -q -of GTiff -a_srs EPSG:32633 "$work/pits.asc" "$work/pits.tif" || fail "grid"
# The west pit's cells as a mask of labels (north-up rows, like the grid).
awk 'BEGIN {
  print "ncols 20"; print "nrows 12"; print "xllcorner 1000"; print "yllcorner 5000";
  print "cellsize 10";
  for (r = 0; r < 12; ++r) {
    line = "";
    for (c = 0; c < 20; ++c) line = line (c ? " " : "") (r >= 3 && r <= 5 && c >= 3 && c <= 5 ? 2 : 0);
    print line;
  }
}' >"$work/mask.asc"
gdal_translate -q -ot Byte -of GTiff -a_srs EPSG:32633 "$work/mask.asc" "$work/mask.tif" || fail "mask"
gdal_translate -q -ot Byte -of GTiff -srcwin 0 0 19 12 "$work/mask.tif" "$work/small.tif" || fail "small mask"

view="--size 160x120 --eye 1100,4900,150 --look 1100,5060 --colours 255,0,0/0,255,0/0,0,255"
run() {  # run NAME ARGS...: a flood picture NAME.png, its output in NAME.txt
  name=$1; shift
  "$tool" flood "$work/pits.tif" $view -o "$work/$name.png" "$@" >"$work/$name.txt" 2>&1 ||
    fail "flood $name: $(cat "$work/$name.txt")"
}
same() { cmp -s "$work/$1.png" "$work/$2.png"; }

"$tool" render "$work/pits.tif" --size 160x120 --eye 1100,4900,150 --look 1100,5060 \
  -o "$work/dry.png" >/dev/null 2>&1 || fail "render"
run low --level 1
run both --level 5
run west --level 5 --seed 1040,5070
run east --level 5 --seed 1140,5070
run masked --level 5 --mask "$work/mask.tif"
run surface --level 5 --seed 1040,5070 --water-surface
# Below the lowest point only the lowest cells are under water; 5 m floods both pits; the seed
# floods one; a mask of the west pit shows what its seed shows.
same low dry && fail "level 1 shows no water (the lowest cells are under it)"
same both dry && fail "level 5 shows no water"
same west both && fail "the seed floods both pits"
same west east && fail "the two seeds flood alike"
same masked west || fail "the mask of the west pit differs from its seed's flood"
same surface west && fail "the water surface changes nothing"

# Area and volume: the west pit, 9 cells of 100 m2, 3 m deep; the east pit 1 m deep.
grep -q "^flooded area: 900.0 m2$" "$work/west.txt" || fail "west area: $(cat "$work/west.txt")"
grep -q "^flood volume: 2700.0 m3$" "$work/west.txt" || fail "west volume: $(cat "$work/west.txt")"
grep -q "^flood volume: 900.0 m3$" "$work/east.txt" || fail "east volume: $(cat "$work/east.txt")"
# At 11 m the whole grid floods from a corner, over the ridge, but for the cell without a
# height: 173 cells 1 m deep, the pits 9 and 7 m.
run plain --level 11 --seed 1005,5005
grep -q "^flooded cells: 239$" "$work/plain.txt" || fail "plain: $(cat "$work/plain.txt")"
grep -q "^flood volume: 31700.0 m3$" "$work/plain.txt" || fail "plain volume: $(cat "$work/plain.txt")"

# Refusals: a seed above the water, outside the grid or on a missing height; a mask of another
# size; bad colours; no level.
refused() {  # refused STATUS MESSAGE ARGS...
  status=$1 message=$2; shift 2
  "$tool" flood "$work/pits.tif" --size 64x48 -o "$work/x.png" "$@" >/dev/null 2>"$work/err"
  [ $? -eq "$status" ] && grep -q -- "$message" "$work/err" || fail "flood $*: $(cat "$work/err")"
  [ -e "$work/x.png" ] && fail "flood $*: a picture was written"
}
refused 1 "floods nothing" --level 5 --seed 1100,5000
refused 1 "floods nothing" --level 50 --seed 9000,5000
refused 1 "floods nothing" --level 50 --seed 1185,5015
refused 1 "has 19 x 12 cells, the grid 20 x 12" --level 5 --mask "$work/small.tif"
refused 2 "colours takes three colours" --level 5 --colours 1,2,3/4,5,6
refused 2 "colours takes three colours" --level 5 --colours 1,2,3/4,5,6/7,8,256
refused 2 "level L is needed" --seed 1040,5070
refused 2 "one at a time" --level 5 --seed 1040,5070 --mask "$work/mask.tif"

# Map areas: a region over the west pit (class 1) burnt in over the analysis and in a plain
# render; a file beside the grid gives message 12, lines are no regions.
crs='"crs":{"type":"name","properties":{"name":"urn:ogc:def:crs:EPSG::32633"}}'
polygon() {  # polygon COLOUR X0 Y0 X1 Y1: a GeoJSON feature of the rectangle
  echo "{\"type\":\"Feature\",\"properties\":{\"colour\":$1},\"geometry\":{\"type\":\"Polygon\",\"coordinates\":[[[$2,$3],[$4,$3],[$4,$5],[$2,$5],[$2,$3]]]}}"
}
echo "{\"type\":\"FeatureCollection\",$crs,\"features\":[$(polygon 260 1020 5050 1070 5100),$(polygon 2000 1100 5000 1150 5050)]}" >"$work/areas.geojson"
echo "{\"type\":\"FeatureCollection\",$crs,\"features\":[$(polygon 260 9000 9000 9100 9100)]}" >"$work/beside.geojson"
echo "{\"type\":\"FeatureCollection\",$crs,\"features\":[{\"type\":\"Feature\",\"properties\":{},\"geometry\":{\"type\":\"LineString\",\"coordinates\":[[1000,5000],[1100,5100]]}}]}" >"$work/line.geojson"
run flood_areas --level 5 --map-area "$work/areas.geojson"
grep -q "map area '.*areas.geojson': 1 of 2 regions burnt in (25 cells)" "$work/flood_areas.txt" ||
  fail "map area: $(cat "$work/flood_areas.txt")"
grep -q "1 of a class above 6" "$work/flood_areas.txt" || fail "class 7: $(cat "$work/flood_areas.txt")"
same flood_areas both && fail "the map area changes nothing over the flood"
"$tool" render "$work/pits.tif" --size 160x120 --eye 1100,4900,150 --look 1100,5060 \
  --map-area "$work/areas.geojson" -o "$work/dry_areas.png" >/dev/null 2>&1 || fail "render --map-area"
cmp -s "$work/dry_areas.png" "$work/dry.png" && fail "the map area changes nothing in render"
refused 1 "message 12" --level 5 --map-area "$work/beside.geojson"
refused 1 "not a file of regions" --level 5 --map-area "$work/line.geojson"
ogr2ogr -q -f GPKG "$work/empty.gpkg" "$work/areas.geojson" -where "0 = 1" -nlt POLYGON ||
  fail "empty region file"
refused 1 "holds no regions" --level 5 --map-area "$work/empty.gpkg"

# A grid kept in degrees measures its flood in square metres, cell by cell at its latitude: as
# the same grid warped to its UTM zone does, within 1 %.
jacksboro=$samples/jacksboro_fault_dem.tif
area_of() { sed -n 's/^flooded area: \([0-9.]*\) m2.*/\1/p' "$1"; }
"$tool" flood "$jacksboro" --keep-crs --level 400 --seed -84.1,36.5 -o "$work/degrees.png" \
  >"$work/degrees.txt" 2>/dev/null || fail "flood of a grid kept in degrees"
"$tool" flood "$jacksboro" --level 400 --seed 759743.0,4043320.0 -o "$work/utm.png" \
  >"$work/utm.txt" 2>/dev/null || fail "flood of the warped grid"
awk -v a="$(area_of "$work/degrees.txt")" -v b="$(area_of "$work/utm.txt")" \
  'BEGIN { exit !(b > 0 && a / b > 0.99 && a / b < 1.01) }' ||
  fail "areas in degrees and in UTM differ: $(area_of "$work/degrees.txt") against $(area_of "$work/utm.txt")"

rm -rf "$work"
finish "flood"
