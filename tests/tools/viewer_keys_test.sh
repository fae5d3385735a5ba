#!/bin/sh
# The viewer's keys as a GIS user expects them: + moves the eye closer to the point looked at and
# - away again, the arrows step in proportion to the view (not one grid cell), a click prints the
# map point and its height, and the window title names the grid.
# usage: viewer_keys_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR   (run inside with_xvfb.sh)
set -u
tool=$1 samples=$2/data/samples work=$3/tool-scratch/viewer_keys
rm -rf "$work"; mkdir -p "$work"
. "$(dirname "$0")/expect.sh"
dem=$samples/jacksboro_fault_dem.tif
printf '%s\n' eye "key plus" eye "key minus" eye "key Up" eye "key Up shift" eye "key Down" eye \
  "click 400 450" title quit >"$work/script.txt"
"$tool" view "$dem" --size 800x600 --script "$work/script.txt" >"$work/log" 2>"$work/err" ||
  fail "the viewer failed: $(cat "$work/err")"
# distance N: the eye's distance to the point it looks at in the Nth 'eye' line (3D, or 2D on
# the ground with a second argument).
distance() {
  awk -v n="$1" -v ground="${2:-}" '/^eye / && ++seen == n {
    dz = ground ? 0 : $4 - $8; print sqrt(($2 - $6)^2 + ($3 - $7)^2 + dz^2) }' "$work/log"
}
# moved N: how far the eye moved on the ground from the (N-1)th to the Nth 'eye' line.
moved() {
  awk -v n="$1" '/^eye / { ++seen; if (seen == n - 1) { x = $2; y = $3 }
    if (seen == n) print sqrt(($2 - x)^2 + ($3 - y)^2) }' "$work/log"
}
check() { awk "BEGIN { exit !($1) }" || fail "$2 ($1)"; }
start=$(distance 1) closer=$(distance 2) back=$(distance 3)
check "$closer < 0.85 * $start && $closer > 0.75 * $start" "+ does not move the eye a fifth closer"
check "$back > 0.99 * $start && $back < 1.01 * $start" "- does not move the eye back"
ground=$(distance 3 ground)
# The grid's cells are about 90 m: a step is a tenth of the eye's ground distance to the point
# looked at, three with Shift.
check "$(moved 4) > 0.09 * $ground && $(moved 4) < 0.11 * $ground" "Up does not step a tenth of the view"
check "$(moved 5) > 0.27 * $ground && $(moved 5) < 0.33 * $ground" "Shift-Up does not step three tenths"
check "$(moved 6) > 0.09 * $(distance 5 ground)" "Down does not step back a tenth"
grep -q '^title terrain3d - jacksboro_fault_dem.tif$' "$work/log" || fail "title: $(grep title "$work/log")"
line=$(grep '^pixel 400,450: map point' "$work/log")
echo "$line" | grep -q 'height' || fail "the click gave no height: $line"
# The height printed is the grid's at that map point (the grid drawn in its UTM zone).
x=$(echo "$line" | sed 's/.*map point \([0-9.-]*\), .*/\1/')
y=$(echo "$line" | sed 's/.*map point [0-9.-]*, \([0-9.-]*\),.*/\1/')
height=$(echo "$line" | sed 's/.*height \([0-9.-]*\).*/\1/')
gdalwarp -q -t_srs EPSG:32616 -r bilinear "$dem" "$work/utm.tif" 2>/dev/null
expected=$(gdallocationinfo -valonly -geoloc "$work/utm.tif" "$x" "$y")
check "$height - $expected < 15 && $expected - $height < 15" "click height $height, grid $expected"

# W floods the lowest cells, raises the water a fiftieth of the height range at a time and
# shows the level in the title; Shift+W lowers it; the picture changes with the water.
printf '%s\n' "screenshot $work/dry.png" "key W" "key W" "key W" "screenshot $work/wet.png" \
  "key W shift" title quit >"$work/water.txt"
"$tool" view "$dem" --size 320x240 --script "$work/water.txt" >"$work/water.log" 2>"$work/err" ||
  fail "the viewer failed with water: $(cat "$work/err")"
levels=$(awk '/^water level/ { sub(",", "", $3); printf "%s ", $3 }' "$work/water.log")
set -- $levels
[ $# -eq 4 ] || fail "water levels: $levels"
check "$2 > $1 && $3 > $2 && $4 < $3" "W does not raise and Shift+W lower the water ($levels)"
check "($3 - $2) > 0.9 * ($2 - $1) && ($3 - $2) < 1.1 * ($2 - $1)" "the water steps unevenly ($levels)"
grep -q "^title terrain3d - jacksboro_fault_dem.tif - water at $4 (recoloured in [0-9]* ms)$" \
  "$work/water.log" || fail "water title: $(grep title "$work/water.log")"
cmp -s "$work/dry.png" "$work/wet.png" && fail "the water does not show"

rm -rf "$work"
finish "viewer keys"
