#!/usr/bin/env bash
# Installs what is missing, builds the library and the host program (Release), and runs the
# main job: the bundled Jacksboro DEM prepared on a headless window, then drawn in perspective
# with sky and fog, in plan view and as a hill shade, and the Olinda DEM draped with its Landsat
# image and with its census polygons, and the Jacksboro contour lines, roads, highlands and
# named spot heights draped over the terrain, alone and all together;
# a flight over Jacksboro recorded as MPEG-2 and Motion JPEG videos, its plane graph and the
# texture library of its hill shade; all into out/.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
dem=data/samples/jacksboro_fault_dem.tif
echo
echo "== terrain3d info $dem (headless window) =="
./build/terrain3d info "$dem"
mkdir -p out
echo
echo "== Pictures =="
./build/terrain3d render "$dem" -o out/jacksboro_perspective.png --size 1024x768 --sky --fog
./build/terrain3d render "$dem" -o out/jacksboro_plan.png --size 1024x768 --plan
./build/terrain3d hillshade "$dem" -o out/jacksboro_hillshade.tif
./build/terrain3d hillshade "$dem" -o out/jacksboro_hillshade.png --size 480x410
./build/terrain3d render data/samples/olinda_dem_utm25s.tif --texture data/samples/L7_ETMs.tif \
  --bands 4,3,2 -o out/olinda_draped.png --size 1024x768
# The Jacksboro contours (scripts/make_contours.sh) draped as map lines, index contours red.
./build/terrain3d render "$dem" --lines data/samples/jacksboro_contours.fgb \
  -o out/jacksboro_contours.png --size 1024x768
# Named spot heights (scripts/make_notes.sh) as labels in the Kai face, hidden behind ridges.
./build/terrain3d render "$dem" --notes data/samples/jacksboro_notes.geojson --note-height 30 \
  -o out/jacksboro_notes.png --size 1024x768
# Made-up roads (scripts/make_roads.sh) as textured ribbons, widths from their attribute: the
# switchbacks seen from the south.
./build/terrain3d render "$dem" --roads data/samples/jacksboro_roads.fgb --road-width-field width \
  --road-repeat 2 --eye 748700,4048100,1200 --look 748700,4049300 -o out/jacksboro_roads.png --size 1024x768
# All four map layers at once over Jacksboro: contour lines, the highlands above 800 m as
# translucent regions (scripts/make_highlands.sh), the made-up roads and the named spot heights.
./build/terrain3d render "$dem" --lines data/samples/jacksboro_contours.fgb \
  --regions data/samples/jacksboro_highlands.fgb --region-opacity 120 \
  --roads data/samples/jacksboro_roads.fgb --road-width-field width \
  --notes data/samples/jacksboro_notes.geojson --note-height 30 \
  -o out/jacksboro_layers.png --size 1024x768
# The 470 census polygons of Olinda filled translucent over the same view, and seen from the
# south-west over the hills.
./build/terrain3d render data/samples/olinda_dem_utm25s.tif --texture data/samples/L7_ETMs.tif \
  --bands 4,3,2 --regions data/samples/olinda1.shp --region-colour 255,60,40 \
  --region-opacity 110 -o out/olinda_regions.png --size 1024x768
./build/terrain3d render data/samples/olinda_dem_utm25s.tif --texture data/samples/L7_ETMs.tif \
  --bands 3,2,1 --regions data/samples/olinda1.shp --region-colour 255,60,40 \
  --region-opacity 90 --eye 289000,9111000,2000 --look 294000,9116000 \
  -o out/olinda_regions_sw.png --size 1024x768
echo
echo "== A flight, the plane graph and the hill-shade texture library =="
./build/terrain3d fly "$dem" -o out/jacksboro_flight.mpg --size 640x480 --fps 25
./build/terrain3d fly "$dem" -o out/jacksboro_flight.avi --size 320x240 --codec mjpeg
./build/terrain3d plane "$dem" -o out/jacksboro_plane.png
./build/terrain3d texlib "$dem" --hillshade -o out/jacksboro_hillshade.tex
echo "The pictures and videos are in $(pwd)/out/."
