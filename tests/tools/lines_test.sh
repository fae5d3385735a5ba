#!/bin/sh
# Map lines in the host program: render, fly and view draw the Jacksboro contours with --lines;
# the contours change the picture, --reduce-lines thins them, and bad options or files are
# refused with a reason.
# usage: lines_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 samples=$2/data/samples work=$3/tool-scratch/lines
rm -rf "$work"; mkdir -p "$work"
. "$(dirname "$0")/expect.sh"
dem=$samples/jacksboro_fault_dem.tif
contours=$samples/jacksboro_contours.fgb

"$tool" render "$dem" -o "$work/bare.png" --size 320x240 >/dev/null 2>"$work/err" || fail "bare: $(cat "$work/err")"
"$tool" render "$dem" --lines "$contours" -o "$work/lines.png" --size 320x240 >"$work/out" 2>"$work/err" ||
  fail "render --lines: $(cat "$work/err")"
grep -q "lines.png (320 x 240 pixels)" "$work/out" || fail "render --lines printed: $(cat "$work/out")"
"$tool" render "$dem" --lines "$contours" --reduce-lines 200 -o "$work/thin.png" --size 320x240 \
  >/dev/null 2>"$work/err" || fail "render --reduce-lines: $(cat "$work/err")"
# Pixels that differ between two pictures (the statistics GDAL keeps beside the last difference
# removed: gdalinfo would read them instead of counting again).
differ() {
  rm -f "$work/diff.tif" "$work/diff.tif.aux.xml"
  gdal_calc.py --quiet -A "$1" -B "$2" --A_band=1 --B_band=1 --calc="abs(A.astype(int)-B)>30" \
    --outfile="$work/diff.tif" --overwrite >/dev/null 2>&1 &&
    gdalinfo -stats "$work/diff.tif" | awk -F= '/STATISTICS_MEAN/ { printf "%d", $2 * 320 * 240; exit }'
}
if command -v gdal_calc.py >/dev/null; then
  lines=$(differ "$work/bare.png" "$work/lines.png")
  [ "${lines:-0}" -gt 500 ] || fail "the contours change only ${lines:-0} pixels"
  thin=$(differ "$work/lines.png" "$work/thin.png")
  [ "${thin:-0}" -gt 50 ] || fail "--reduce-lines 200 changes only ${thin:-0} pixels"
fi

# Kept in degrees (the DEM and its contours are in WGS 84), the contours still show: the
# default thinning of 1.25 map units would thin every one of them to its ends.
"$tool" render "$dem" --keep-crs -o "$work/bare_deg.png" --size 320x240 >/dev/null 2>"$work/err" ||
  fail "bare --keep-crs: $(cat "$work/err")"
"$tool" render "$dem" --keep-crs --lines "$contours" -o "$work/lines_deg.png" --size 320x240 \
  >/dev/null 2>"$work/err" || fail "render --keep-crs --lines: $(cat "$work/err")"
grep -q "thinned by 0.001 degrees" "$work/err" || fail "no note of the thinning in degrees: $(cat "$work/err")"
if command -v gdal_calc.py >/dev/null; then
  degrees=$(differ "$work/bare_deg.png" "$work/lines_deg.png")
  [ "${degrees:-0}" -gt 500 ] || fail "in degrees the contours change only ${degrees:-0} pixels"
fi

"$tool" fly "$dem" --lines "$contours" --frames 2 --out-dir "$work/fly" --size 160x120 >/dev/null 2>"$work/err" ||
  fail "fly --lines: $(cat "$work/err")"
[ -f "$work/fly/frame00001.bmp" ] || fail "fly --lines wrote no frames"

# Refusals: a missing file, a file of another kind, bad coefficients, lines on the plan view.
"$tool" render "$dem" --lines "$work/none.fgb" -o "$work/x.png" 2>"$work/err" && fail "a missing file was taken"
grep -q "lines" "$work/err" || fail "no reason for a missing file: $(cat "$work/err")"
[ -f "$work/x.png" ] && fail "a picture was written without its lines"
for bad in 0 -1 abc 5000; do
  "$tool" render "$dem" --lines "$contours" --reduce-lines "$bad" -o "$work/x.png" 2>"$work/err"
  [ $? -eq 2 ] || fail "--reduce-lines $bad was not refused as a usage error"
done
"$tool" render "$dem" --lines "$contours" --plan -o "$work/x.png" 2>"$work/err"
[ $? -eq 2 ] || fail "--plan with --lines was not refused"

finish "lines"
