// The line layer: the lines of one map line file, drawn over the rendered terrain in their map
// colours, thinned by the reduce-line coefficient and hidden where the drawn terrain is in front
// of them. Nothing is copied at load time. The lines thinned, with the terrain height at each
// point, are kept from frame to frame (they depend on the file, the coefficient and the terrain,
// not on the eye); every frame projects those that meet the view rectangle (the file's spatial
// index answers which) in the colour their record has then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "model/scene_object.h"
#include "model/scene_state.h"

namespace t3d {

// tnLoadMapLine: the slot must hold a usable line file whose extent meets the grid's (touching
// along an edge is enough). A file outside the grid shows the region-extent message and fails;
// any other refusal fails silently. On failure the layer loaded before, if any, stays.
bool LoadMapLine(SceneObject& scene, SceneState& state, uint16_t fileIndex);
// tnUnLoadMapLine: false when no line layer is loaded.
bool UnloadMapLine(SceneObject& scene, SceneState& state);

// The line pass of a frame, drawn with the current context, matrices and viewport over the
// terrain just drawn into it. Does nothing unless a line layer is loaded and GL is ready. The GL
// state it finds is the state it leaves.
void DrawLinePass(SceneObject& scene, SceneState& state, FrameTarget target);
// Makes the frame driver draw the line pass.
void InstallLinePass();

// ---- The parts of the pass that need no GL, for the pass and its tests ---------------------

// The clip rectangle in whole window pixels, bounds included.
struct PixelRect {
  int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
};
// Outcode of a pixel: 1 left of the rectangle, else 2 right of it; plus 4 below, else 8 above.
int Outcode(int x, int y, const PixelRect& clip);
// Clips the segment (ax, ay) to (bx, by) to the rectangle by midpoint subdivision on whole
// pixels: each end outside (the start first) moves to where the segment enters. False when the
// segment misses the rectangle.
bool ClipSegment(int& ax, int& ay, int& bx, int& by, const PixelRect& clip);

// A line point projected into the window: window x and y (pixels, not yet truncated) and its
// distance in front of the eye along the view axis (eye units; not above 0: at or behind the
// eye, never drawn).
struct ProjectedPoint {
  double x = 0, y = 0;
  double distance = 0;
};

// Whether point `index` of the line is hidden by the terrain.
using HiddenTest = std::function<bool(size_t index)>;
using StripSink = std::function<void(const float* xy, size_t count)>;

// The longest strip drawn at once, in vertices.
constexpr size_t kMaxStripVertices = 1024;

// Walks the segments of one projected line into strips of window vertices: a segment with an
// end at or behind the eye, with both ends outside the clip rectangle (even when it crosses
// it) or that misses it is not drawn and ends the strip; a segment whose start is not the last
// vertex of the strip (it was cut at the window's border) begins a new one; a point found hidden
// (points on the border are not tested) ends the strip and drops the rest of its segment.
// Strips hold at most kMaxStripVertices vertices; a longer run goes on in a new strip that
// starts with the last vertex of the one drawn. `strip` is the scratch buffer of the vertices.
void WalkLine(const ProjectedPoint* points, size_t count, const PixelRect& clip,
              const HiddenTest& hidden, const StripSink& draw, std::vector<float>& strip);

// Drops the inner points of a strip of window vertices (x, y pairs) that lie within tolerance
// pixels of the segment between the points kept around them (Douglas-Peucker); the ends stay.
// Far away a line is many short segments in a row that look like a few longer ones, and a
// software rasteriser's cost goes by the segment. Returns the number of vertices kept, moved to
// the front in their order.
size_t SimplifyStrip(float* xy, size_t count, double tolerance);
// The tolerance the pass simplifies its strips with: anti-aliased lines placed within it of where
// they were look the same.
constexpr double kStripTolerancePixels = 0.2;

// How a point is found hidden. The point is lifted straight up by as many scene units as this
// many pixels span at its distance, and is hidden when the lifted point lies beyond the terrain
// drawn at its pixel (by more than the depth buffer's step). The level of detail leaves out
// vertices that move the picture by less than a pixel, and the simplified surface strays from
// the grid by a few pixels at every distance (above it in hollows and at the foot of slopes): a
// constant depth margin would be too wide far away and too narrow near by, most of all where
// the view grazes the ground, and the lines would flicker as the eye moves. A lift of a few
// pixels keeps lines on the drawn surface from the closest to the farthest view, and a ridge
// still hides what lies more than these pixels below its crest.
constexpr double kHiddenLiftPixels = 6.0;
// Relative step of the depth buffer the comparison allows for.
constexpr double kDepthMargin = 1e-3;

// The rule of the hidden-point test: the lift above, or a fixed margin of 0.0001 in window
// depth (kept to compare the two: it flickers on zoom and lets lines show through far ridges).
enum class HiddenRule { kLifted, kFixedDepthMargin };
void SetHiddenRule(HiddenRule rule);

// Counters of the last line pass, for tests and benchmarks.
struct LinePassStats {
  size_t records = 0;       // records met by the view rectangle and read
  size_t points = 0;        // points projected
  size_t hiddenPoints = 0;  // points found hidden
  size_t strips = 0;        // strips drawn
  size_t vertices = 0;      // vertices drawn
  double pixels = 0;        // length of the segments drawn, in pixels
  // When not null, the pass notes for each point it tests, keyed by record x 2^32 + point
  // index, whether it was found hidden.
  std::unordered_map<int64_t, bool>* hiddenLog = nullptr;
};
LinePassStats& LastLinePassStats();

}  // namespace t3d
