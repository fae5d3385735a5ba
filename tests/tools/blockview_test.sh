#!/bin/sh
# The sample host engine of the block scene: frames written as the eye moves, with and without a
# texture, and its refusals.
# usage: blockview_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 source=$2 work=$3/tool-scratch/blockview
rm -rf "$work"; mkdir -p "$work"
. "$(dirname "$0")/expect.sh"
volcano=$source/data/samples/volcano.tif

# Three frames round the grid, each a picture of the asked size with terrain in it.
run blockview "$volcano" --frames 3 --size 200x150 --out-dir "$work"
for f in 0 1 2; do
  picture=$work/block_000$f.png
  [ -s "$picture" ] || { fail "frame $f not written"; continue; }
  gdalinfo -stats "$picture" >"$work/info" 2>/dev/null
  grep -q "Size is 200, 150" "$work/info" || fail "frame $f is not 200 x 150"
  # Band 2 (green) carries the terrain's colours: not all black.
  max=$(grep -m2 "STATISTICS_MAXIMUM" "$work/info" | tail -1 | cut -d= -f2)
  [ "${max%.*}" -gt 50 ] || fail "frame $f shows no terrain (green up to $max)"
done
[ "$(grep -c 'meshes' "$work/out")" = 3 ] || fail "not one line per frame: $(cat "$work/out")"
cmp -s "$work/block_0000.png" "$work/block_0001.png" && fail "the eye did not move between frames"

# Draped with an image over the Olinda grid (the raster service reads a GeoTIFF named .rim).
cp "$source/data/samples/L7_ETMs.tif" "$work/landsat.rim"
run blockview "$source/data/samples/olinda_dem_utm25s.tif" --texture "$work/landsat.rim" --out-dir "$work" --size 160x120
grep -q "tiles loaded" "$work/out" && ! grep -q " 0 tiles loaded" "$work/out" || fail "no texture tile loaded: $(cat "$work/out")"

expect 2 "out-dir" blockview "$volcano"
run blockview "$volcano" --frames 1 --size 64x48 --out-dir "$work/made/deeper"
[ -s "$work/made/deeper/block_0000.png" ] || fail "no frame in the folder blockview made"
expect 2 "not a folder and cannot be made" blockview "$volcano" --out-dir "$volcano"
expect 2 "DEM" blockview --out-dir "$work"
expect 1 "texture" blockview "$volcano" --out-dir "$work" --texture "$work/landsat.png"
expect 1 "cannot open" blockview "$work/none.tif" --out-dir "$work"

finish "blockview"
