#!/usr/bin/env bash
# Runs the viewer under Xvfb with a script of key commands and checks its screenshots.
# usage: viewer_test.sh TERRAIN3D_PROGRAM SOURCE_DIR   (run inside with_xvfb.sh)
set -euo pipefail
program=$1 source=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
sed "s|VIEWER_OUT|$out|g" "$source/tests/viewer_script.txt" > "$out/script.txt"
log=$("$program" view "$source/data/samples/jacksboro_fault_dem.tif" --size 800x600 --script "$out/script.txt" \
  2>"$out/stderr") || { cat "$out/stderr"; exit 1; }
echo "$log"
cat "$out/stderr"
for name in view plan restored huge; do
  [ -s "$out/$name.png" ] || { echo "no $name.png"; exit 1; }
done
echo "$log" | grep -q '^pixel 400,450: map point' || { echo "the click gave no map point"; exit 1; }
# The size beyond the screen (with_xvfb.sh's 1024 x 768) was clamped to it, and the viewer said so.
grep -q '^terrain3d: reshape clamped to the screen, 1024x768$' "$out/stderr" || { echo "no clamp message"; exit 1; }
# The perspective and the plan view are different pictures.
cmp -s "$out/view.png" "$out/plan.png" && { echo "plan view equals the perspective"; exit 1; }
if [ -n "${VIEWER_KEEP:-}" ]; then cp "$out"/*.png "$VIEWER_KEEP"/; fi
echo "viewer script ran"
