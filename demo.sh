#!/usr/bin/env bash
# Installs what is missing, builds the library and the host program (Release), and runs the
# main job: a scene initialised on a headless window, with its GL and device information, and the
# bundled Jacksboro DEM prepared in it.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
echo
echo "== terrain3d info data/samples/jacksboro_fault_dem.tif (headless window) =="
./build/terrain3d info data/samples/jacksboro_fault_dem.tif
