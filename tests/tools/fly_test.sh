#!/bin/sh
# The flight recorder: a host route flies the route (its frames are not the built-in tour's),
# the output folder is made when missing, and frames are written in order.
# usage: fly_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 dem=$2/data/samples/olinda_dem_utm25s.tif work=$3/tool-scratch/fly
rm -rf "$work"
fail() { echo "FAIL: $*"; exit 1; }

"$tool" fly "$dem" --frames 3 --size 96x72 --png --out-dir "$work/tour/deeper" >/dev/null ||
  fail "the tour into a missing folder"
"$tool" fly "$dem" --frames 3 --size 96x72 --png --out-dir "$work/route" \
  --route 289500,9120000/297000,9119000/297500,9112000 >/dev/null || fail "the route"
# A route that only crosses the grid is flown; one wholly beside it is refused.
"$tool" fly "$dem" --frames 1 --size 96x72 --png --out-dir "$work/across" \
  --route 280000,9115000/310000,9116000 >/dev/null 2>&1 || fail "a route across the grid"
"$tool" fly "$dem" --frames 1 --size 96x72 --png --out-dir "$work/beside" --route 0,0/10,10 \
  >/dev/null 2>"$work/err" && fail "a route beside the grid was flown"
grep -q "lies wholly outside the grid" "$work/err" || fail "no reason for the route beside the grid"
"$tool" fly "$dem" --frames 1 --size 96x72 --png --out-dir "$work/slow" --speed 0.5 \
  >/dev/null 2>"$work/err" || fail "a slow flight"
grep -q -- "--speed 0.5 is outside the flight's range; flown at" "$work/err" ||
  fail "a speed the library raised was not said"
for i in 0 1 2; do
  f=frame0000$i.png
  [ -s "$work/tour/deeper/$f" ] || fail "tour $f missing"
  [ -s "$work/route/$f" ] || fail "route $f missing"
done
# The tour and the route start at different places, so no frame of one equals the other's.
for i in 0 1 2; do
  f=frame0000$i.png
  cmp -s "$work/tour/deeper/$f" "$work/route/$f" && fail "route $f is the tour's frame"
done
# Frames of a flight move on.
cmp -s "$work/route/frame00000.png" "$work/route/frame00002.png" && fail "the route stands still"
rm -rf "$work"
echo "fly ok"
