// The road layer's costs: loading a file of 4,000 roads over a 1024 x 1024 grid of 10 m (seconds,
// MB of temporary file), and the frame time at 1024 x 768 with the roads loaded against the bare
// terrain frame from the same eye (the whole grid in view, and a low eye over a corner).
//
//   road_bench [--frames N] [--dir DIR]
#include <gdal.h>
#include <ogr_api.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_grids.h"
#include "model/overlay_store.h"
#include "model/process_objects.h"
#include "model/scene_object.h"
#include "terrain3d/terrain3d.h"
#include "bench_frames.h"

namespace {

using bench::Ms;
using bench::Quiet;
using Clock = bench::Clock;
using Scene = bench::HeadlessScene;



// `count` winding roads of 16 points 25 m apart (375 m each) scattered over the grid's extent
// (cells of 10 m from x 500000, y 4000000), widths 8 to 20 m in the attribute "width", as
// GeoJSON. A fixed generator: every run writes the same file.
bool WriteRoads(const std::string& path, int side, int count) {
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GeoJSON"), path.c_str(), 0, 0, 0, GDT_Unknown,
                               nullptr);
  if (ds == nullptr) return false;
  OGRLayerH layer = GDALDatasetCreateLayer(ds, "roads", nullptr, wkbLineString, nullptr);
  OGRFieldDefnH width = OGR_Fld_Create("width", OFTReal);
  bool ok = layer != nullptr && OGR_L_CreateField(layer, width, 1) == OGRERR_NONE;
  OGR_Fld_Destroy(width);
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) / double(1 << 24);
  };
  const double span = 10.0 * side;
  for (int i = 0; i < count && ok; ++i) {
    double x = 500000 + 400 + next() * (span - 800), y = 4000000 + 400 + next() * (span - 800);
    double heading = next() * 2 * M_PI;
    OGRGeometryH line = OGR_G_CreateGeometry(wkbLineString);
    for (int k = 0; k < 16; ++k) {
      OGR_G_AddPoint_2D(line, x, y);
      heading += (next() - 0.5) * 0.8;
      x += 25 * std::cos(heading);
      y += 25 * std::sin(heading);
    }
    OGRFeatureH feature = OGR_F_Create(OGR_L_GetLayerDefn(layer));
    OGR_F_SetFieldDouble(feature, 0, 8 + 12 * next());
    OGR_F_SetGeometryDirectly(feature, line);
    ok = OGR_L_CreateFeature(layer, feature) == OGRERR_NONE;
    OGR_F_Destroy(feature);
  }
  GDALClose(ds);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 15;
  std::string dir = "/tmp";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--frames") == 0) frames = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--dir") == 0) dir = argv[i + 1];
  }
  GDALAllRegister();
  tnSetMessageHandler(&Quiet, nullptr);

  const int side = 1024, count = 4000;
  const std::string grid = dir + "/road_bench_grid.tif";
  const std::string roads = dir + "/road_bench_roads.geojson";
  std::remove(roads.c_str());
  if (!bench::WriteRaster(grid, side, 1, [](int, int x, int y) { return bench::Landscape(x * 4.0, y * 4.0); }) ||
      !WriteRoads(roads, side, count)) {
    std::fprintf(stderr, "road_bench: cannot write the synthetic inputs in %s\n", dir.c_str());
    return 1;
  }
  Scene s;
  if (!s.Open(grid, 1024, 768)) return 1;
  const unsigned short slot = tnMapOpen(roads.c_str(), nullptr, nullptr, nullptr);
  if (slot == 0) return 1;
  TnRoadParams params;
  std::memset(&params, 0, sizeof params);
  params.widthField = 0;
  params.repeats = 1;

  // Two eyes: the prepared one, which sees the whole grid (every road in view), and one low over
  // a corner looking across it. At each eye bare and road frames are drawn in turns
  // (bench::PairedFrameMs).
  tnDrawScene(s.scene, s.state);  // warm up, and the eye settles
  const auto start = Clock::now();
  const int loaded = tnLoadRoad(s.scene, s.state, slot, &params);
  const double loadMs = Ms(start);
  const auto& data = t3d::g_process.overlayStore->roads;
  std::printf("%d roads loaded %sin %.2f s: %u blocks, %.1f MB of temporary file\n", count,
              loaded == TN_OK ? "" : "(FAILED) ", loadMs / 1000, data.blockCount,
              data.blocks.Size() / 1048576.0);
  // The road triangles a frame draws (the pass leaves its indices in the overlay buffer).
  auto roadTriangles = [&s] { return static_cast<t3d::SceneObject*>(s.scene)->overlayIndexBuffer.size() / 3; };
  size_t triangles[2];
  bench::PairedFrames paired[2];
  tnDrawScene(s.scene, s.state);
  triangles[0] = roadTriangles();
  paired[0] = bench::PairedFrameMs(s.scene, s.state, frames);
  const float x0 = 500000, y0 = 4000000, span = 10.0f * side;
  float eye[3] = {x0 + 0.1f * span, y0 + 0.1f * span, 1500};
  float look[2] = {x0 + 0.3f * span, y0 + 0.3f * span};
  SetEyeCenterPosition(s.scene, s.state, eye, look);
  tnDrawScene(s.scene, s.state);
  triangles[1] = roadTriangles();
  paired[1] = bench::PairedFrameMs(s.scene, s.state, frames);
  tnUnLoadRoad(s.scene, s.state, slot);
  const char* names[2] = {"whole grid in view", "low eye over a corner"};
  for (int e = 0; e < 2; ++e) {
    std::printf("  frame 1024 x 768, %s: bare %.1f ms, with roads %.1f ms (%.2fx), median of %d "
                "pairs; %zu road triangles\n",
                names[e], paired[e].bare, paired[e].overlaid, paired[e].ratio, frames, triangles[e]);
  }
  tnMapClose(slot);
  std::remove(roads.c_str());
  std::remove(grid.c_str());
  return 0;
}
