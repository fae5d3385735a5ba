#!/bin/sh
# Ctrl-C (SIGINT), SIGTERM and SIGHUP end a command cleanly: the unfinished output and the
# library's temporary files are removed, the program's scratch folder in the working directory
# goes, and the status tells the signal (128 + its number). A run that ends normally leaves the
# working directory as it found it.
# usage: interrupt_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 samples=$2/data/samples work=$3/tool-scratch/interrupt
rm -rf "$work"; mkdir -p "$work/out" "$work/cache"
. "$(dirname "$0")/expect.sh"
olinda=$samples/olinda_dem_utm25s.tif
export TERRAIN3D_WORK_DIR="$work/cache"

# interrupted SIGNAL STATUS WAIT_FOR ARGUMENTS...: runs the program with the signal's default
# action (a shell starts background jobs with SIGINT ignored), sends the signal once a file
# matching the pattern WAIT_FOR exists, and checks the status and that nothing unfinished is left.
exists() { for f in $1; do [ -e "$f" ] && return 0; done; return 1; }
interrupted() {
  signal=$1 status=$2 waitFor=$3; shift 3
  perl -e '$SIG{INT} = "DEFAULT"; exec @ARGV' "$tool" "$@" >/dev/null 2>"$work/err" &
  pid=$!
  tries=0
  while ! exists "$waitFor" && [ $tries -lt 600 ]; do sleep 0.05; tries=$((tries + 1)); done
  exists "$waitFor" || fail "$*: $waitFor never appeared"
  kill -s "$signal" $pid
  wait $pid
  got=$?
  [ $got -eq "$status" ] || fail "$signal during $1: status $got, not $status"
  grep -q "interrupted; unfinished files removed" "$work/err" || fail "$signal: no word on stderr"
  [ -z "$(ls -A "$work/cache")" ] || fail "$signal during $1: left in the working directory: $(ls -A "$work/cache")"
}

big="--size 512x512 --tiles 12x12"
interrupted INT 130 "$work/out/big.png.draft-*.tif" render "$olinda" $big -o "$work/out/big.png"
[ -z "$(ls -A "$work/out")" ] || fail "INT during render: left $(ls -A "$work/out")"
# The hill shade's GeoTIFF is made with its first block and written as the blocks come, under a
# draft name beside the output: the signal comes while it is shaded and written, and the file
# the output would have replaced stays as it was. A large PNG is gathered in a temporary GeoTIFF
# first.
echo "the user's file" >"$work/out/shade.tif"
interrupted TERM 143 "$work/out/shade.draft-*.tif" hillshade "$olinda" --size 12000x12000 \
  -o "$work/out/shade.tif"
[ "$(ls -A "$work/out")" = "shade.tif" ] || fail "TERM during hillshade: left $(ls -A "$work/out")"
[ "$(cat "$work/out/shade.tif")" = "the user's file" ] || fail "TERM during hillshade: the old file changed"
rm -f "$work/out/shade.tif"
interrupted INT 130 "$work/out/shade.png.draft-*.tif" hillshade "$olinda" --size 12000x12000 \
  -o "$work/out/shade.png"
[ -z "$(ls -A "$work/out")" ] || fail "INT during hillshade to PNG: left $(ls -A "$work/out")"
interrupted HUP 129 "$work/out/frames/frame00002.png" fly "$olinda" --frames 100000 --size 320x240 \
  --png --out-dir "$work/out/frames"
ls "$work/out/frames" | grep -q -v '^frame[0-9]*\.png$' && fail "HUP during fly: left $(ls "$work/out/frames")"
for frame in "$work"/out/frames/*.png; do
  gdalinfo "$frame" >/dev/null 2>&1 || fail "an unreadable frame $(basename "$frame") was left"
done
interrupted INT 130 "$work/out/part_003.tif" render "$olinda" $big --tile-range 1-144 -o "$work/out/part.tif"
for tile in "$work"/out/part_*.tif; do
  gdalinfo -checksum "$tile" >/dev/null 2>&1 || fail "an unreadable tile $(basename "$tile") was left"
done
ls "$work/out" | grep -q tmp && fail "INT during a tile range: left $(ls "$work/out")"

# A process killed outright (SIGKILL) cannot remove its scratch folder; the next run in the
# same working directory removes it (a folder of a process that still runs is left alone).
"$tool" render "$olinda" $big -o "$work/out/killed.png" >/dev/null 2>&1 &
pid=$!
tries=0
while [ -z "$(ls -A "$work/cache")" ] && [ $tries -lt 600 ]; do sleep 0.05; tries=$((tries + 1)); done
kill -s KILL $pid
wait $pid 2>/dev/null
[ -n "$(ls -A "$work/cache")" ] || fail "SIGKILL: no scratch folder to find"
rm -f "$work"/out/killed*

# Drafts of an output that a process killed outright left beside it go with the next run that
# writes that output; drafts of a process that still runs, and of other outputs, stay.
sh -c 'exit 0' & dead=$!
wait $dead
mkdir -p "$work/drafts"
for name in "shade.draft-$dead-1.tif" "shade.draft-$dead-1.tif.aux.xml" "shade.draft-$$-1.tif" \
            "other.draft-$dead-1.tif"; do
  echo draft >"$work/drafts/$name"
done
"$tool" hillshade "$olinda" -o "$work/drafts/shade.tif" >/dev/null 2>&1 || fail "hill shade over drafts"
[ "$(ls "$work/drafts" | sort | tr '\n' ' ')" = "other.draft-$dead-1.tif shade.draft-$$-1.tif shade.tif " ] ||
  fail "stale drafts: left $(ls "$work/drafts" | tr '\n' ' ')"

# A normal run leaves the working directory empty too.
"$tool" render "$olinda" --size 64x48 -o "$work/out/small.png" >/dev/null 2>&1 || fail "small render"
[ -z "$(ls -A "$work/cache")" ] || fail "a finished run left $(ls -A "$work/cache")"

rm -rf "$work"
finish "interrupt"
