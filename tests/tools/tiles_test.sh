#!/bin/sh
# Work split: render --tiles AxD --tile-range I-J writes only tiles I..J, each into its own file,
# and mosaic joins the tiles of separate runs into the picture one tiled run makes.
# usage: tiles_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 samples=$2/data/samples work=$3/tool-scratch/tiles
rm -rf "$work"; mkdir -p "$work"
. "$(dirname "$0")/expect.sh"
# same A B: the two pictures hold the same pixels.
same() {
  gdal_translate -q -of ENVI "$1" "$work/a.raw" && gdal_translate -q -of ENVI "$2" "$work/b.raw" &&
    cmp -s "$work/a.raw" "$work/b.raw" || fail "$(basename "$1") and $(basename "$2") differ"
}

volcano=$samples/volcano.tif olinda=$samples/olinda_dem_utm25s.tif
view="--size 96x64 --tiles 3x2 --sky"
run render "$volcano" $view -o "$work/whole.tif"
# Two runs as two machines would do them, tiles in PNG and in GeoTIFF.
run render "$volcano" $view --tile-range 1-4 -o "$work/part.png"
grep -q "part_004.png (tile 4 of 6: column 1, row 2)" "$work/out" || fail "tile names: $(cat "$work/out")"
[ -e "$work/part_005.png" ] && fail "tile 5 written by the range 1-4"
run render "$volcano" $view --tile-range 5-6 -o "$work/part.png"
run mosaic -o "$work/joined.tif" "$work"/part_*.png
same "$work/whole.tif" "$work/joined.tif"
run mosaic -o "$work/joined.vrt" "$work"/part_*.png
gdalinfo "$work/joined.vrt" | grep -q "Size is 288, 128" || fail "the VRT mosaic's size"
gdal_translate -q "$work/joined.vrt" "$work/from_vrt.tif"
same "$work/whole.tif" "$work/from_vrt.tif"
for single in 1 6; do
  run render "$olinda" --size 80x60 --tiles 2x3 --tile-range $single -o "$work/one.tif"
done
run render "$olinda" --size 80x60 --tiles 2x3 --tile-range 2-5 -o "$work/one.tif"
run mosaic -o "$work/olinda.png" "$work"/one_*.tif
run render "$olinda" --size 80x60 --tiles 2x3 -o "$work/olinda_whole.png"
same "$work/olinda_whole.png" "$work/olinda.png"

# Missing, doubled and foreign tiles; ranges beyond the tiles.
rm "$work/part_003.png"
expect 1 "leave a gap: 16.7% of the picture is missing" mosaic -o "$work/gap.tif" "$work"/part_*.png
expect 1 "overlaps another tile" mosaic -o "$work/twice.tif" "$work/one_001.tif" "$work/one_001.tif"
expect 1 "not a tile of .render --tile-range." mosaic -o "$work/foreign.tif" "$volcano"
# A tile of the same tiling of another picture (here without --sky) is refused too.
run render "$volcano" --size 96x64 --tiles 3x2 --tile-range 3 -o "$work/plain.png"
expect 1 "tiles of different pictures" mosaic -o "$work/mixed.tif" "$work/part_001.png" \
  "$work/part_002.png" "$work/plain_003.png" "$work"/part_00[456].png
[ -e "$work/mixed.tif" ] && fail "a mosaic of two pictures was written"
[ -e "$work/gap.tif" ] || [ -e "$work/twice.tif" ] && fail "a refused mosaic was written"
expect 2 "goes beyond the 6 tiles" render "$volcano" $view --tile-range 5-7 -o "$work/x.png"
expect 2 "tile-range takes I-J or I" render "$volcano" $view --tile-range 3-2 -o "$work/x.png"
expect 2 "tile-range takes I-J or I" render "$volcano" $view --tile-range 0 -o "$work/x.png"
expect 2 "not of --plan" render "$volcano" $view --plan --tile-range 1 -o "$work/x.png"
expect 2 "not --plan" render "$volcano" $view --plan --tiles 3x2 -o "$work/x.png"
expect 2 "must end in .vrt" mosaic -o "$work/x.gif" "$work/part_001.png"
ls "$work" | grep -q "tmp\|draft" && fail "temporary files left: $(ls "$work")"

rm -rf "$work"
finish "tiles"
