// The note layer's cost: the frame time at 1024 x 768 with notes in view against the bare
// terrain frame from the same eye, and what the glyph cache saves.
//
//   note_bench [--notes N] [--frames N] [--size POINTS] [--dir DIR]
//
// A 1024 x 1024 synthetic grid of 10 m cells is written with N notes (default 24) spread over
// it, named in turn in Chinese and in Latin letters. Frames are drawn from the south, high up,
// with the whole grid in view. The glyph cache is measured on the texts of the notes: laying
// them all out with the layer's font (every glyph already rendered) against doing it with a
// font opened afresh (every glyph rendered again), and opening the font alone.
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "adapters/map_file.h"
#include "bench_grids.h"
#include "model/process_objects.h"
#include "overlay/note_layer.h"
#include "overlay/note_surface.h"
#include "terrain3d/terrain3d.h"
#include "bench_frames.h"

namespace {

using bench::Ms;
using Clock = bench::Clock;


const char* const kNames[] = {"高程点", "Cross Mountain", "望月峰", "Pine Knob", "松岭",
                              "Bear Ridge", "云台山", "Fork Peak", "石门顶", "Lone Top"};

// Writes n points spread over the grid's extent as GeoJSON.
bool WriteNotes(const std::string& path, int n, double xMin, double yMin, double xMax, double yMax) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return false;
  std::fputs("{\"type\":\"FeatureCollection\",\"features\":[", f);
  const int across = std::max(1, int(std::ceil(std::sqrt(double(n)))));
  for (int i = 0; i < n; ++i) {
    const double x = xMin + (xMax - xMin) * (0.5 + i % across) / across;
    const double y = yMin + (yMax - yMin) * (0.5 + i / across) / across;
    std::fprintf(f, "%s{\"type\":\"Feature\",\"properties\":{\"name\":\"%s %d\",\"colour\":%d},"
                 "\"geometry\":{\"type\":\"Point\",\"coordinates\":[%.3f,%.3f]}}",
                 i > 0 ? "," : "", kNames[i % 10], 100 + i, i % 2 == 0 ? 1 : 7, x, y);
  }
  std::fputs("]}", f);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 10, notes = 24, size = 12;
  std::string dir = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--frames" && i + 1 < argc) frames = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--notes" && i + 1 < argc) notes = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--size" && i + 1 < argc) size = std::clamp(std::atoi(argv[++i]), 0, 30);
    else if (arg == "--dir" && i + 1 < argc) dir = argv[++i];
    else {
      std::fprintf(stderr, "usage: note_bench [--notes N] [--frames N] [--size POINTS] [--dir DIR]\n");
      return 2;
    }
  }
  setenv("TERRAIN3D_WORK_DIR", dir.c_str(), 0);
  const std::string grid = dir + "/t3d-notes-grid.tif", points = dir + "/t3d-notes.geojson";
  if (!bench::WriteRaster(grid, 1024, 1, [](int, int x, int y) { return bench::Landscape(x, y); })) {
    std::fprintf(stderr, "cannot write %s\n", grid.c_str());
    return 1;
  }

  bench::HeadlessScene s;
  if (!s.Open(grid, 1024, 768, false)) {
    std::fprintf(stderr, "cannot prepare the grid\n");
    return 1;
  }
  void* const scene = s.scene;
  void* const state = s.state;
  TnSceneInfo info{};
  tnGetSceneInfo(scene, state, &info);
  if (!WriteNotes(points, notes, info.grid.xMin, info.grid.yMin, info.grid.xMax, info.grid.yMax)) {
    std::fprintf(stderr, "cannot write %s\n", points.c_str());
    return 1;
  }
  TnFontParams font{};
  std::strcpy(font.face, "楷体_GB2312");
  font.size = int16_t(size);
  SetFontParam(scene, state, &font);
  std::vector<TnNoteDescriptor> descriptors(static_cast<size_t>(notes));
  for (int i = 0; i < notes; ++i) descriptors[size_t(i)] = TnNoteDescriptor{i + 1, 20, 1, 1e30};
  const auto loadStart = Clock::now();
  const uint16_t slot = tnMapOpen(points.c_str(), nullptr, nullptr, nullptr);
  const bool loaded = slot > 0 && tnLoadMapNote(scene, state, slot, descriptors.data(), notes) == TN_OK;
  const double loadMs = Ms(loadStart);
  if (!loaded) {
    std::fprintf(stderr, "cannot load %s: %s\n", points.c_str(), tnMapLastError());
    return 1;
  }
  std::printf("%d notes, font size %d (surface %d x %d); open and load %.1f ms\n", notes, size,
              t3d::SurfaceSizeFor(int16_t(size)), t3d::SurfaceSizeFor(int16_t(size)), loadMs);

  // The whole grid in view: from the south, high up, looking at its centre.
  const float cx = float((info.grid.xMin + info.grid.xMax) / 2);
  const float cy = float((info.grid.yMin + info.grid.yMax) / 2);
  const float span = float(info.grid.yMax - info.grid.yMin);
  float eye[3] = {cx, cy - 0.9f * span, float(6000 / info.zScale)};
  float centre[2] = {cx, cy};
  SetEyeCenterPosition(scene, state, eye, centre);

  // Bare and noted frames drawn in turns (bench::PairedFrameMs).
  std::printf("%-26s %9s %9s %7s %7s %8s\n", "frame", "ms", "ratio", "drawn", "hidden", "skipped");
  const bench::PairedFrames paired = bench::PairedFrameMs(scene, state, 5 * frames);
  const t3d::NotePassStats stats = t3d::LastNotePassStats();
  std::printf("%-26s %9.1f %9s\n", "bare terrain", paired.bare, "1.00");
  std::printf("%-26s %9.1f %9.2f %7zu %7zu %8zu\n", "notes (median of pairs)", paired.overlaid,
              paired.ratio, stats.drawn, stats.hidden, stats.skipped);

  // The glyph cache: every note's text laid out once per pass, 20 passes.
  t3d::NoteSurface& surface = t3d::g_process.overlayStore->notes.surface;
  std::vector<std::string> texts;
  for (int i = 0; i < notes; ++i) {
    double point[2];
    const char* text = nullptr;
    if (BaseGetNote(slot, i + 1, point, &text, nullptr, nullptr) == MAP_OK) texts.emplace_back(text);
  }
  constexpr int kPasses = 20;
  auto pass = [&](t3d::NoteSurface& s) {
    for (const std::string& text : texts) t3d::RenderNoteText(s, text.c_str(), 0xFFFFFF, false);
  };
  auto start = Clock::now();
  for (int k = 0; k < kPasses; ++k) pass(surface);
  const double cached = Ms(start) / kPasses;
  t3d::SceneState& block = *static_cast<t3d::SceneState*>(state);
  double opening = 0, fresh = 0;
  for (int k = 0; k < kPasses; ++k) {
    t3d::NoteSurface cold;
    start = Clock::now();
    t3d::MakeNoteSurface(block, cold);
    opening += Ms(start);
    pass(cold);
    fresh += Ms(start);
  }
  uint64_t rendered = 0, reused = 0;
  FontCacheStats(surface.font.get(), &rendered, &reused);
  std::printf("texts of all notes, per pass: %.2f ms with the glyph cache warm, %.2f ms with a font\n"
              "opened afresh (%.2f ms of it opening the font and making the surface); the layer's\n"
              "font rendered %llu glyphs and served %llu lookups from its cache\n",
              cached, fresh / kPasses, opening / kPasses, static_cast<unsigned long long>(rendered),
              static_cast<unsigned long long>(reused));

  tnUnLoadMapNote(scene, state, slot);
  tnMapClose(slot);
  std::remove(grid.c_str());
  std::remove(points.c_str());
  return 0;
}
