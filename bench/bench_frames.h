// What the frame benchmarks share: a scene prepared on a headless window, and frame timing.
#pragma once

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "terrain3d/terrain3d.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// The processor time of the whole process (the rasteriser's threads included), in ms: other
// work on a shared machine leaves it alone where it moves wall-clock times.
inline double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// A message handler that answers No without a word.
inline int TN_CALL Quiet(void*, int, unsigned, const char*, const char*) { return TN_IDNO; }

// A scene on a headless window of its own, prepared on a grid file.
struct HeadlessScene {
  void* scene = nullptr;
  void* state = nullptr;
  TnNativeWindow window{};
  std::vector<uint8_t> pixels;
  int dem = 0;

  HeadlessScene() = default;
  HeadlessScene(const HeadlessScene&) = delete;
  HeadlessScene& operator=(const HeadlessScene&) = delete;
  ~HeadlessScene() {
    if (scene != nullptr) {
      tnRelease3DScene(scene, state);
      tnDeleteTin3DDraw(scene, state);
    }
    if (dem > 0) tnDemClose(dem);
  }
  // hostPixels: each frame is copied into a host buffer, as a host that shows it would have it;
  // without, frames stay in the GL's memory.
  bool Open(const std::string& grid, int width, int height, bool hostPixels = true) {
    if (hostPixels) pixels.assign(size_t(width) * size_t(height) * 4, 0);
    window.kind = TN_WINDOW_HEADLESS;
    window.width = width;
    window.height = height;
    window.pixels = hostPixels ? pixels.data() : nullptr;
    if (tnCreateTin3DDraw(&scene, &state) != TN_OK) return false;
    if (tnInitial3DScene(scene, state, &window) != TN_OK) return false;
    tnReshape(scene, state, width, height);
    dem = tnDemOpen(grid.c_str());
    return dem > 0 && tnPrepare3DScene(scene, state, dem) == TN_OK;
  }
};

// The median time of `frames` finished frames after one not counted: wall-clock, or the
// process's processor time when cpuTime is set.
inline double FrameMs(void* scene, void* state, int frames, bool cpuTime = false) {
  tnDrawScene(scene, state);
  glFinish();
  std::vector<double> times;
  for (int f = 0; f < frames; ++f) {
    const auto start = Clock::now();
    const double cpuStart = CpuMs();
    tnDrawScene(scene, state);
    glFinish();
    times.push_back(cpuTime ? CpuMs() - cpuStart : Ms(start));
  }
  return Median(times);
}

}  // namespace bench
