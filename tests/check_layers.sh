#!/usr/bin/env bash
# The layer check: every folder of src/ is one layer, and a file may include (with quotes, by the
# path from src/) only its own folder and the folders its layer's line of the table below names.
# "terrain3d/..." (the public header) is allowed everywhere; a quoted include without a folder is
# a file of the includer's own folder. Also checked:
#  - adapters/<lib>/ holds one implementation of the adapter faces (adapters/*.h) on one outside
#    library; a file there may include its own adapters/<lib>/ folder, the faces and what the
#    adapters line allows, and no file outside adapters/<lib>/ may include "adapters/<lib>/...";
#  - the system headers of the windowing and outside libraries (X11, EGL, GLX, GDAL/OGR/CPL, GEOS,
#    FFmpeg, FreeType, fontconfig, GTK) are included only in src/platform and src/adapters/<lib>/;
#  - no file under src/ is longer than 600 lines.
# Prints file:line of every break and fails if there is one.
#   tests/check_layers.sh [SOURCE_DIR]      (default: the tree holding this script)
set -euo pipefail

root=${1:-"$(cd "$(dirname "$0")/.." && pwd)"}
if [[ ! -d "$root/src" ]]; then
  echo "check_layers: no src folder in $root" >&2
  exit 2
fi

# Lowest layer first. "layer: folders it may include"; "*" is every folder.
read -r -d '' LAYERS <<'EOF' || true
# base: message ids and texts, host hooks (message boxes, trace, progress), math; no other layer.
base:
# platform: GL contexts on EGL and GLX, memory devices, files and mappings, the environment block.
platform: base
# adapters: C faces of the DEM store and raster image service; adapters/<lib>/ implements them.
adapters: base
# formats: file formats the library reads and writes (colour tables, BMP, texture libraries).
formats: base platform
# terrain: the prepared grid, its footprint, height colouring and the CPU-built surface mesh.
terrain: base platform adapters formats
# model: the scene object and state block, process-wide stores, the fly route, mesh inputs.
model: base platform adapters formats terrain
# camera: the eye and view model, placing the camera, flight and navigation.
camera: base platform formats terrain model
# dialogs: the modal dialogs behind a presenter the host may supply.
dialogs: base formats terrain model
# render: drawing a frame with GL: the surface, lights, picking ground points.
render: base platform formats terrain model camera
# scene: preparing a scene from a DEM and the render settings.
scene: base platform adapters formats terrain model camera dialogs render
# texture: terrain textures prepared from raster images into the texture store.
texture: base platform adapters formats terrain model camera dialogs render
# overlay: line, road, region and note layers drawn over the scene, the overlay image reader.
overlay: base platform adapters formats terrain model camera dialogs render scene texture
# output: pictures written to files and raster images, hill shades, CPU vertex lighting.
output: base platform adapters formats terrain model camera dialogs render scene texture overlay
# blockscene: the block scene interface (to come).
blockscene: base platform adapters formats terrain model camera dialogs render scene texture overlay
# interface: the exported functions only; may use every layer.
interface: *
EOF

MAX_LINES=600
# Files allowed past MAX_LINES until they are split; each is still named on every run.
LONG_FILES=""

cd "$root/src"
mapfile -t files < <(find . -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cc' \
                                       -o -name '*.cpp' -o -name '*.inc' -o -name '*.inl' \) \
                       | sed 's|^\./||' | LC_ALL=C sort)
if [[ ${#files[@]} -eq 0 ]]; then
  echo "check_layers: no sources under $root/src" >&2
  exit 2
fi

# awk reads the table from stdin, then every source file.
printf '%s\n' "$LAYERS" | awk -v max_lines="$MAX_LINES" -v long_files="$LONG_FILES" '
function layer_of(path,    parts, n) {
  # The layer a path from src/ lies in: its first folder, or adapters/<lib> inside adapters.
  n = split(path, parts, "/")
  if (n >= 3 && parts[1] == "adapters") return "adapters/" parts[2]
  return parts[1]
}
# The headers of the windowing system and the outside libraries, which only src/platform and
# src/adapters/<lib>/ may include (with <> or with quotes).
function outside_library(path) {
  return path ~ /^(X11|EGL|freetype|fontconfig|gtk)\// || path ~ /^GL\/glx/ || path ~ /^(gdal|ogr|cpl_|geos)/ ||
         path ~ /^(libav|libsw)[^\/]*\// || path == "ft2build.h"
}
function report_library(shown) {
  report("includes " shown ": headers of the windowing system and outside libraries belong in " \
         "src/platform or src/adapters/<lib>/")
}
function top(layer) { sub(/\/.*/, "", layer); return layer }
function report(msg) { print FILENAME ":" FNR ": " msg; bad++ }
function finish_file() {
  if (current != "" && lines > max_lines && !(current in long_ok)) {
    print current ": " lines " lines, more than " max_lines; bad++
  } else if (current != "" && lines > max_lines) {
    print "note: " current ": " lines " lines, more than " max_lines " (allowed until split)"
  }
}
BEGIN {
  n = split(long_files, l, " ")
  for (i = 1; i <= n; i++) long_ok[l[i]] = 1
}
NR == FNR {                              # the table
  if ($0 ~ /^[ \t]*(#|$)/) next
  name = $1; sub(/:$/, "", name)
  known[name] = 1
  deps[name] = ""
  for (i = 2; i <= NF; i++) deps[name] = deps[name] " " $i
  for (i = 2; i <= NF; i++) may[name, $i] = 1
  next
}
FNR == 1 {
  finish_file()
  current = FILENAME; lines = 0
  own = layer_of(FILENAME); own_top = top(own)
  unknown = !(own_top in known)
  if (unknown) report("folder " own_top " is not in the layer table")
  in_lib = (own != own_top)               # a file of adapters/<lib>/
  in_platform = (own_top == "platform" || in_lib)
}
{ lines++ }
/^[ \t]*#[ \t]*include[ \t]*"/ {
  if (unknown) next
  path = $0; sub(/^[^"]*"/, "", path); sub(/".*$/, "", path)
  if (path ~ /^terrain3d\//) next
  if (!in_platform && outside_library(path)) { report_library("\"" path "\""); next }
  if (path ~ /(^|\/)\.\.(\/|$)/) { report("includes \"" path "\": a path out of its folder"); next }
  if (path !~ /\//) next                  # the includer'"'"'s own folder
  target = layer_of(path); target_top = top(target)
  if (target == own) next
  if (target != target_top) {             # adapters/<lib>/...
    report("includes \"" path "\": " target "/ is private to its own folder")
    next
  }
  if (in_lib && target == "adapters") next  # an implementation includes the faces it implements
  if (may[own_top, "*"] || may[own_top, target]) next
  report("includes \"" path "\": " own_top " may include only" \
         (deps[own_top] == "" ? " its own folder" : deps[own_top]))
  next
}
/^[ \t]*#[ \t]*include[ \t]*</ {
  if (in_platform) next
  path = $0; sub(/^[^<]*</, "", path); sub(/>.*$/, "", path)
  if (outside_library(path)) report_library("<" path ">")
}
END {
  finish_file()
  if (bad) { print "layer check: " bad " break(s)"; exit 1 }
  print "layer check: " files " files keep to their layers"
}
' files="${#files[@]}" - "${files[@]}" | sed "s|^|src/|; s|^src/note: |note: src/|; s|^src/layer check|layer check|"
