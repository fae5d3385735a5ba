#!/bin/sh
# The host program's command line: bad numbers, unknown options, missing values and wrong
# environment folders end with status 2 and a message naming what is wrong; every command has
# its own --help; --version; a picture without terrain is an error and leaves no file.
# usage: arguments_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 dem=$2/data/samples/volcano.tif
work=$3/tool-scratch/arguments
rm -rf "$work"; mkdir -p "$work"
. "$(dirname "$0")/expect.sh"

out="$work/x.png"
expect 2 "--azimuth takes a number from 0 to 360, not 'abc'" hillshade "$dem" -o "$work/x.tif" --azimuth abc
expect 2 "--azimuth takes a number from 0 to 360, not '400'" hillshade "$dem" -o "$work/x.tif" --azimuth 400
expect 2 "--tilt takes a number from 0 to 90, not '45deg'" hillshade "$dem" -o "$work/x.tif" --tilt 45deg
expect 2 "--quality takes a whole number from 0 to 2, not '7'" render "$dem" -o "$out" --quality 7
expect 2 "--quality takes a whole number from 0 to 2, not '1.5'" render "$dem" -o "$out" --quality 1.5
expect 2 "--size takes WIDTHxHEIGHT" render "$dem" -o "$out" --size 640
expect 2 "--size takes WIDTHxHEIGHT" render "$dem" -o "$out" --size 640x480x3
expect 2 "--eye takes three numbers X,Y,Z, not '1,2'" render "$dem" -o "$out" --eye 1,2 --look 1,2
expect 2 "--look takes two numbers X,Y, not 'a,b'" render "$dem" -o "$out" --eye 1,2,3 --look a,b
expect 2 "--look must lie beside the eye" render "$dem" -o "$out" --eye 2667600,6479300,900 \
  --look 2667600,6479300
expect 2 "the folder '.*/no/such' does not exist" hillshade "$dem" -o "$work/no/such/x.tif"
expect 1 "the texture '.*/none.tif' does not exist" render "$dem" --texture "$work/none.tif" -o "$out"
gdal_create -q -of GTiff -outsize 17000 2 -bands 1 -ot Float32 -burn 100 "$work/wide.tif" ||
  fail "gdal_create"
expect 1 "it has 17000 x 2 nodes; at most 16384 a side" render "$work/wide.tif" -o "$out"
# Options that would be ignored are refused.
expect 2 "give the vertical scale once" render "$dem" -o "$out" --no-rescale --exaggeration 2
expect 2 "give the vertical scale once" hillshade "$dem" -o "$work/x.tif" --z-factor 2 --exaggeration 3
expect 2 "--codec is for -o VIDEO.avi" fly "$dem" -o "$work/f.mp4" --codec mjpeg
expect 2 "a texture library's name ends in .tex" texlib "$dem" --hillshade -o "$work/l.png"
expect 2 "--tiles takes ACROSSxDOWN, each from 1 to 64" render "$dem" -o "$out" --tiles 0x2
expect 2 "--bands takes three band numbers from 1" render "$dem" -o "$out" --bands 0,1,2
# A band the image lacks is refused, not replaced by the image's own bands.
expect 1 "--bands asks for band 7; the image has 6" render "$2/data/samples/olinda_dem_utm25s.tif" \
  --texture "$2/data/samples/L7_ETMs.tif" --bands 7,3,2 -o "$out"
[ -e "$out" ] && fail "a picture was written with bands the image lacks"
expect 2 "--frames takes a whole number from 1" fly "$dem" --out-dir "$work/f" --frames ten
expect 2 "--route takes map points" fly "$dem" --out-dir "$work/f" --frames 1 --route 1,2/x
expect 2 "--fps takes a whole number from 1 to 127" fly "$dem" -o "$work/f.mpg" --fps 200
expect 2 "fly: -o VIDEO or --out-dir DIR is needed" fly "$dem"
expect 2 "-o takes a video file" fly "$dem" -o "$work/f.gif"
expect 2 "--codec takes raw, mjpeg or mpeg4, not 'x'" fly "$dem" -o "$work/f.avi" --codec x
expect 2 "plane: -o OUT.bmp, OUT.png or OUT.pgf is needed" plane "$dem" -o "$work/p.tif"
expect 2 "texlib: --hillshade takes a DEM and no IMAGE" texlib "$dem" "$dem" --hillshade -o "$work/t.tex"
expect 2 "render: unknown option '--azimuth'" render "$dem" -o "$out" --azimuth 3
expect 2 "info: unknown option '--colour'" info --colour
expect 2 "render: --size needs a value" render "$dem" -o "$out" --size
expect 2 "render: unexpected argument 'second.tif'" render "$dem" second.tif -o "$out"
expect 2 "render: a DEM file is needed" render -o "$out"
expect 2 "render: --plan cannot show --texture" render "$dem" -o "$out" --plan --texture "$dem"
expect 2 "unknown command 'paint'" paint
TERRAIN3D_DATA_DIR="$work/none" expect 2 "TERRAIN3D_DATA_DIR '$work/none' is not a folder holding HeightLut/" render "$dem" -o "$out"
TERRAIN3D_WORK_DIR="$work/none" expect 2 "TERRAIN3D_WORK_DIR '$work/none' is not a folder" render "$dem" -o "$out"

# Each command's own help, on stdout with status 0.
for command in info render hillshade texlib view fly plane flood mosaic tables blockview; do
  "$tool" $command --help >"$work/out" 2>&1 || fail "$command --help status"
  grep -q "^usage: terrain3d $command" "$work/out" || fail "$command --help is not its own"
done
"$tool" --version | grep -q "^terrain3d [0-9]" || fail "--version"

# An eye far off the grid looking away from it: no picture, status 1.
run render "$dem" --size 1x1 -o "$work/one.png"  # uniform, but too small to call blank
expect 1 "the picture shows no terrain" render "$dem" -o "$out" --size 160x120 \
  --eye 2600000,6400000,10 --look 2500000,6300000
[ -e "$out" ] && fail "an empty picture was written"

# Warned of, not refused: an option with a value given twice (the last counts) and a map
# layer's option without its layer.
expect 0 "--size is given more than once; the last one is used" render "$dem" -o "$work/twice.png" --size 80x60 --size 64x48
expect 0 "--road-width has no effect without --roads" render "$dem" -o "$work/stray.png" --size 64x48 --road-width 30

rm -rf "$work"
finish "arguments"
