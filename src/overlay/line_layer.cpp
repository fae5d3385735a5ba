#define GL_GLEXT_PROTOTYPES  // glMultiDrawArrays (OpenGL 1.4)
#include "overlay/line_layer.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

#include "adapters/geometry.h"
#include "adapters/map_file.h"
#include "base/messages.h"
#include "model/mesh_inputs.h"
#include "model/process_objects.h"
#include "overlay/drawn_depth.h"
#include "overlay/line_drape.h"
#include "render/frame.h"
#include "render/overlay_passes.h"

namespace t3d {

// ---- Loading ---------------------------------------------------------------------------------

bool LoadMapLine(SceneObject& scene, SceneState& state, uint16_t fileIndex) {
  double extent[4] = {0, 0, 0, 0};
  if (BaseGetFileError(fileIndex) != MAP_FILE_USABLE || BaseGetFileKind(fileIndex) != MAP_KIND_LINES ||
      BaseGetFileExtent(fileIndex, extent) < 1)
    return false;
  // Compared as the grid's extent is kept, in 32-bit floats; touching along an edge is enough.
  const float fileXMin = float(extent[0]), fileYMin = float(extent[1]);
  const float fileXMax = float(extent[2]), fileYMax = float(extent[3]);
  if (fileXMax < state.xMin || state.xMax < fileXMin || fileYMax < state.yMin ||
      state.yMax < fileYMin) {
    ShowMessage(MessageId::kRegionExtentMismatch);
    return false;
  }
  state.lineFileIndex = fileIndex;
  scene.lineLoaded = 1;
  return true;
}

// ---- Thinned lines, kept from frame to frame ------------------------------------------------


namespace {

// The lines of a file as the pass draws them: thinned, with the terrain height at every point.
// None of this depends on the eye, only on the file, the reduce-line coefficient and the
// terrain, so it is worked out when one of these changes, not every frame.
struct ThinnedLines {
  uint32_t fileSerial = 0;
  uint64_t areaSerial = 0;
  double coefficient = 0;
  GridExtent grid;
  struct Line {
    int32_t record = 0;
    uint32_t first = 0, count = 0;  // points[3 * first ...]
  };
  std::vector<Line> lines;     // by record, records without points left out
  std::vector<int32_t> lineOf;  // record -> index in lines + 1, 0 for none
  std::vector<double> points;  // map x, map y, terrain height
  std::vector<uint8_t> offGrid;
};

bool SameGrid(const GridExtent& a, const GridExtent& b) {
  return a.xMin == b.xMin && a.xMax == b.xMax && a.yMin == b.yMin && a.yMax == b.yMax &&
         a.cellSizeX == b.cellSizeX && a.cellSizeY == b.cellSizeY && a.rowCount == b.rowCount &&
         a.columnCount == b.columnCount;
}

std::mutex g_thinnedMutex;
std::shared_ptr<const ThinnedLines> g_thinned;

std::shared_ptr<const ThinnedLines> BuildThinnedLines(uint16_t slot, uint32_t fileSerial,
                                                      double coefficient, TerrainArea& area,
                                                      const GridExtent& grid) {
  auto made = std::make_shared<ThinnedLines>();
  made->fileSerial = fileSerial;
  made->areaSerial = area.serial();
  made->coefficient = coefficient;
  made->grid = grid;
  int32_t first = 0, n = 0;
  if (BaseGetRecordRange(slot, &first, &n) < 1) return made;
  const bool thinning = std::fabs(coefficient) >= 1e-6;
  const LineDrape drape(area, grid);
  made->lineOf.assign(size_t(std::max(n, 0)), 0);
  for (int32_t record = std::max(first, 1); record < n; ++record) {
    double* points = nullptr;
    int32_t count = 0;
    if (BaseGetLineGeometry(slot, record, &points, &count, nullptr, 0) < 1 || points == nullptr)
      continue;
    if (thinning && TinThinPolyline(points, &count, coefficient) == 0) continue;
    ThinnedLines::Line line;
    line.record = record;
    line.first = uint32_t(made->offGrid.size());
    // Points off the grid or in a hole have no ground under them: the pass takes them as hidden.
    auto add = [&](double x, double y, double z) {
      made->points.insert(made->points.end(), {x, y, z});
      made->offGrid.push_back(area.GroundAtPoint(grid, x, y) ? 0 : 1);
    };
    double x0 = 0, y0 = 0, z0 = 0;
    for (int32_t i = 0; i < count; ++i) {
      const double x = points[2 * i], y = points[2 * i + 1], z = area.HeightAtPoint(grid, x, y);
      if (i > 0) drape.Between(x0, y0, z0, x, y, z, add);
      add(x, y, z);
      x0 = x, y0 = y, z0 = z;
    }
    line.count = uint32_t(made->offGrid.size()) - line.first;
    made->lines.push_back(line);
    made->lineOf[size_t(record)] = int32_t(made->lines.size());
  }
  return made;
}

// The thinned lines of the file in the slot, made again only when the file, the coefficient or
// the terrain changed since they were last asked for.
std::shared_ptr<const ThinnedLines> ThinnedLinesOf(uint16_t slot, double coefficient,
                                                   TerrainArea& area, const GridExtent& grid) {
  const uint32_t serial = BaseGetFileSerial(slot);
  std::lock_guard<std::mutex> lock(g_thinnedMutex);
  const ThinnedLines* kept = g_thinned.get();
  if (kept == nullptr || kept->fileSerial != serial || kept->areaSerial != area.serial() ||
      kept->coefficient != coefficient || !SameGrid(kept->grid, grid))
    g_thinned = BuildThinnedLines(slot, serial, coefficient, area, grid);
  return g_thinned;
}

}  // namespace

bool UnloadMapLine(SceneObject& scene, SceneState& state) {
  if (scene.lineLoaded == 0) return false;
  state.lineFileIndex = 0;
  scene.lineLoaded = 0;
  std::lock_guard<std::mutex> lock(g_thinnedMutex);
  g_thinned.reset();
  return true;
}

void InstallLinePass() { FrameOverlayPasses().lines = &DrawLinePass; }

// ---- Clipping and strips -----------------------------------------------------------------------

int Outcode(int x, int y, const PixelRect& clip) {
  int code = 0;
  if (x < clip.x0) code |= 1;
  else if (x > clip.x1) code |= 2;
  if (y < clip.y0) code |= 4;
  else if (y > clip.y1) code |= 8;
  return code;
}

namespace {

// Moves the outside end a towards b until it is the first pixel of the segment inside (or on)
// the rectangle's side that a is beyond. Halves are taken on whole pixels.
void MoveInside(int& ax, int& ay, int& codeA, int bx, int by, const PixelRect& clip) {
  for (;;) {
    const int mx = int((int64_t(ax) + bx) >> 1), my = int((int64_t(ay) + by) >> 1);
    if ((mx == ax && my == ay) || (mx == bx && my == by)) break;
    const int codeM = Outcode(mx, my, clip);
    if (codeM & codeA) {
      ax = mx;
      ay = my;
      codeA = codeM;
    } else {
      bx = mx;
      by = my;
    }
  }
  // a is now the last pixel outside, b the first inside: b is where the segment enters.
  if (codeA != 0) {
    ax = bx;
    ay = by;
    codeA = Outcode(ax, ay, clip);
  }
}

}  // namespace

bool ClipSegment(int& ax, int& ay, int& bx, int& by, const PixelRect& clip) {
  int codeA = Outcode(ax, ay, clip), codeB = Outcode(bx, by, clip);
  if ((codeA | codeB) == 0) return true;
  if (codeA & codeB) return false;
  if (codeA != 0) {
    MoveInside(ax, ay, codeA, bx, by, clip);
    if (codeA & codeB) return false;
  }
  if (codeB != 0) {
    MoveInside(bx, by, codeB, ax, ay, clip);
    if (codeA & codeB) return false;
  }
  // A segment that passes a corner outside the rectangle ends with an end still outside.
  return (codeA | codeB) == 0;
}

namespace {

// Window coordinates as whole pixels; values far outside any window are held where the
// midpoint arithmetic cannot overflow (they only ever take part in being clipped away).
int PixelOf(double v) {
  constexpr double kFar = 1 << 28;
  if (std::isnan(v)) return int(kFar);
  return int(std::floor(std::clamp(v, -kFar, kFar)));
}

bool OnBorder(int x, int y, const PixelRect& clip) {
  return x == clip.x0 || x == clip.x1 || y == clip.y0 || y == clip.y1;
}

}  // namespace

size_t SimplifyStrip(float* xy, size_t count, double tolerance) {
  if (count <= 2) return count;
  std::vector<uint8_t> keep(count, 0);
  keep[0] = keep[count - 1] = 1;
  std::vector<std::pair<size_t, size_t>> spans{{0, count - 1}};
  const double limit = tolerance * tolerance;
  while (!spans.empty()) {
    const auto [a, b] = spans.back();
    spans.pop_back();
    const double ax = xy[2 * a], ay = xy[2 * a + 1];
    const double dx = xy[2 * b] - ax, dy = xy[2 * b + 1] - ay;
    const double length2 = dx * dx + dy * dy;
    double farthest = -1;
    size_t at = a;
    for (size_t i = a + 1; i < b; ++i) {
      const double px = xy[2 * i] - ax, py = xy[2 * i + 1] - ay;
      // Squared distance to the segment (to its nearer end beyond the ends).
      const double t = length2 > 0 ? std::clamp((px * dx + py * dy) / length2, 0.0, 1.0) : 0.0;
      const double ex = px - t * dx, ey = py - t * dy;
      const double d2 = ex * ex + ey * ey;
      if (d2 > farthest) farthest = d2, at = i;
    }
    if (farthest > limit) {
      keep[at] = 1;
      if (at - a > 1) spans.push_back({a, at});
      if (b - at > 1) spans.push_back({at, b});
    }
  }
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    if (keep[i] == 0) continue;
    xy[2 * kept] = xy[2 * i];
    xy[2 * kept + 1] = xy[2 * i + 1];
    ++kept;
  }
  return kept;
}

