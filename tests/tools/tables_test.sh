#!/bin/sh
# Colour tables by name: 'tables' lists them with their names (and a contact sheet with -o),
# --table takes a number or a name, --colours a gdaldem color-relief file as a custom ramp.
# usage: tables_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 source=$2 work=$3/tool-scratch/tables
rm -rf "$work"; mkdir -p "$work"
. "$(dirname "$0")/expect.sh"
# pixel FILE X Y: the pixel's red, green and blue.
pixel() { gdallocationinfo -valonly "$1" "$2" "$3" | tr '\n' ' ' | sed 's/ $//'; }
volcano=$source/data/samples/volcano.tif

# The list: 39 tables, numbered, each with a name of its own and its description.
run tables
[ "$(wc -l <"$work/out")" = 39 ] || fail "tables lists $(wc -l <"$work/out") lines, not 39"
grep -q '^ 5  terrain  .*hypsometric' "$work/out" || fail "table 5 is not listed as terrain"
grep -q '^38  map_7 ' "$work/out" || fail "table 38 is not listed as map_7"
[ "$(cut -c5-22 "$work/out" | sort -u | wc -l)" = 39 ] || fail "table names are not unique"
grep -q "$(printf '\033')" "$work/out" && fail "escape codes written into a file without --ansi"
run tables --ansi
grep -q "$(printf '\033')\[48;2;" "$work/out" || fail "tables --ansi shows no colour strips"

# The contact sheet: a row of 18 pixels a table, its 256 colours two pixels each from x 240;
# the last colour of table 5 is the last entry of terrain.lut.
run tables -o "$work/sheet.png"
gdalinfo "$work/sheet.png" | grep -q "Size is 760, 946" || fail "contact sheet of another size"
last=$(od -An -tu2 -j $((396 + 255 * 6)) -N6 "$source/data/HeightLut/terrain.lut" |
       awk '{printf "%d %d %d", ($1 + 128) / 257, ($2 + 128) / 257, ($3 + 128) / 257}')
[ "$(pixel "$work/sheet.png" 750 137)" = "$last" ] ||
  fail "the sheet's terrain strip ends in $(pixel "$work/sheet.png" 750 137), not $last"
first=$(od -An -tu2 -j 396 -N6 "$source/data/HeightLut/rainbow.lut" |
        awk '{printf "%d %d %d", ($1 + 128) / 257, ($2 + 128) / 257, ($3 + 128) / 257}')
[ "$(pixel "$work/sheet.png" 240 321)" = "$first" ] ||
  fail "the sheet's rainbow strip starts with $(pixel "$work/sheet.png" 240 321), not $first"
expect 2 "-o .*png or .bmp" tables -o "$work/sheet.tif"

# --table by name or number: the same picture; a name or number the tables lack is refused.
run render "$volcano" --size 160x120 --table rainbow -o "$work/name.png"
run render "$volcano" --size 160x120 --table 13 -o "$work/number.png"
run render "$volcano" --size 160x120 -o "$work/default.png"
cmp -s "$work/name.png" "$work/number.png" || fail "--table rainbow differs from --table 13"
cmp -s "$work/name.png" "$work/default.png" && fail "--table rainbow looks like the default table"
run render "$volcano" --size 160x120 --table "Hue-Sat-Value 1" -o "$work/spaced.png"
expect 2 "--table takes a colour table number 0 to 38 or a name" render "$volcano" --table nosuch -o "$work/x.png"
expect 2 "--table takes .*'39'" hillshade "$volcano" --table 39 -o "$work/x.png"

# --colours: heights to colours, blue up to 140 m and red above (the volcano goes from 94 to
# 195 m): its summit red, its foot blue, also at another exaggeration (heights in the grid's
# own units whatever the scale).
printf '# heights\n0 0 0 255\n140 0 0 255\n140.01,255,0,0\n300:255:0:0\nnv 0 0 0 0\n' >"$work/split.txt"
for scale in "" "--exaggeration 3"; do
  # shellcheck disable=SC2086
  run render "$volcano" --plan --size 400x300 --colours "$work/split.txt" $scale -o "$work/split.png"
  [ "$(pixel "$work/split.png" 200 150)" = "255 0 0" ] || fail "summit $scale not red: $(pixel "$work/split.png" 200 150)"
  [ "$(pixel "$work/split.png" 110 20)" = "0 0 255" ] || fail "foot $scale not blue: $(pixel "$work/split.png" 110 20)"
done
grep -q "'nv' colour is not used" "$work/err" || fail "the unused nv colour is not mentioned"
# Percentages of the height range and colour names; the hill shade takes them too.
printf '0%% 0 0 255\n50%% 0 0 255\n50.5%% red\n100%% red\n' >"$work/percent.txt"
run render "$volcano" --plan --size 400x300 --colours "$work/percent.txt" -o "$work/percent.png"
[ "$(pixel "$work/percent.png" 200 150)" = "255 0 0" ] || fail "summit by percentage not red"
[ "$(pixel "$work/percent.png" 110 20)" = "0 0 255" ] || fail "foot by percentage not blue"
printf '0%% green\n100%% green\n' >"$work/green.txt"
run hillshade "$volcano" --colours "$work/green.txt" -o "$work/green.tif"
gdalinfo -stats "$work/green.tif" >"$work/stats" 2>/dev/null
[ "$(grep -c 'STATISTICS_MAXIMUM=0$' "$work/stats")" = 2 ] || fail "the green hill shade has red or blue"
expect 2 "--grey is a shading alone" hillshade "$volcano" --grey --table 3 -o "$work/x.png"

# Files that are not color-relief files are refused with the line and what is wrong.
printf '10 1 2\n' >"$work/short.txt"
expect 2 "short.txt line 1: expected 'HEIGHT RED GREEN BLUE" render "$volcano" --colours "$work/short.txt" -o "$work/x.png"
printf '# nothing\n\nabc 1 2 3\n' >"$work/word.txt"
expect 2 "word.txt line 3: 'abc' is not a height" render "$volcano" --colours "$work/word.txt" -o "$work/x.png"
printf '0 300 0 0\n' >"$work/bright.txt"
expect 2 "bright.txt line 1" render "$volcano" --colours "$work/bright.txt" -o "$work/x.png"
printf 'nv 0 0 0\n' >"$work/empty.txt"
expect 2 "has no 'HEIGHT RED GREEN BLUE' line" render "$volcano" --colours "$work/empty.txt" -o "$work/x.png"
expect 2 "cannot read the colour file" render "$volcano" --colours "$work/none.txt" -o "$work/x.png"
[ -e "$work/x.png" ] && fail "a refused run wrote a picture"

finish "tables"
