#!/bin/sh
# Outputs: the format follows the extension everywhere (tiled pictures too); hill shades and plan
# views are map-aligned (a compressed, tiled GeoTIFF with the grid's CRS and geotransform, or a
# world file and .aux.xml beside other formats, read back by gdalinfo); hillshade --grey and
# --z-factor (the same as --exaggeration).
# usage: outputs_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 samples=$2/data/samples work=$3/tool-scratch/outputs
rm -rf "$work"; mkdir -p "$work"
. "$(dirname "$0")/expect.sh"
# has FILE PATTERN: gdalinfo of FILE shows PATTERN.
has() { gdalinfo "$1" 2>/dev/null | grep -q -e "$2" || fail "gdalinfo $(basename "$1") lacks '$2'"; }

geo=$samples/jacksboro_fault_dem.tif volcano=$samples/volcano.tif
run hillshade "$geo" -o "$work/shade.tif"
has "$work/shade.tif" 'ID\["EPSG",32616\]\]$'
has "$work/shade.tif" "COMPRESSION=DEFLATE"
has "$work/shade.tif" "Block=256x256"
run hillshade "$geo" --keep-crs -o "$work/kept.tif"
has "$work/kept.tif" 'ID\["EPSG",4326\]\]$'
has "$work/kept.tif" "$(gdalinfo "$geo" | grep '^Origin')"
has "$work/kept.tif" "$(gdalinfo "$geo" | grep '^Pixel Size')"
run hillshade "$volcano" --grey --z-factor 2 -o "$work/grey.png"
[ -s "$work/grey.pgw" ] || fail "no world file beside the PNG hill shade"
[ -s "$work/grey.png.aux.xml" ] || fail "no .aux.xml beside the PNG hill shade"
has "$work/grey.png" 'ID\["EPSG",27200\]\]$'
has "$work/grey.png" "Origin = (2667350.0*,6479700.0*)"
has "$work/grey.png" "Band 1 .*ColorInterp=Gray"
gdalinfo "$work/grey.png" | grep -q "Band 2" && fail "the grey hill shade has more than one band"
# --z-factor scales the heights (another picture than the automatic scale's), as --exaggeration.
run hillshade "$volcano" --grey -o "$work/auto.png"
run hillshade "$volcano" --grey --exaggeration 2 -o "$work/two.png"
cmp -s "$work/grey.png" "$work/auto.png" && fail "--z-factor 2 left the hill shade as it was"
cmp -s "$work/grey.png" "$work/two.png" || fail "--z-factor 2 and --exaggeration 2 differ"
# The grey hill shade is shading alone, as gdaldem's: flat ground is as light high as low. A
# plain at 100 m with a flat terrace at 300 m down its middle, lit from straight above: the
# terrace's middle and the plain beside it differ by a few levels (a grey that rose with height
# would set them some hundred apart).
gdal_create -q -of GTiff -outsize 121 121 -bands 1 -ot Float32 -a_srs EPSG:32616 \
  -a_ullr 500000 4001210 501210 4000000 -burn 100 "$work/plain.tif"
gdal_calc.py --quiet -A "$work/plain.tif" --outfile="$work/terrace.tif" --type=Float32 \
  --calc="A + 200 * ((indices(A.shape)[1] > 40) & (indices(A.shape)[1] < 80))" >/dev/null
run hillshade "$work/terrace.tif" --grey --tilt 90 -o "$work/terrace.png"
high=$(gdallocationinfo -valonly "$work/terrace.png" 60 60)
low=$(gdallocationinfo -valonly "$work/terrace.png" 30 60)
awk -v a="$high" -v b="$low" 'BEGIN { d = a - b; exit !(a > 200 && d < 30 && d > -30) }' ||
  fail "grey hill shade: flat ground $high on the terrace, $low beside it"