void WalkLine(const ProjectedPoint* points, size_t count, const PixelRect& clip,
              const HiddenTest& hidden, const StripSink& draw, std::vector<float>& strip) {
  strip.clear();
  auto flush = [&] {
    if (!strip.empty()) draw(strip.data(), strip.size() / 2);
    strip.clear();
  };
  auto add = [&](int x, int y) {
    strip.push_back(float(x));
    strip.push_back(float(y));
  };
  for (size_t i = 0; i + 1 < count; ++i) {
    const ProjectedPoint& a = points[i];
    const ProjectedPoint& b = points[i + 1];
    if (!(a.distance > 0) || !(b.distance > 0)) {
      flush();
      continue;
    }
    int ax = PixelOf(a.x), ay = PixelOf(a.y), bx = PixelOf(b.x), by = PixelOf(b.y);
    const bool aInside = Outcode(ax, ay, clip) == 0, bInside = Outcode(bx, by, clip) == 0;
    if ((!aInside && !bInside) || !ClipSegment(ax, ay, bx, by, clip)) {
      flush();
      continue;
    }
    if (strip.size() / 2 >= kMaxStripVertices) {
      const float lastX = strip[strip.size() - 2], lastY = strip[strip.size() - 1];
      flush();
      strip.push_back(lastX);
      strip.push_back(lastY);
    }
    const bool continues = !strip.empty() && strip[strip.size() - 2] == float(ax) &&
                           strip[strip.size() - 1] == float(ay);
    if (!continues) {
      // A start that is not where the strip ends (the line came back into the window, or the
      // strip was ended) begins a new strip: joining them would draw a segment the line has not.
      flush();
      if (aInside && !OnBorder(ax, ay, clip) && hidden(i)) continue;
      add(ax, ay);
    }
    // An end on the pixel the strip already ends on adds nothing to the picture (far away,
    // many points of a line share a pixel); the next segment goes on from that pixel.
    if (strip.size() >= 2 && strip[strip.size() - 2] == float(bx) &&
        strip[strip.size() - 1] == float(by))
      continue;
    if (bInside && !OnBorder(bx, by, clip) && hidden(i + 1)) {
      flush();
      continue;
    }
    add(bx, by);
  }
  flush();
}

