#!/bin/sh
# Videos of a flight (fly -o), the plane graph (plane) and the hill-shade texture library
# (texlib --hillshade), read back with ffprobe: frames, size, rate and duration as the program
# printed them, and clear refusals that leave no file.
# usage: videos_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 dem=$2/data/samples/olinda_dem_utm25s.tif work=$3/tool-scratch/videos
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*"; exit 1; }
command -v ffprobe >/dev/null 2>&1 || { echo "videos ok (no ffprobe: skipped)"; exit 0; }

# probe FILE FIELD: one field of the video stream (decoded frames counted)
probe() {
  ffprobe -v error -count_frames -select_streams v:0 -show_entries "stream=$2" \
    -of default=noprint_wrappers=1:nokey=1 "$1"
}
duration() { ffprobe -v error -show_entries format=duration -of default=noprint_wrappers=1:nokey=1 "$1"; }
# frames N SECONDS from the program's line "PATH: N frames of W x H, M MB, S s"
frames_of() { sed -n 's/.*: \([0-9]*\) frames of.*/\1/p' "$1"; }
seconds_of() { sed -n 's/.* \([0-9.]*\) s$/\1/p' "$1"; }
near() { awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { exit !((a - b) < d && (b - a) < d) }'; }

# Uncompressed AVI: every picture lasts five stream frames.
"$tool" fly "$dem" -o "$work/tour.avi" --size 96x72 --speed 400 > "$work/avi.out" 2>/dev/null ||
  fail "the AVI recording"
n=$(frames_of "$work/avi.out")
[ -n "$n" ] && [ "$n" -gt 2 ] || fail "no frame count printed: $(cat "$work/avi.out")"
[ "$(probe "$work/tour.avi" nb_read_frames)" = "$n" ] || fail "AVI pictures differ from $n"
[ "$(probe "$work/tour.avi" width)x$(probe "$work/tour.avi" height)" = 96x72 ] || fail "AVI size"
[ "$(probe "$work/tour.avi" r_frame_rate)" = 25/1 ] || fail "AVI rate"
near "$(duration "$work/tour.avi")" "$(seconds_of "$work/avi.out")" 0.01 || fail "AVI duration"

# Motion JPEG in AVI, by --codec.
"$tool" fly "$dem" -o "$work/tour-mjpeg.avi" --size 96x72 --speed 400 --codec mjpeg >/dev/null 2>&1 ||
  fail "the MJPEG recording"
[ "$(probe "$work/tour-mjpeg.avi" codec_name)" = mjpeg ] || fail "MJPEG codec"

# MPEG-2 at 10 frames per second: written at 30 with each picture three times, lasting as long.
"$tool" fly "$dem" -o "$work/tour.mpg" --size 96x72 --speed 400 --fps 10 > "$work/mpg.out" 2>/dev/null ||
  fail "the MPEG recording"
n=$(frames_of "$work/mpg.out")
[ "$(probe "$work/tour.mpg" codec_name)" = mpeg2video ] || fail "MPEG codec"
[ "$(probe "$work/tour.mpg" r_frame_rate)" = 30/1 ] || fail "MPEG rate"
[ "$(probe "$work/tour.mpg" nb_read_frames)" = "$((3 * n))" ] || fail "MPEG frames"
near "$(duration "$work/tour.mpg")" "$(seconds_of "$work/mpg.out")" 0.15 || fail "MPEG duration"

# H.264 in MP4 when FFmpeg has an encoder for it.
if "$tool" fly "$dem" -o "$work/tour.mp4" --size 96x72 --speed 400 > "$work/mp4.out" 2>&1; then
  [ "$(probe "$work/tour.mp4" codec_name)" = h264 ] || fail "MP4 codec"
  [ "$(probe "$work/tour.mp4" nb_read_frames)" = "$(frames_of "$work/mp4.out")" ] || fail "MP4 frames"
else
  [ -e "$work/tour.mp4" ] && fail "a refused MP4 left a file"
fi

# Refusals the writer makes (arguments_test.sh has the argument refusals): an MPEG rate that is
# none, an unwritable folder.
"$tool" fly "$dem" -o "$work/tour7.mpg" --size 96x72 --fps 7 >/dev/null 2>&1 && fail "7 frames/s MPEG"
"$tool" fly "$dem" -o "$work/odd.mpg" --size 97x72 2>&1 | grep -q "frames have even sides, not 97x72" ||
  fail "an odd MPEG frame size without its reason"
# A recording the library refuses (a frame larger than the off-screen bitmap) leaves the file
# that was there, and no draft beside it.
cp "$work/tour.mpg" "$work/kept.avi"
cp "$work/tour.mpg" "$work/big.avi"
"$tool" fly "$dem" -o "$work/big.avi" --size 16384x16384 >/dev/null 2>&1 && fail "a 16384 x 16384 AVI"
cmp -s "$work/big.avi" "$work/kept.avi" || fail "a refused recording changed the file it would replace"
ls "$work" | grep -q draft && fail "a draft was left: $(ls "$work")"
"$tool" fly "$dem" -o "$work/no/such/folder.avi" --size 96x72 >/dev/null 2>&1 && fail "unwritable"
[ -e "$work/tour7.mpg" ] && fail "tour7.mpg left behind"

# The plane graph: at most 160 pixels on its longer side (111 x 111 nodes: the node size).
"$tool" plane "$dem" -o "$work/plane.png" > "$work/plane.out" 2>/dev/null || fail "plane"
grep -q "plane.png (111 x 111)" "$work/plane.out" || fail "plane size: $(cat "$work/plane.out")"
"$tool" plane "$dem" -o "$work/plane.pgf" >/dev/null 2>&1 || fail "plane .pgf"
[ "$(wc -c < "$work/plane.pgf")" -eq $((14 + 111 * 4 * 111)) ] || fail "plane graph file size"

# The hill shade as a texture library.
"$tool" texlib "$dem" --hillshade -o "$work/shade.tex" --azimuth 90 >/dev/null 2>&1 || fail "texlib"
[ "$(head -c 8 "$work/shade.tex")" = TEX_HEAD ] || fail "not a texture library"
rm -rf "$work"
echo "videos ok"
