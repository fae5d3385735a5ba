// Spatial index and rectangle tests of map records.
#include "adapters/ogr/map_records.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace t3d::ogr {
namespace {

constexpr int kFanout = 16;

Box Union(const Box& a, const Box& b) {
  return Box{{std::min(a.v[0], b.v[0]), std::min(a.v[1], b.v[1]), std::max(a.v[2], b.v[2]),
              std::max(a.v[3], b.v[3])}};
}

bool PointInRect(double x, double y, const double rect[4]) {
  return x >= rect[0] && x <= rect[2] && y >= rect[1] && y <= rect[3];
}

// Even-odd test over all rings: inside the outer ring and outside every hole.
bool PointInRegion(const Record& record, double x, double y) {
  bool inside = false;
  size_t start = 0;
  for (int32_t count : record.ringCounts) {
    const double* p = record.xy.data() + 2 * start;
    for (int32_t i = 0, j = count - 1; i < count; j = i++) {
      const double xi = p[2 * i], yi = p[2 * i + 1], xj = p[2 * j], yj = p[2 * j + 1];
      if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
    }
    start += static_cast<size_t>(count);
  }
  return inside;
}

// Orders items (positions into centres) into runs of kFanout: sorted by x centre into vertical
// slices, each slice by y centre.
void PackOrder(std::vector<int32_t>& items, const std::vector<Box>& boxes) {
  auto cx = [&](int32_t i) { return boxes[i].v[0] + boxes[i].v[2]; };
  auto cy = [&](int32_t i) { return boxes[i].v[1] + boxes[i].v[3]; };
  std::sort(items.begin(), items.end(), [&](int32_t a, int32_t b) { return cx(a) < cx(b); });
  const size_t leaves = (items.size() + kFanout - 1) / kFanout;
  const size_t slices = static_cast<size_t>(std::ceil(std::sqrt(static_cast<double>(leaves))));
  const size_t perSlice = slices * kFanout;
  for (size_t s = 0; s < items.size(); s += perSlice) {
    auto end = items.begin() + static_cast<std::ptrdiff_t>(std::min(items.size(), s + perSlice));
    std::sort(items.begin() + static_cast<std::ptrdiff_t>(s), end,
              [&](int32_t a, int32_t b) { return cy(a) < cy(b); });
  }
}

}  // namespace

void BoxIndex::Build(const std::vector<Box>& boxes) {
  boxes_ = boxes;
  nodes_.clear();
  entries_.resize(boxes.size());
  std::iota(entries_.begin(), entries_.end(), 0);
  if (boxes.empty()) return;
  PackOrder(entries_, boxes_);
  // Leaves over runs of entries, then levels of nodes over runs of the level below.
  std::vector<int32_t> level;
  for (size_t i = 0; i < entries_.size(); i += kFanout) {
    const int32_t count = static_cast<int32_t>(std::min<size_t>(kFanout, entries_.size() - i));
    Box box = boxes_[entries_[i]];
    for (int32_t k = 1; k < count; ++k) box = Union(box, boxes_[entries_[i + k]]);
    level.push_back(static_cast<int32_t>(nodes_.size()));
    nodes_.push_back(Node{box, static_cast<int32_t>(i), count, true});
  }
  while (level.size() > 1) {
    std::vector<Box> levelBoxes;
    for (int32_t n : level) levelBoxes.push_back(nodes_[n].box);
    std::vector<int32_t> order(level.size());
    std::iota(order.begin(), order.end(), 0);
    PackOrder(order, levelBoxes);
    // Children of one parent must be consecutive nodes: copy them in packed order.
    std::vector<int32_t> next;
    for (size_t i = 0; i < order.size(); i += kFanout) {
      const int32_t count = static_cast<int32_t>(std::min<size_t>(kFanout, order.size() - i));
      const int32_t first = static_cast<int32_t>(nodes_.size());
      for (int32_t k = 0; k < count; ++k) nodes_.push_back(nodes_[level[order[i + k]]]);
      Box box = nodes_[first].box;
      for (int32_t k = 1; k < count; ++k) box = Union(box, nodes_[first + k].box);
      next.push_back(static_cast<int32_t>(nodes_.size()));
      nodes_.push_back(Node{box, first, count, false});
    }
    level.swap(next);
  }
  if (level.front() != static_cast<int32_t>(nodes_.size()) - 1) nodes_.push_back(nodes_[level.front()]);
}

void BoxIndex::Query(const double rect[4], std::vector<int32_t>& out) const {
  if (nodes_.empty()) return;
  std::vector<int32_t> stack{static_cast<int32_t>(nodes_.size()) - 1};
  while (!stack.empty()) {
    const Node& node = nodes_[stack.back()];
    stack.pop_back();
    if (!node.box.Meets(rect)) continue;
    for (int32_t k = 0; k < node.count; ++k) {
      if (!node.leaf) {
        stack.push_back(node.first + k);
      } else {
        const int32_t entry = entries_[node.first + k];
        if (boxes_[entry].Meets(rect)) out.push_back(entry);
      }
    }
  }
}

// Liang-Barsky clipping of the segment's parameter range against the four sides.
bool SegmentMeetsRect(double x0, double y0, double x1, double y1, const double rect[4]) {
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - rect[0], rect[2] - x0, y0 - rect[1], rect[3] - y0};
  double t0 = 0.0, t1 = 1.0;
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
    } else {
      const double t = q[i] / p[i];
      if (p[i] < 0.0) {
        t0 = std::max(t0, t);
      } else {
        t1 = std::min(t1, t);
      }
      if (t0 > t1) return false;
    }
  }
  return true;
}

bool RecordMeetsRect(const Record& record, int kind, const double rect[4]) {
  if (!record.box.Meets(rect)) return false;
  const double* p = record.xy.data();
  const size_t points = record.xy.size() / 2;
  if (kind == 1) return points > 0 && PointInRect(p[0], p[1], rect);
  if (kind == 0) {
    if (points == 1) return PointInRect(p[0], p[1], rect);
    for (size_t i = 1; i < points; ++i)
      if (SegmentMeetsRect(p[2 * i - 2], p[2 * i - 1], p[2 * i], p[2 * i + 1], rect)) return true;
    return false;
  }
  // A region meets the rectangle when a ring's edge crosses it, or when the region holds it
  // whole (then its centre is inside); a region held whole by the rectangle has edges in it.
  size_t start = 0;
  for (int32_t count : record.ringCounts) {
    const double* r = p + 2 * start;
    for (int32_t i = 0, j = count - 1; i < count; j = i++)
      if (SegmentMeetsRect(r[2 * j], r[2 * j + 1], r[2 * i], r[2 * i + 1], rect)) return true;
    start += static_cast<size_t>(count);
  }
  return PointInRegion(record, (rect[0] + rect[2]) / 2, (rect[1] + rect[3]) / 2);
}

}  // namespace t3d::ogr
