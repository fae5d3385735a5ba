#!/bin/sh
# Vertical exaggeration: --exaggeration F draws heights F times their true size (zScale 1, the
# grid's heights scaled), 'info' says what the automatic scale amounts to, heights 1:1 on a low
# relief or a grid kept in degrees still give a picture, and bad factors are refused.
# usage: exaggeration_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 samples=$2/data/samples work=$3/tool-scratch/exaggeration
rm -rf "$work"; mkdir -p "$work"
. "$(dirname "$0")/expect.sh"

# Volcano: heights 94 .. 195 m on a 10 m grid; the automatic scale divides them by 1.17442.
"$tool" info "$samples/volcano.tif" >"$work/auto.txt" 2>&1 || fail "info"
grep -q "^exaggeration 0.8515 (the automatic scale)" "$work/auto.txt" ||
  fail "automatic exaggeration: $(grep -e exagg -e vertical "$work/auto.txt")"
"$tool" info "$samples/volcano.tif" --exaggeration 2 >"$work/two.txt" 2>&1 || fail "info x2"
grep -q "^exaggeration 2 (as asked)" "$work/two.txt" || fail "exaggeration 2 not shown"
grep -q "^vertical  *zScale 1, scaled heights 188 .. 390" "$work/two.txt" || fail "heights x2"
grep -q "^heights  *z 94.000 .. 195.000" "$work/two.txt" || fail "grid heights changed"
"$tool" info "$samples/volcano.tif" --no-rescale >"$work/one.txt" 2>&1 || fail "info 1:1"
grep -q "^exaggeration 1 (as asked)" "$work/one.txt" || fail "--no-rescale is not 1:1"

# picture ARGS...: the render succeeds and the picture is not of one colour.
picture() {
  rm -f "$work/p.png" "$work/p.png.aux.xml"
  "$tool" render "$@" -o "$work/p.png" --size 160x120 >/dev/null 2>"$work/err" ||
    { fail "render $*: $(cat "$work/err")"; return; }
  deviation=$(gdalinfo -stats "$work/p.png" | awk -F= '/STATISTICS_STDDEV/ { print $2; exit }')
  awk -v d="$deviation" 'BEGIN { exit !(d > 5) }' || fail "render $*: a blank picture"
}
# A grid in degrees kept in degrees at 1:1: heights in metres drawn against degrees.
picture "$samples/jacksboro_fault_dem.tif" --keep-crs --no-rescale
picture "$samples/jacksboro_fault_dem.tif" --keep-crs --exaggeration 1
# A low relief (10 m over 30 km) at 1:1.
gdal_translate -q -ot Float32 -scale 0 1076 100 110 "$samples/jacksboro_fault_dem.tif" "$work/flat.tif"
picture "$work/flat.tif" --exaggeration 1
picture "$samples/volcano.tif" --exaggeration 5

for bad in 0 -1 abc 1e6; do
  "$tool" render "$samples/volcano.tif" --exaggeration "$bad" -o "$work/x.png" 2>"$work/err"
  [ $? -eq 2 ] && grep -q "exaggeration takes a number between 0 and 10000, not '$bad'" "$work/err" ||
    fail "--exaggeration $bad: $(cat "$work/err")"
done

rm -rf "$work"
finish "exaggeration"
