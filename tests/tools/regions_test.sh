#!/bin/sh
# The host program's region options: the Olinda census polygons drawn over the Olinda DEM (in
# colour and with an image), refused values, a file that misses the grid, and no temporary file
# left in the working directory.
# usage: regions_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 samples=$2/data/samples
dem=$samples/olinda_dem_utm25s.tif shp=$samples/olinda1.shp
work=$3/tool-scratch/regions
rm -rf "$work"; mkdir -p "$work/tmp"
export TERRAIN3D_WORK_DIR="$work/tmp"
. "$(dirname "$0")/expect.sh"

view="--size 200x150"
expect 0 "bare.png" render "$dem" $view -o "$work/bare.png"
expect 0 "red.png" render "$dem" $view -o "$work/red.png" --regions "$shp" --region-colour 255,0,0 --region-opacity 200
cmp -s "$work/bare.png" "$work/red.png" && fail "the regions changed nothing in the picture"
expect 0 "some.png" render "$dem" $view -o "$work/some.png" --regions "$shp" --region-colour 255,0,0 --region-records 1-20
cmp -s "$work/some.png" "$work/red.png" && fail "--region-records 1-20 drew all the regions"

# An image fill: a 2 x 2 BMP of 24 bits (rows of 8 bytes with padding).
printf 'BM\106\000\000\000\000\000\000\000\066\000\000\000\050\000\000\000\002\000\000\000\002\000\000\000\001\000\030\000\000\000\000\000\020\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\377\000\000\000\377\000\000\000\000\000\377\000\377\377\377\000\000' > "$work/tile.bmp"
expect 0 "image.png" render "$dem" $view -o "$work/image.png" --regions "$shp" --region-image "$work/tile.bmp"
cmp -s "$work/bare.png" "$work/image.png" && fail "the image regions changed nothing in the picture"

expect 0 "2 frames in" fly "$dem" --frames 2 --size 160x120 --out-dir "$work/fly" --png --regions "$shp" --region-colour 0,200,255
[ -e "$work/fly/frame00001.png" ] || fail "fly --regions wrote no frames"

expect 2 "--region-colour takes R,G,B, each 0 to 255, not '300,0,0'" render "$dem" -o "$work/x.png" --regions "$shp" --region-colour 300,0,0
expect 2 "--region-opacity takes a whole number from 0 to 255" render "$dem" -o "$work/x.png" --regions "$shp" --region-opacity 256
expect 2 "--region-records takes record numbers from 1" render "$dem" -o "$work/x.png" --regions "$shp" --region-records 0-3
expect 2 "--plan cannot show --regions" render "$dem" -o "$work/x.png" --regions "$shp" --plan
expect 1 "--regions $work/missing.shp" render "$dem" -o "$work/x.png" --regions "$work/missing.shp"
# What the library would take and leave undrawn: records the file does not hold, an image it
# cannot read.
expect 1 "there is no record 9999" render "$dem" -o "$work/x.png" --regions "$shp" --region-records 1,9999
expect 1 "--region-image $work/none.bmp cannot be read" render "$dem" -o "$work/x.png" --regions "$shp" --region-image "$work/none.bmp"
gdal_translate -q -of BMP -b 1 -outsize 16 16 "$work/tile.bmp" "$work/grey.bmp"
expect 1 "is not a BMP of 24 bits a pixel" render "$dem" -o "$work/x.png" --regions "$shp" --region-image "$work/grey.bmp"
[ -e "$work/x.png" ] && fail "a refused region load wrote its picture"
# A file of lines, an empty layer, and a layer named among several.
expect 1 "not polygons" render "$dem" -o "$work/x.png" --regions "$samples/jacksboro_contours.fgb"
rm -f "$work/two.gpkg"
ogr2ogr -q -nln tracts "$work/two.gpkg" "$shp" && ogr2ogr -q -update -nln empty -where "1=0" "$work/two.gpkg" "$shp"
expect 0 "named.png" render "$dem" $view -o "$work/named.png" --regions "$work/two.gpkg|layername=tracts" --region-colour 255,0,0 --region-opacity 200
cmp -s "$work/named.png" "$work/red.png" || fail "the layer named in a GeoPackage is not drawn as the file it came from"
expect 1 "the layer holds no features" render "$dem" -o "$work/x.png" --regions "$work/two.gpkg|layername=empty"
expect 1 "layername=none" render "$dem" -o "$work/x.png" --regions "$work/two.gpkg|layername=none"
[ -e "$work/x.png" ] && fail "a refused render wrote its picture"

# A region file in the grid's CRS but far from it: message 26, nothing drawn.
cat > "$work/far.geojson" <<'JSON'
{"type": "FeatureCollection",
 "crs": {"type": "name", "properties": {"name": "urn:ogc:def:crs:EPSG::32725"}},
 "features": [{"type": "Feature", "properties": {},
 "geometry": {"type": "Polygon", "coordinates": [[[0, 0], [100, 0], [100, 100], [0, 0]]]}}]}
JSON
expect 1 "could not be loaded" render "$dem" -o "$work/x.png" --regions "$work/far.geojson"
grep -q "message 26" "$work/err" || fail "a region file that misses the grid gave no message 26: $(cat "$work/err")"

left=$(ls -A "$work/tmp")
[ -z "$left" ] || fail "temporary files left in the working directory: $left"

finish "regions"
