// What the frame benchmarks share: a scene prepared on a headless window, and frame timing.
#pragma once

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "render/overlay_passes.h"
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

// One finished frame: wall-clock ms, or the process's processor time when cpuTime is set.
inline double TimedFrame(void* scene, void* state, bool cpuTime) {
  const auto start = Clock::now();
  const double cpuStart = CpuMs();
  tnDrawScene(scene, state);
  glFinish();
  return cpuTime ? CpuMs() - cpuStart : Ms(start);
}

// The median time of `frames` finished frames after one not counted.
inline double FrameMs(void* scene, void* state, int frames, bool cpuTime = false) {
  TimedFrame(scene, state, cpuTime);
  std::vector<double> times;
  for (int f = 0; f < frames; ++f) times.push_back(TimedFrame(scene, state, cpuTime));
  return Median(times);
}

// Bare and overlaid frames from the same eye, drawn in turns: the overlay passes are taken out
// of the frame for the bare one and put back for the other, so that both see the same machine
// from moment to moment (a shared machine moves a 2-10 ms frame by tens of per cent between
// runs). The order within a pair alternates. ratio is the median of the pairs' ratios.
struct PairedFrames {
  double bare = 0, overlaid = 0, ratio = 0;
};

inline PairedFrames PairedFrameMs(void* scene, void* state, int pairs, bool cpuTime = false) {
  t3d::OverlayPasses& passes = t3d::FrameOverlayPasses();
  const t3d::OverlayPasses overlays = passes;
  std::vector<double> bare, overlaid, ratios;
  auto frame = [&](bool withOverlays) {
    passes = withOverlays ? overlays : t3d::OverlayPasses{};
    return TimedFrame(scene, state, cpuTime);
  };
  frame(false);
  frame(true);  // warm up (the overlays' first frame fills their caches)
  for (int p = 0; p < pairs; ++p) {
    double b, o;
    if (p % 2 == 0) {
      b = frame(false);
      o = frame(true);
    } else {
      o = frame(true);
      b = frame(false);
    }
    bare.push_back(b);
    overlaid.push_back(o);
    ratios.push_back(b > 0 ? o / b : 0);
  }
  passes = overlays;
  return {Median(bare), Median(overlaid), Median(ratios)};
}

// Floors of a layer drawn over the picture: in place of the overlay passes, n x n translucent
// quads over the window, drawn in one call from arrays made once (n = 1: one quad over the whole
// window, blended once into every pixel; n = 100: 10,000 quads each 0.8 of its cell across,
// covering 64 % of the window). The ratio to the bare frame is what the rasteriser spends on that
// fill and that many faces, before a layer's own work: its tests, block reads and draw calls.
inline int& FloorQuadsAcross() {
  static int n = 1;
  return n;
}

// The floor of a line layer: count anti-aliased one-pixel segments of `length` pixels, blended,
// in one call (strips of 16 segments in a zig-zag, spread over the window), without the layer's
// read-back of the terrain's depth or its tests.
struct LineFloor {
  int segments = 0;
  float length = 10;
};
inline LineFloor& FloorLines() {
  static LineFloor floor;
  return floor;
}

// The GL state of a floor pass, put back when it ends: blending over the picture without depth
// test, light, texture, fog, culling or alpha test, an identity model-view and the projection
// given (pixels of the viewport when pixels is set, else the unit square).
class FloorState {
 public:
  explicit FloorState(bool pixels) {
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_LINE_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    for (GLenum off : {GL_DEPTH_TEST, GL_LIGHTING, GL_TEXTURE_2D, GL_CULL_FACE, GL_FOG, GL_ALPHA_TEST})
      glDisable(off);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    if (pixels) glOrtho(0, viewport[2] - 1, 0, viewport[3] - 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glEnableClientState(GL_VERTEX_ARRAY);
  }
  ~FloorState() {
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopClientAttrib();
    glPopAttrib();
  }
  FloorState(const FloorState&) = delete;
  FloorState& operator=(const FloorState&) = delete;
};

inline void LineFloorPass(t3d::SceneObject&, t3d::SceneState&, t3d::FrameTarget) {
  static std::vector<float> points;
  static std::vector<GLint> firsts;
  static std::vector<GLsizei> counts;
  static LineFloor made;
  const LineFloor want = FloorLines();
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  const int strips = (want.segments + 15) / 16;
  if (want.segments != made.segments || want.length != made.length) {
    made = want;
    points.clear();
    firsts.clear();
    counts.clear();
    const int across = std::max(1, int(std::sqrt(double(strips)) + 0.5));
    const float cellX = float(viewport[2]) / across, cellY = float(viewport[3]) / across;
    for (int s = 0; s < strips; ++s) {
      float x = (s % across) * cellX + 2, y = (s / across % across) * cellY + 2;
      firsts.push_back(GLint(points.size() / 2));
      const int n = std::min(16, want.segments - 16 * s);
      for (int k = 0; k <= n; ++k) {
        points.insert(points.end(), {x, y});
        x += want.length * 0.8f;
        y += (k % 2 == 0 ? 1 : -1) * want.length * 0.6f;
      }
      counts.push_back(n + 1);
    }
  }
  const FloorState floorState(true);
  glEnable(GL_LINE_SMOOTH);
  glColor4f(0.0f, 0.0f, 1.0f, 1.0f);
  glVertexPointer(2, GL_FLOAT, 0, points.data());
  glMultiDrawArrays(GL_LINE_STRIP, firsts.data(), counts.data(), GLsizei(firsts.size()));
}

inline void FloorPass(t3d::SceneObject&, t3d::SceneState&, t3d::FrameTarget) {
  static std::vector<float> corners;
  static int madeFor = 0;
  const int n = FloorQuadsAcross();
  if (madeFor != n) {
    corners.clear();
    const float cell = 2.0f / float(n), side = n == 1 ? cell : 0.8f * cell;
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        const float x = -1 + i * cell, y = -1 + j * cell;
        corners.insert(corners.end(), {x, y, x + side, y, x + side, y + side, x, y + side});
      }
    }
    madeFor = n;
  }
  const FloorState floorState(false);
  glColor4f(0.2f, 0.4f, 1.0f, 0.5f);
  glVertexPointer(2, GL_FLOAT, 0, corners.data());
  glDrawArrays(GL_QUADS, 0, GLsizei(corners.size() / 2));
}

// quadsAcross > 0: the quads' floor; 0: the lines' floor as FloorLines() holds it.
inline PairedFrames FloorMs(void* scene, void* state, int quadsAcross, int pairs,
                            bool cpuTime = false) {
  t3d::OverlayPasses& passes = t3d::FrameOverlayPasses();
  const t3d::OverlayPasses overlays = passes;
  passes = t3d::OverlayPasses{};
  passes.lines = quadsAcross > 0 ? &FloorPass : &LineFloorPass;
  FloorQuadsAcross() = quadsAcross;
  const PairedFrames floor = PairedFrameMs(scene, state, pairs, cpuTime);
  passes = overlays;
  return floor;
}

}  // namespace bench
