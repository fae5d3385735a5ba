#!/bin/sh
# The host program's note options: the Jacksboro spot heights drawn over the Jacksboro DEM (in
# the default face, bold and italic, a face nothing matches, a named field), refused values, a
# file that misses the grid, and no temporary file left in the working directory.
# usage: notes_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 samples=$2/data/samples
dem=$samples/jacksboro_fault_dem.tif notes=$samples/jacksboro_notes.geojson
work=$3/tool-scratch/notes
rm -rf "$work"; mkdir -p "$work/tmp"
export TERRAIN3D_WORK_DIR="$work/tmp"
. "$(dirname "$0")/expect.sh"

view="--size 320x240"
expect 0 "bare.png" render "$dem" $view -o "$work/bare.png"
expect 0 "notes.png" render "$dem" $view -o "$work/notes.png" --notes "$notes" --note-height 30
cmp -s "$work/bare.png" "$work/notes.png" && fail "the notes changed nothing in the picture"
expect 0 "bold.png" render "$dem" $view -o "$work/bold.png" --notes "$notes" --note-height 30 \
  --font KaiTi --font-size 16 --bold --italic
cmp -s "$work/bold.png" "$work/notes.png" && fail "--bold --italic --font-size 16 changed nothing"
expect 0 "fallback.png" render "$dem" $view -o "$work/fallback.png" --notes "$notes" --note-height 30 \
  --font "No Such Face"
cmp -s "$work/bare.png" "$work/fallback.png" && fail "a face nothing matches drew no text"
expect 0 "elev.png" render "$dem" $view -o "$work/elev.png" --notes "$notes" --note-height 30 --note-field elev
cmp -s "$work/elev.png" "$work/notes.png" && fail "--note-field elev drew the names"

expect 0 "2 frames in" fly "$dem" --frames 2 --size 160x120 --out-dir "$work/fly" --png --notes "$notes"
[ -e "$work/fly/frame00001.png" ] || fail "fly --notes wrote no frames"

expect 2 "--font-size takes a whole number from 0 to 30" render "$dem" -o "$work/x.png" --notes "$notes" --font-size 31
expect 2 "--plan cannot show --notes" render "$dem" -o "$work/x.png" --notes "$notes" --plan
expect 1 "--notes $work/missing.geojson" render "$dem" -o "$work/x.png" --notes "$work/missing.geojson"
# What the library would take and draw nothing of: a field the file lacks, a file of polygons.
expect 1 "--note-field nosuch: .* has no such field (its fields: " render "$dem" -o "$work/x.png" --notes "$notes" --note-field nosuch
expect 1 "not points" render "$dem" -o "$work/x.png" --notes "$samples/jacksboro_highlands.fgb"
[ -e "$work/x.png" ] && fail "a refused render wrote its picture"

# A note file in the grid's CRS but far from it: message 12, nothing drawn.
cat > "$work/far.geojson" <<'JSON'
{"type": "FeatureCollection", "features": [{"type": "Feature", "properties": {"name": "x"},
 "geometry": {"type": "Point", "coordinates": [10, 10]}}]}
JSON
expect 1 "could not be loaded" render "$dem" -o "$work/x.png" --notes "$work/far.geojson"
grep -q "message 12" "$work/err" || fail "a note file that misses the grid gave no message 12: $(cat "$work/err")"

# Points without a text (only a number attribute) show nothing, and the program says so.
cat > "$work/numbers.geojson" <<'JSON'
{"type": "FeatureCollection", "crs": {"type": "name", "properties": {"name": "urn:ogc:def:crs:EPSG::4326"}},
 "features": [{"type": "Feature", "properties": {"height": 998},
 "geometry": {"type": "Point", "coordinates": [-84.2, 36.6]}}]}
JSON
expect 0 "none of its 1 points has a text to show" render "$dem" -o "$work/x.png" --size 64x48 --notes "$work/numbers.geojson"
rm -f "$work/x.png"

left=$(ls -A "$work/tmp")
[ -z "$left" ] || fail "temporary files left in the working directory: $left"

finish "notes"