run render "$volcano" --plan --size 300x200 -o "$work/plan.tif"
has "$work/plan.tif" 'ID\["EPSG",27200\]\]$'
has "$work/plan.tif" "Pixel Size = (4.300000"
run render "$volcano" --plan --size 300x200 -o "$work/plan.jpg"
[ -s "$work/plan.jgw" ] || fail "no world file beside the JPEG plan view"
has "$work/plan.jpg" "Driver: JPEG"
has "$work/plan.jpg" 'ID\["EPSG",27200\]\]$'
# World files beside a BMP and a PNG plan view and a JPEG hill shade of a square grid, one pixel
# a cell: the hill shade's pixels are the grid's nodes (its origin and pixel size); the plan views
# run from node to node, so they begin at the first node, half a pixel in from that origin.
gdal_translate -q -srcwin 0 0 61 61 "$volcano" "$work/square.tif"
run render "$work/square.tif" --plan --size 60x60 -o "$work/node.bmp"
run render "$work/square.tif" --plan --size 60x60 -o "$work/node.png"
run hillshade "$work/square.tif" -o "$work/node.jpg"
for picture in node.bmp:bpw node.png:pgw node.jpg:jgw; do
  [ -s "$work/node.${picture#*:}" ] || fail "no world file beside ${picture%:*}"
  has "$work/${picture%:*}" "$(gdalinfo "$work/square.tif" | grep '^Pixel Size')"
done
has "$work/node.jpg" "$(gdalinfo "$work/square.tif" | grep '^Origin')"
has "$work/node.bmp" "Origin = (2667355.000000*,6479695.000000*)"
has "$work/node.png" "Origin = (2667355.000000*,6479695.000000*)"

# The format of the name, for single and tiled pictures alike.
for extension in png bmp jpg tif; do
  run render "$volcano" --size 64x48 --tiles 2x2 -o "$work/tiles.$extension"
  run render "$volcano" --size 64x48 --tiles 1x1 -o "$work/one.$extension"
  driver=$(case $extension in png) echo PNG;; bmp) echo BMP;; jpg) echo JPEG;; tif) echo GTiff;; esac)
  has "$work/tiles.$extension" "Driver: $driver/"
  has "$work/tiles.$extension" "Size is 128, 96"
  has "$work/one.$extension" "Driver: $driver/"
done
ls "$work" | grep -q "tmp" && fail "temporary files left: $(ls "$work")"

# The output may be neither a file the command reads (by any spelling) nor a folder; a picture
# replaces the file of its name only when complete.
cp "$volcano" "$work/in.tif"
expect 2 "which the command reads" hillshade "$work/in.tif" -o "$work/in.tif"
expect 2 "which the command reads" render "$work/in.tif" --plan -o "$work/../outputs/in.tif"
expect 2 "which the command reads" render "$volcano" --texture "$work/in.tif" -o "$work/in.tif"
cmp -s "$volcano" "$work/in.tif" || fail "an input was overwritten"
mkdir "$work/folder.tif"
expect 2 "names a folder" hillshade "$volcano" -o "$work/folder.tif"
[ -d "$work/folder.tif" ] || fail "the folder named as the output went"
run hillshade "$volcano" -o "$work/twice.png"
run hillshade "$volcano" -o "$work/twice.png"
# A picture without georeference replacing one with it takes its side files away.
run render "$volcano" --size 64x48 -o "$work/replaced.png"
run hillshade "$volcano" -o "$work/replaced.png"
[ -s "$work/replaced.pgw" ] || fail "no world file beside the hill shade"
run render "$volcano" --size 64x48 -o "$work/replaced.png"
[ -e "$work/replaced.pgw" ] && fail "the replaced hill shade's world file stayed beside a 3D view"
# Pictures of one name in two formats keep their own world files.
run hillshade "$volcano" --size 30x40 -o "$work/twice.jpg"
has "$work/twice.png" "Pixel Size = (10.000000"
ls "$work" | grep -q draft && fail "drafts left: $(ls "$work")"

"$tool" render "$volcano" -o "$work/picture.gif" 2>"$work/err"
[ $? -eq 2 ] && grep -q "must end in .tif, .png, .jpg or .bmp" "$work/err" || fail "a .gif name"
"$tool" hillshade "$volcano" --z-factor abc -o "$work/x.tif" 2>"$work/err"
[ $? -eq 2 ] || fail "--z-factor abc accepted"

rm -rf "$work"
finish "outputs"
