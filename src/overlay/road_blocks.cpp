// Road ribbons built into road blocks.
#include "overlay/road_blocks.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace t3d {
namespace {

void PutU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

bool OnGrid(const GridExtent& grid, double x, double y) {
  return x >= grid.xMin && x <= grid.xMax && y >= grid.yMin && y <= grid.yMax;
}

// Twice the signed area of triangle a, b, c: positive when it turns counter-clockwise.
double Turn(double ax, double ay, double bx, double by, double cx, double cy) {
  return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

}  // namespace

RoadBlockWriter::RoadBlockWriter(platform::File& file, uint8_t* block, uint32_t* nextBlock)
    : file_(file), block_(block), nextBlock_(nextBlock) {
  std::memset(block_, 0, RoadBlock::kBytes);
}

void RoadBlockWriter::CloseSpan() {
  if (!inRoad_ || vertices_ <= spanVertex_) return;
  RoadSpan span;
  span.block = uint32_t(numbers_.size());  // this writer's ordinal until the block is written
  span.firstVertex = uint16_t(spanVertex_);
  span.vertexCount = uint16_t(vertices_ - spanVertex_);
  span.firstIndex = uint16_t(spanIndex_);
  span.indexCount = uint16_t(indices_ - spanIndex_);
  open_.push_back(span);
}

bool RoadBlockWriter::Flush() {
  CloseSpan();
  PutU16(block_, uint16_t(vertices_));
  PutU16(block_ + 2, uint16_t(indices_));
  if (!file_.Append(block_, RoadBlock::kBytes)) return false;
  numbers_.push_back((*nextBlock_)++);
  std::memset(block_, 0, RoadBlock::kBytes);
  vertices_ = indices_ = 0;
  spanVertex_ = spanIndex_ = 0;
  return true;
}

void RoadBlockWriter::BeginRoad() {
  inRoad_ = true;
  spanVertex_ = vertices_;
  spanIndex_ = indices_;
  open_.clear();
}

void RoadBlockWriter::EndRoad(std::vector<RoadSpan>& spans) {
  CloseSpan();
  inRoad_ = false;
  spans.insert(spans.end(), open_.begin(), open_.end());
  open_.clear();
}

bool RoadBlockWriter::AddQuad(const float vertices[4][RoadBlock::kFloats]) {
  if (vertices_ > RoadBlock::kFullAbove && !Flush()) return false;
  float* out = reinterpret_cast<float*>(block_ + RoadBlock::kVertexOffset) +
               size_t(vertices_) * RoadBlock::kFloats;
  for (int k = 0; k < 4; ++k) {
    std::memcpy(out + k * RoadBlock::kFloats, vertices[k], sizeof(float) * RoadBlock::kFloats);
  }
  uint8_t* index = block_ + RoadBlock::kIndexOffset + size_t(indices_) * 2;
  const int b = vertices_;
  for (int offset : {0, 1, 2, 2, 1, 3}) {
    PutU16(index, uint16_t(b + offset));
    index += 2;
  }
  vertices_ += 4;
  indices_ += 6;
  return true;
}

bool RoadBlockWriter::Finish() { return vertices_ == 0 || Flush(); }

double ShortestSegment(const double* points, int32_t count) {
  double shortest = 0;
  for (int32_t i = 0; i + 1 < count; ++i) {
    const double d = std::hypot(points[2 * i + 2] - points[2 * i], points[2 * i + 3] - points[2 * i + 1]);
    if (d > 0 && (shortest == 0 || d < shortest)) shortest = d;
  }
  return shortest;
}

int RepeatsAlong(double length, double shortest, int repeats) {
  if (!(shortest > 0) || !(length > 0)) return 1;
  const double t = std::floor(length / shortest * repeats);
  // Truncated to a 16-bit count: a segment thousands of times longer than the shortest one
  // keeps the largest count instead of wrapping round to a small or negative one.
  if (!(t >= 1)) return 1;
  return t > 32767 ? 32767 : int(t);
}

bool AddRibbon(const double* centre, const double* left, const double* right, int32_t count,
               const RibbonSettings& s, RoadBlockWriter& writer, double* rise) {
  const double shortest = ShortestSegment(centre, count);
  if (!(shortest > 0)) return true;
  const SceneOrigin& o = s.origin;
  auto height = [&s](double x, double y) { return s.height != nullptr ? s.height(s.context, x, y) : 0.0; };
  // Heights of the current segment's start points, carried over from the end of the last one.
  double startLeft = height(left[0], left[1]);
  double startRight = height(right[0], right[1]);
  for (int32_t i = 0; i + 1 < count; ++i) {
    const double* l0 = left + 2 * i;
    const double* l1 = l0 + 2;
    const double* r0 = right + 2 * i;
    const double* r1 = r0 + 2;
    const double length = std::hypot(centre[2 * i + 2] - centre[2 * i], centre[2 * i + 3] - centre[2 * i + 1]);
    if (!(length > 0)) {
      // A repeated point makes no quad; the next segment starts at its edge points.
      startLeft = height(l1[0], l1[1]);
      startRight = height(r1[0], r1[1]);
      continue;
    }
    const double t = RepeatsAlong(length, shortest, s.repeats);
    const double longest = std::max(std::hypot(l1[0] - l0[0], l1[1] - l0[1]),
                                    std::hypot(r1[0] - r0[0], r1[1] - r0[1]));
    const double parts = s.step > 0 ? std::ceil(longest / s.step) : 1;
    const int n = !(parts > 1) ? 1 : (parts > kMaxRoadPieces ? kMaxRoadPieces : int(parts));
    double lx0 = l0[0], ly0 = l0[1], rx0 = r0[0], ry0 = r0[1];
    double lz0 = startLeft, rz0 = startRight;
    for (int j = 1; j <= n; ++j) {
      const double f = double(j) / n;
      const double lx1 = j == n ? l1[0] : l0[0] + f * (l1[0] - l0[0]);
      const double ly1 = j == n ? l1[1] : l0[1] + f * (l1[1] - l0[1]);
      const double rx1 = j == n ? r1[0] : r0[0] + f * (r1[0] - r0[0]);
      const double ry1 = j == n ? r1[1] : r0[1] + f * (r1[1] - r0[1]);
      const double lz1 = height(lx1, ly1), rz1 = height(rx1, ry1);
      const bool onGrid = (s.grid.xMax > s.grid.xMin
                               ? OnGrid(s.grid, lx0, ly0) && OnGrid(s.grid, lx1, ly1) &&
                                     OnGrid(s.grid, rx0, ry0) && OnGrid(s.grid, rx1, ry1)
                               : true) &&
                          std::isfinite(lz0) && std::isfinite(lz1) && std::isfinite(rz0) &&
                          std::isfinite(rz1);
      if (onGrid && rise != nullptr && s.sampleStep > 0) {
        // How far the ground between the piece's corners strays from its edges, up or down.
        const double along = std::max(std::hypot(lx1 - lx0, ly1 - ly0), std::hypot(rx1 - rx0, ry1 - ry0));
        const int samples = int(std::min(256.0, std::ceil(along / s.sampleStep)));
        // A piece over a hole (a height that is not a number) strays without bound: the road is
        // then never drawn from a set whose pieces would bridge the hole.
        auto stray = [](double ground, double piece) {
          return std::isfinite(ground) ? std::fabs(ground - piece) : HUGE_VAL;
        };
        for (int q = 1; q < samples; ++q) {
          const double f = double(q) / samples;
          *rise = std::max(*rise, stray(height(lx0 + f * (lx1 - lx0), ly0 + f * (ly1 - ly0)), lz0 + f * (lz1 - lz0)));
          *rise = std::max(*rise, stray(height(rx0 + f * (rx1 - rx0), ry0 + f * (ry1 - ry0)), rz0 + f * (rz1 - rz0)));
        }
      }
      if (onGrid) {
        const float t0 = float(t * (j - 1) / n), t1 = float(t * j / n);
        const float l0v[RoadBlock::kFloats] = {0, t0, 0, 0, 1, float(o.SceneX(lx0)), float(o.SceneY(ly0)), float(lz0)};
        const float l1v[RoadBlock::kFloats] = {0, t1, 0, 0, 1, float(o.SceneX(lx1)), float(o.SceneY(ly1)), float(lz1)};
        const float r0v[RoadBlock::kFloats] = {1, t0, 0, 0, 1, float(o.SceneX(rx0)), float(o.SceneY(ry0)), float(rz0)};
        const float r1v[RoadBlock::kFloats] = {1, t1, 0, 0, 1, float(o.SceneX(rx1)), float(o.SceneY(ry1)), float(rz1)};
        // The quad is cut along the diagonal from left end to right start. On the inside of a
        // sharp turn the quad can be concave at a corner of that diagonal, and its two triangles
        // then turn opposite ways: one lies outside the quad, a fold. The quad is then given
        // in the order right start, left start, right end, left end, which cuts it along the
        // other diagonal with the same indices.
        const double first = Turn(lx0, ly0, lx1, ly1, rx0, ry0);
        const double second = Turn(rx0, ry0, lx1, ly1, rx1, ry1);
        const bool folds = (first > 0 && second < 0) || (first < 0 && second > 0);
        const float* order[4] = {l0v, l1v, r0v, r1v};
        if (folds) {
          order[0] = r0v, order[1] = l0v, order[2] = r1v, order[3] = l1v;
        }
        float quad[4][RoadBlock::kFloats];
        for (int k = 0; k < 4; ++k) std::memcpy(quad[k], order[k], sizeof quad[k]);
        if (!writer.AddQuad(quad)) return false;
      }
      lx0 = lx1, ly0 = ly1, rx0 = rx1, ry0 = ry1, lz0 = lz1, rz0 = rz1;
    }
    startLeft = lz0;
    startRight = rz0;
  }
  return true;
}

}  // namespace t3d
