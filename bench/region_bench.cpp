// The region layer's costs: loading the Olinda census polygons over the Olinda DEM (seconds, MB
// of temporary files), and the frame time at 1024 x 768 with 10,000 regions loaded against the
// bare terrain frame from the same eye.
//
//   region_bench [--frames N] [--dir DIR] [--cpu-time]   (run from the source tree: it reads data/samples)
#include <gdal.h>
#include <ogr_api.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_grids.h"
#include "model/overlay_store.h"
#include "model/process_objects.h"
#include "overlay/region_layer.h"
#include "terrain3d/terrain3d.h"
#include "bench_frames.h"

namespace {

using bench::Ms;
using bench::Quiet;
using Clock = bench::Clock;
using Scene = bench::HeadlessScene;



std::string GridWkt(const std::string& path) {
  GDALDatasetH grid = GDALOpen(path.c_str(), GA_ReadOnly);
  std::string wkt = grid != nullptr && GDALGetProjectionRef(grid) ? GDALGetProjectionRef(grid) : "";
  if (grid != nullptr) GDALClose(grid);
  return wkt;
}

std::vector<TnRegionDescriptor> AllRecords(unsigned short slot, uint8_t opacity) {
  std::vector<TnRegionDescriptor> d(static_cast<size_t>(tnMapRecordCount(slot)));
  for (size_t i = 0; i < d.size(); ++i) {
    std::memset(&d[i], 0, sizeof d[i]);
    d[i].record = int(i + 1);
    d[i].opacity = opacity;
    d[i].shown = 1;
    d[i].maxEyeDistance = 1e30;
  }
  return d;
}

// With --cpu-time frames are timed by the process's processor time (see bench::CpuMs).
bool g_cpuTime = false;


// 100 x 100 square regions over the synthetic grid's extent (side cells of 10 m from x 500000,
// y 4000000), each a ring of 24 points, as GeoJSON.
bool WriteManyRegions(const std::string& path, int side) {
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GeoJSON"), path.c_str(), 0, 0, 0, GDT_Unknown,
                               nullptr);
  if (ds == nullptr) return false;
  OGRLayerH layer = GDALDatasetCreateLayer(ds, "many", nullptr, wkbPolygon, nullptr);
  const double span = 10.0 * side / 100;
  bool ok = layer != nullptr;
  for (int j = 0; j < 100 && ok; ++j) {
    for (int i = 0; i < 100 && ok; ++i) {
      const double x0 = 500000 + i * span + span * 0.1, y0 = 4000000 + j * span + span * 0.1;
      const double w = span * 0.8;
      OGRGeometryH ring = OGR_G_CreateGeometry(wkbLinearRing);
      for (int k = 0; k < 6; ++k) OGR_G_AddPoint_2D(ring, x0 + w * k / 6, y0);
      for (int k = 0; k < 6; ++k) OGR_G_AddPoint_2D(ring, x0 + w, y0 + w * k / 6);
      for (int k = 0; k < 6; ++k) OGR_G_AddPoint_2D(ring, x0 + w - w * k / 6, y0 + w);
      for (int k = 0; k < 6; ++k) OGR_G_AddPoint_2D(ring, x0, y0 + w - w * k / 6);
      OGR_G_AddPoint_2D(ring, x0, y0);
      OGRGeometryH polygon = OGR_G_CreateGeometry(wkbPolygon);
      OGR_G_AddGeometryDirectly(polygon, ring);
      OGRFeatureH feature = OGR_F_Create(OGR_L_GetLayerDefn(layer));
      OGR_F_SetGeometryDirectly(feature, polygon);
      ok = OGR_L_CreateFeature(layer, feature) == OGRERR_NONE;
      OGR_F_Destroy(feature);
    }
  }
  GDALClose(ds);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 15;
  std::string dir = "/tmp";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--cpu-time") == 0) g_cpuTime = true;
    else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) frames = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) dir = argv[++i];
  }
  GDALAllRegister();
  tnSetMessageHandler(&Quiet, nullptr);

  {
    const std::string grid = "data/samples/olinda_dem_utm25s.tif";
    Scene s;
    if (!s.Open(grid, 1024, 768)) {
      std::fprintf(stderr, "region_bench: cannot prepare %s (run from the source tree)\n", grid.c_str());
      return 1;
    }
    const std::string wkt = GridWkt(grid);
    const unsigned short slot = tnMapOpen("data/samples/olinda1.shp", nullptr, wkt.c_str(), nullptr);
    if (slot == 0) {
      std::fprintf(stderr, "region_bench: olinda1.shp: %s\n", tnMapLastError());
      return 1;
    }
    tnMapSetColour(slot, 0, 255, 60, 40);
    auto d = AllRecords(slot, 120);
    const auto start = Clock::now();
    const int loaded = tnLoadMapRegion(s.scene, s.state, slot, d.data(), int(d.size()));
    const double loadMs = Ms(start);
    const auto& regions = t3d::g_process.overlayStore->regions;
    uint64_t blocks = 0;
    for (const auto& r : d) blocks += r.blockCount;
    std::printf("Olinda: %zu polygons loaded %s in %.2f s; %llu blocks, %.1f MB of temporary files\n",
                d.size(), loaded == TN_OK ? "" : "(FAILED)", loadMs / 1000,
                static_cast<unsigned long long>(blocks),
                (regions.blocks.Size() + regions.images.Size()) / 1048576.0);
    tnUnLoadMapRegion(s.scene, s.state, slot);
    tnMapClose(slot);
  }

  {
    const int side = 1024;
    const std::string grid = dir + "/region_bench_grid.tif";
    const std::string many = dir + "/region_bench_many.geojson";
    std::remove(many.c_str());
    if (!bench::WriteRaster(grid, side, 1, [](int, int x, int y) { return bench::Landscape(x * 4.0, y * 4.0); }) ||
        !WriteManyRegions(many, side)) {
      std::fprintf(stderr, "region_bench: cannot write the synthetic inputs in %s\n", dir.c_str());
      return 1;
    }
    Scene s;
    if (!s.Open(grid, 1024, 768)) return 1;
    const unsigned short slot = tnMapOpen(many.c_str(), nullptr, nullptr, nullptr);
    if (slot == 0) return 1;
    tnMapSetColour(slot, 0, 40, 90, 255);
    // Two eyes: the prepared one, which sees the whole grid (every region in view), and one low
    // over a corner looking across it (the view rectangle holds part of them). At each eye bare
    // and region frames are drawn in turns (bench::PairedFrameMs).
    auto d = AllRecords(slot, 120);
    const auto start = Clock::now();
    tnLoadMapRegion(s.scene, s.state, slot, d.data(), int(d.size()));
    const double loadMs = Ms(start);
    tnDrawScene(s.scene, s.state);  // warm up, and the eye settles
    bench::PairedFrames paired[2], fill[2], quads[2];
    paired[0] = bench::PairedFrameMs(s.scene, s.state, frames, g_cpuTime);
    fill[0] = bench::FloorMs(s.scene, s.state, 1, frames, g_cpuTime);
    quads[0] = bench::FloorMs(s.scene, s.state, 100, frames, g_cpuTime);
    const t3d::RegionPassStats wholeStats = t3d::LastRegionPassStats();
    const float x0 = 500000, y0 = 4000000, span = 10.0f * side;
    float eye[3] = {x0 + 0.1f * span, y0 + 0.1f * span, 1500};
    float look[2] = {x0 + 0.3f * span, y0 + 0.3f * span};
    SetEyeCenterPosition(s.scene, s.state, eye, look);
    tnDrawScene(s.scene, s.state);
    paired[1] = bench::PairedFrameMs(s.scene, s.state, frames, g_cpuTime);
    fill[1] = bench::FloorMs(s.scene, s.state, 1, frames, g_cpuTime);
    quads[1] = bench::FloorMs(s.scene, s.state, 100, frames, g_cpuTime);
    const t3d::RegionPassStats lowStats = t3d::LastRegionPassStats();
    uint64_t blocks = 0;
    for (const auto& r : d) blocks += r.blockCount;
    std::printf("10,000 regions (%llu blocks) loaded in %.2f s\n",
                static_cast<unsigned long long>(blocks), loadMs / 1000);
    const char* names[2] = {"whole grid in view", "low eye over a corner"};
    const t3d::RegionPassStats stats[2] = {wholeStats, lowStats};
    for (int e = 0; e < 2; ++e) {
      std::printf("  frame 1024 x 768, %s: bare %.1f ms, with regions %.1f ms (%.2fx), median "
                  "of %d pairs; %lld triangles drawn, %d regions from a far level\n", names[e],
                  paired[e].bare, paired[e].overlaid, paired[e].ratio, frames,
                  static_cast<long long>(stats[e].triangles), stats[e].farRegions);
      std::printf("    floors: one translucent quad over the window %.2fx, 10,000 quads over 64 %% of "
                  "it %.2fx\n", fill[e].ratio, quads[e].ratio);
    }
    tnUnLoadMapRegion(s.scene, s.state, slot);
    tnMapClose(slot);
    std::remove(many.c_str());
    std::remove(grid.c_str());
  }
  return 0;
}
