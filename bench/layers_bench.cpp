// The frame with all four map layers loaded over the Jacksboro sample (contour lines, the
// highlands as translucent regions, the roads and the named spot heights: the demo's picture),
// against the bare terrain frame from the same eye, and each layer alone. Two eyes: the prepared
// one, which sees the whole grid, and the demo's low eye over the roads.
//
//   layers_bench [--frames N] [--cpu-time] [--pictures PREFIX]
//   (run from the source tree: it reads data/samples; --pictures writes each eye's frame with
//   all four layers as PREFIX0.ppm and PREFIX1.ppm, to look at)
//
// Each ratio is the median over N pairs (default 15) of a bare frame and a frame with the
// layers, drawn in turns (bench::PairedFrameMs); the all-four ratio over 3N pairs. The floor
// closing each row is that of the line segments the frame with all four draws (drawn without the
// layers' read-back or tests, bench::LineFloorPass) with the regions' area blended once (one
// translucent quad over the window, bench::FloorPass): each is shown alone.
#include <gdal.h>
#include <ogr_api.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_frames.h"
#include "overlay/line_layer.h"
#include "overlay/region_layer.h"
#include "terrain3d/terrain3d.h"

namespace {

// The sample grid is in degrees; the map files and the road widths are in metres. The host
// program draws such a grid warped to its UTM zone, and so does this benchmark.
const char kSample[] = "data/samples/jacksboro_fault_dem.tif";
const char kLines[] = "data/samples/jacksboro_contours.fgb";
const char kRegions[] = "data/samples/jacksboro_highlands.fgb";
const char kRoads[] = "data/samples/jacksboro_roads.fgb";
const char kNotes[] = "data/samples/jacksboro_notes.geojson";

std::string GridWkt(const std::string& path) {
  GDALDatasetH grid = GDALOpen(path.c_str(), GA_ReadOnly);
  std::string wkt = grid != nullptr && GDALGetProjectionRef(grid) ? GDALGetProjectionRef(grid) : "";
  if (grid != nullptr) GDALClose(grid);
  return wkt;
}

// The number of a field of the first layer of a vector file; -1 when it has none of that name.
int FieldNumber(const char* path, const char* name) {
  GDALDatasetH ds = GDALOpenEx(path, GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
  if (ds == nullptr) return -1;
  OGRLayerH layer = GDALDatasetGetLayer(ds, 0);
  const int field = layer != nullptr ? OGR_FD_GetFieldIndex(OGR_L_GetLayerDefn(layer), name) : -1;
  GDALClose(ds);
  return field;
}

// The four layers of one scene, each loaded and unloaded on demand.
class Layers {
 public:
  Layers(void* scene, void* state, const std::string& wkt) : scene_(scene), state_(state) {
    slots_[0] = tnMapOpen(kLines, nullptr, wkt.c_str(), nullptr);
    slots_[1] = tnMapOpen(kRegions, nullptr, wkt.c_str(), nullptr);
    slots_[2] = tnMapOpen(kRoads, nullptr, wkt.c_str(), nullptr);
    slots_[3] = tnMapOpen(kNotes, nullptr, wkt.c_str(), nullptr);
    const int regions = slots_[1] != 0 ? tnMapRecordCount(slots_[1]) : 0;
    for (int r = 1; r <= regions; ++r) {
      TnRegionDescriptor d{};
      d.record = r;
      d.opacity = 120;
      d.shown = 1;
      d.maxEyeDistance = 1e30;
      regions_.push_back(d);
    }
    const int notes = slots_[3] != 0 ? tnMapRecordCount(slots_[3]) : 0;
    for (int r = 1; r <= notes; ++r) notes_.push_back(TnNoteDescriptor{r, 30, 1, 1e30});
  }
  ~Layers() {
    for (int k = 0; k < 4; ++k) Unload(k);
    for (unsigned short slot : slots_)
      if (slot != 0) tnMapClose(slot);
  }
  Layers(const Layers&) = delete;
  Layers& operator=(const Layers&) = delete;

  bool opened() const { return slots_[0] && slots_[1] && slots_[2] && slots_[3]; }
  bool Load(int k) {
    int status = TN_E_FAIL;
    switch (k) {
      case 0: status = tnLoadMapLine(scene_, state_, slots_[0]); break;
      case 1:
        status = tnLoadMapRegion(scene_, state_, slots_[1], regions_.data(), int(regions_.size()));
        break;
      case 2: {
        TnRoadParams params;
        std::memset(&params, 0, sizeof params);
        params.widthField = int16_t(FieldNumber(kRoads, "width"));
        status = tnLoadRoad(scene_, state_, slots_[2], &params);
        break;
      }
      default:
        status = tnLoadMapNote(scene_, state_, slots_[3], notes_.data(), int(notes_.size()));
    }
    loaded_[k] = status == TN_OK;
    return loaded_[k];
  }
  void Unload(int k) {
    if (!loaded_[k]) return;
    switch (k) {
      case 0: tnUnLoadMapLine(scene_, state_, slots_[0]); break;
      case 1: tnUnLoadMapRegion(scene_, state_, slots_[1]); break;
      case 2: tnUnLoadRoad(scene_, state_, slots_[2]); break;
      default: tnUnLoadMapNote(scene_, state_, slots_[3]);
    }
    loaded_[k] = false;
  }

 private:
  void* scene_;
  void* state_;
  unsigned short slots_[4] = {0, 0, 0, 0};
  bool loaded_[4] = {false, false, false, false};
  std::vector<TnRegionDescriptor> regions_;
  std::vector<TnNoteDescriptor> notes_;
};

// Writes the last frame of a headless scene (BGRA rows from the top) as a binary PPM.
bool WritePpm(const std::string& path, const bench::HeadlessScene& s) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", s.window.width, s.window.height);
  for (size_t i = 0; i + 3 < s.pixels.size(); i += 4) {
    const unsigned char rgb[3] = {s.pixels[i + 2], s.pixels[i + 1], s.pixels[i]};
    std::fwrite(rgb, 1, 3, f);
  }
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 15;
  bool cpuTime = false;
  std::string pictures;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--cpu-time") == 0) {
      cpuTime = true;
    } else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
      frames = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--pictures") == 0 && i + 1 < argc) {
      pictures = argv[++i];
    } else {
      std::fprintf(stderr, "usage: layers_bench [--frames N] [--cpu-time] [--pictures PREFIX]\n");
      return 2;
    }
  }
  GDALAllRegister();
  tnSetMessageHandler(&bench::Quiet, nullptr);
  const char* tmp = std::getenv("TMPDIR");
  const std::string grid = std::string(tmp != nullptr ? tmp : "/tmp") + "/t3d-layers-grid.tif";
  const std::string warp = "gdalwarp -q -overwrite -t_srs EPSG:32616 -r bilinear '" +
                           std::string(kSample) + "' '" + grid + "'";
  bench::HeadlessScene s;
  if (std::system(warp.c_str()) != 0 || !s.Open(grid, 1024, 768)) {
    std::fprintf(stderr, "layers_bench: cannot warp and prepare %s (run from the source tree)\n", kSample);
    return 1;
  }
  Layers layers(s.scene, s.state, GridWkt(grid));
  if (!layers.opened()) {
    std::fprintf(stderr, "layers_bench: cannot open the map files: %s\n", tnMapLastError());
    return 1;
  }
  const char* names[4] = {"lines", "regions", "roads", "notes"};
  const char* eyes[2] = {"whole grid in view", "low eye over the roads"};
  std::printf("frame 1024 x 768, median of %d pairs (%s)\n", frames,
              cpuTime ? "processor time" : "wall clock");
  std::printf("%-24s %8s %8s %8s %8s %8s %9s %12s %11s\n", "eye", "bare ms", names[0], names[1],
              names[2], names[3], "all four", "line floor", "fill floor");
  for (int e = 0; e < 2; ++e) {
    if (e == 1) {
      TnSceneInfo info{};
      tnGetSceneInfo(s.scene, s.state, &info);
      float eye[3] = {748700, 4048100, 1200 / (info.zScale > 0 ? info.zScale : 1)};
      float look[2] = {748700, 4049300};
      SetEyeCenterPosition(s.scene, s.state, eye, look);
    }
    tnDrawScene(s.scene, s.state);  // the eye settles
    double ratios[5];
    for (int k = 0; k < 4; ++k) {
      if (!layers.Load(k)) {
        std::fprintf(stderr, "layers_bench: the %s could not be loaded\n", names[k]);
        return 1;
      }
      ratios[k] = bench::PairedFrameMs(s.scene, s.state, frames, cpuTime).ratio;
      layers.Unload(k);
    }
    for (int k = 0; k < 4; ++k) layers.Load(k);
    const bench::PairedFrames all = bench::PairedFrameMs(s.scene, s.state, 3 * frames, cpuTime);
    ratios[4] = all.ratio;
    const int64_t triangles = t3d::LastRegionPassStats().triangles;
    const t3d::LinePassStats lines = t3d::LastLinePassStats();
    if (!pictures.empty() && !WritePpm(pictures + std::to_string(e) + ".ppm", s))
      std::fprintf(stderr, "layers_bench: cannot write %s%d.ppm\n", pictures.c_str(), e);
    const size_t segments = lines.vertices > lines.strips ? lines.vertices - lines.strips : 0;
    bench::FloorLines() = {int(segments), float(lines.pixels / std::max<size_t>(segments, 1))};
    const double lineFloor = bench::FloorMs(s.scene, s.state, 0, frames, cpuTime).ratio;
    const double fillFloor = bench::FloorMs(s.scene, s.state, 1, frames, cpuTime).ratio;
    for (int k = 0; k < 4; ++k) layers.Unload(k);
    std::printf("%-24s %8.1f", eyes[e], all.bare);
    for (double r : ratios) std::printf(" %7.2fx", r);
    std::printf(" %11.2fx %10.2fx\n", lineFloor, fillFloor);
    std::printf("  (all four: %lld region triangles, %zu line segments of %.1f px drawn)\n",
                static_cast<long long>(triangles), segments, double(bench::FloorLines().length));
    std::fflush(stdout);
  }
  return 0;
}