// ---- The pass ------------------------------------------------------------------------------

namespace {

HiddenRule g_hiddenRule = HiddenRule::kLifted;

// Restores on exit the GL state the pass changes: enables, blending, colour, matrices.
class PassState {
 public:
  explicit PassState(bool lit) {
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_LINE_BIT |
                 GL_LIGHTING_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    if (lit) {
      // Over a textured surface the lines take the scene's light; the normal faces the eye so
      // that the light they take does not depend on what was drawn before.
      glEnable(GL_LIGHTING);
      glEnable(GL_COLOR_MATERIAL);
      glNormal3f(0, 0, 1);
    } else {
      glDisable(GL_LIGHTING);
    }
  }
  ~PassState() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
  }
  PassState(const PassState&) = delete;
  PassState& operator=(const PassState&) = delete;

  // Window pixels as vertices: identity model-view, orthographic projection of the viewport.
  void PixelProjection(int width, int height) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, width - 1, 0, height - 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
  }
};

}  // namespace

void SetHiddenRule(HiddenRule rule) { g_hiddenRule = rule; }

LinePassStats& LastLinePassStats() {
  static LinePassStats stats;
  return stats;
}

void DrawLinePass(SceneObject& scene, SceneState& state, FrameTarget /*target*/) {
  TerrainArea* area = g_process.terrainArea.get();
  if (state.glReady != 1 || scene.lineLoaded == 0 || area == nullptr) return;
  LinePassStats& stats = LastLinePassStats();
  stats.records = stats.points = stats.hiddenPoints = stats.strips = stats.vertices = 0;
  stats.pixels = 0;
  const uint16_t slot = state.lineFileIndex;
  int32_t first = 0, n = 0;
  if (BaseGetRecordRange(slot, &first, &n) < 1) return;

  const double coefficient = state.reduceLineCoefficient;
  GLint viewport[4] = {0, 0, 0, 0};
  glGetDoublev(GL_MODELVIEW_MATRIX, scene.overlayModelView);
  glGetDoublev(GL_PROJECTION_MATRIX, scene.overlayProjection);
  glGetIntegerv(GL_VIEWPORT, viewport);
  const int width = viewport[2], height = viewport[3];
  if (width <= 0 || height <= 0) return;
  scene.viewportHalfWidth = width >> 1;
  scene.viewportHalfHeight = height >> 1;
  scene.viewportCentreX = viewport[0] + scene.viewportHalfWidth;
  scene.viewportCentreY = viewport[1] + scene.viewportHalfHeight;
  const PixelRect clip{0, width - 1, 0, height - 1};

  PassState passState(state.surfaceDisplayMode == 0);
  passState.PixelProjection(width, height);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);

  double combined[16];
  Multiply(scene.overlayProjection, scene.overlayModelView, combined);
  // Scene units one pixel spans at distance 1 along the view axis (the lift of the hidden test
  // is this times the distance).
  const double pixelSpan = scene.overlayProjection[5] != 0
                               ? 2.0 / (std::fabs(scene.overlayProjection[5]) * height)
                               : 0.0;
  DrawnDepth drawn(viewport, scene.overlayProjection);
  const GridExtent grid = GridOf(state);
  const SceneOrigin origin = OriginOf(grid);
  const double halfWidth = scene.viewportHalfWidth, halfHeight = scene.viewportHalfHeight;
  const double centreX = scene.viewportCentreX, centreY = scene.viewportCentreY;
  auto window = [&](const Clip4& c) {
    const double w = std::fabs(c.w);
    return ProjectedPoint{centreX + halfWidth * c.x / w, centreY + halfHeight * c.y / w, c.w};
  };

  std::vector<ProjectedPoint> projected;
  std::vector<Clip4> clip4;  // the points' clip coordinates, for the hidden test's lift
  std::vector<uint8_t> offGrid;
  std::vector<float>& strip = scene.overlayVertexBuffer;
  strip.reserve(2 * kMaxStripVertices);
  // The strips of the pass are gathered with their colours and drawn together, as line strips
  // in one multiple draw (each point sent once): a software rasteriser sets up anti-aliased
  // lines anew for every draw, which costs far more than the segments themselves. The picture
  // is that of the strips drawn one by one.
  std::vector<float> segments;  // x, y, red, green, blue, alpha per vertex
  float colour[4] = {0, 0, 1, 1};
  std::vector<GLint> firsts;
  std::vector<GLsizei> counts;
  auto drawSegments = [&] {
    if (segments.empty()) return;
    glVertexPointer(2, GL_FLOAT, 6 * sizeof(float), segments.data());
    glColorPointer(4, GL_FLOAT, 6 * sizeof(float), segments.data() + 2);
    glMultiDrawArrays(GL_LINE_STRIP, firsts.data(), counts.data(), GLsizei(firsts.size()));
    segments.clear();
    firsts.clear();
    counts.clear();
  };
  std::vector<float> simplified;
  const StripSink draw = [&](const float* points, size_t count) {
    simplified.assign(points, points + 2 * count);
    count = SimplifyStrip(simplified.data(), count, kStripTolerancePixels);
    const float* xy = simplified.data();
    ++stats.strips;
    stats.vertices += count;
    if (count < 2) return;
    firsts.push_back(GLint(segments.size() / 6));
    counts.push_back(GLsizei(count));
    for (size_t end = 0; end < count; ++end) {
      segments.insert(segments.end(), {xy[2 * end], xy[2 * end + 1]});
      segments.insert(segments.end(), colour, colour + 4);
      if (end > 0) stats.pixels += std::hypot(xy[2 * end] - xy[2 * end - 2], xy[2 * end + 1] - xy[2 * end - 1]);
    }
    if (segments.size() >= 6 * 65536) drawSegments();
  };
  const double viewRect[4] = {scene.viewRect.xMin, scene.viewRect.yMin, scene.viewRect.xMax,
                              scene.viewRect.yMax};
  int32_t record = 0;
  const HiddenTest hidden = [&](size_t i) {
    const ProjectedPoint& p = projected[i];
    const int px = PixelOf(p.x), py = PixelOf(p.y);
    bool isHidden;
    if (g_hiddenRule == HiddenRule::kFixedDepthMargin) {
      // Window depth of the point against the depth drawn at its pixel.
      const Clip4& c = clip4[i];
      const double depth = ((c.w != 0 ? c.z / std::fabs(c.w) : 0) + 1) / 2;
      isHidden = depth - drawn.At(px, py) > 0.0001;
    } else if (offGrid[i] != 0 || !drawn.GroundBelow(px, py, int(kHiddenLiftPixels))) {
      // Off the grid, or where no terrain was drawn at the point nor within the lift below it,
      // the line has nothing to lie on (it would hang in the sky at made-up heights).
      isHidden = true;
    } else {
      // A lifted point outside the window or at the eye is taken as seen. The projection is
      // linear in z, so the lift adds a multiple of the combined matrix's z column to the
      // point's clip coordinates.
      const Clip4& c = clip4[i];
      const double dz = kHiddenLiftPixels * pixelSpan * std::max(c.w, 0.0);
      const ProjectedPoint up = window(Clip4{c.x + combined[8] * dz, c.y + combined[9] * dz,
                                             c.z + combined[10] * dz, c.w + combined[11] * dz});
      const int x = up.distance > 0 ? PixelOf(up.x) : -1, y = up.distance > 0 ? PixelOf(up.y) : -1;
      isHidden = Outcode(x, y, clip) == 0 &&
                 up.distance > drawn.DistanceOf(drawn.At(x, y)) * (1 + kDepthMargin);
    }
    if (isHidden) ++stats.hiddenPoints;
    if (stats.hiddenLog != nullptr)
      (*stats.hiddenLog)[(int64_t(record) << 32) + int64_t(i)] = isHidden;
    return isHidden;
  };

  const std::shared_ptr<const ThinnedLines> thinned = ThinnedLinesOf(slot, coefficient, *area, grid);
  for (const ThinnedLines::Line& line : thinned->lines) {
    record = line.record;
    if (BaseRecordInRect(slot, record, viewRect) < 1) continue;
    ++stats.records;
    int32_t colourNumber = MAP_NO_COLOUR, red = 0, green = 0, blue = 0;
    BaseGetRegionColor(slot, record, &colourNumber);
    if (MapGetColorRGB(colourNumber, &red, &green, &blue) != 0)
      colour[0] = float(red) / 255, colour[1] = float(green) / 255, colour[2] = float(blue) / 255;
    else
      colour[0] = 0, colour[1] = 0, colour[2] = 1;

    const double* points = thinned->points.data() + 3 * size_t(line.first);
    const uint8_t* lineOffGrid = thinned->offGrid.data() + line.first;
    projected.resize(line.count);
    clip4.resize(line.count);
    offGrid.assign(lineOffGrid, lineOffGrid + line.count);
    for (size_t i = 0; i < projected.size(); ++i) {
      const double x = origin.SceneX(points[3 * i]), y = origin.SceneY(points[3 * i + 1]);
      clip4[i] = Transform(combined, x, y, points[3 * i + 2]);
      projected[i] = window(clip4[i]);
    }
    if (g_hiddenRule == HiddenRule::kLifted) {
      // A point over the sky with terrain drawn within the lift below it counts as on the
      // ground (the far surface is drawn coarser than the line's heights, and its silhouette
      // falls a few pixels short of them): it is drawn on the silhouette, not over the sky.
      for (ProjectedPoint& p : projected) {
        const int px = PixelOf(p.x), py = PixelOf(p.y);
        if (!(p.distance > 0) || Outcode(px, py, clip) != 0 || drawn.At(px, py) < 1.0f) continue;
        // The nearest row below with terrain at the point or beside it, as the test finds it.
        int k = 1;
        while (k <= int(kHiddenLiftPixels) && !drawn.GroundBelow(px, py - k, 0)) ++k;
        if (k <= int(kHiddenLiftPixels)) p.y = py - k + 0.5;
      }
    }
    stats.points += projected.size();
    WalkLine(projected.data(), projected.size(), clip, hidden, draw, strip);
  }
  drawSegments();
}

}  // namespace t3d
