// Offsetting a line point by point (see adapters/geometry.h). GEOS's own offset curve adds
// points at the joins; the ribbons built from the two sides pair point i with point i, so this
// one moves each point along the bisector of its segments' normals instead.
#include <cmath>
#include <vector>

#include "adapters/geometry.h"

namespace {

struct Vec {
  double x, y;
};

Vec Sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
double Length(Vec a) { return std::hypot(a.x, a.y); }

// Share of a segment's length by which one of its offset end points may move along it; two ends
// moving towards each other by this much still keep their order.
constexpr double kAlongShare = 0.45;

}  // namespace

extern "C" int16_t TinOffsetPolyline(double* points, int32_t count, double offset,
                                     int32_t /*reserved*/) {
  if (points == nullptr || count < 2 || !std::isfinite(offset)) return 0;
  const size_t n = size_t(count);
  std::vector<Vec> p(n);
  for (size_t i = 0; i < n; ++i) {
    p[i] = {points[2 * i], points[2 * i + 1]};
    if (!std::isfinite(p[i].x) || !std::isfinite(p[i].y)) return 0;
  }
  // Unit direction and length of segment i (points i, i + 1); a repeated point gives a segment of
  // length 0, which takes the direction of the nearest real segment (after it, else before it).
  std::vector<Vec> dir(n - 1);
  std::vector<double> len(n - 1);
  std::vector<bool> real(n - 1);
  bool any = false;
  for (size_t i = 0; i + 1 < n; ++i) {
    const Vec d = Sub(p[i + 1], p[i]);
    len[i] = Length(d);
    real[i] = len[i] > 0 && std::isfinite(len[i]);
    if (real[i]) {
      dir[i] = {d.x / len[i], d.y / len[i]};
      any = true;
    }
  }
  if (!any) return 0;
  // A segment of length 0 (a repeated point) takes the direction of the next real segment, or
  // of the last one at the end of the line.
  {
    std::vector<bool> known(real);
    bool have = false;
    Vec carried{0, 0};
    for (size_t i = n - 1; i-- > 0;) {
      if (real[i]) {
        carried = dir[i];
        have = true;
      } else if (have) {
        dir[i] = carried;
        known[i] = true;
      }
    }
    have = false;
    for (size_t i = 0; i + 1 < n; ++i) {
      if (real[i]) {
        carried = dir[i];
        have = true;
      } else if (!known[i] && have) {
        dir[i] = carried;
      }
    }
  }
  const double magnitude = std::fabs(offset);
  for (size_t i = 0; i < n; ++i) {
    Vec shift;
    if (i == 0 || i == n - 1) {
      const Vec d = dir[i == 0 ? 0 : n - 2];
      shift = {-d.y * offset, d.x * offset};
    } else {
      const Vec d0 = dir[i - 1], d1 = dir[i];
      const Vec n0{-d0.y, d0.x}, n1{-d1.y, d1.x};
      Vec m{n0.x + n1.x, n0.y + n1.y};
      double mLength = Length(m);
      if (mLength < 1e-12) {
        // The line turns straight back: the bisector of the normals is the direction of travel.
        m = d0;
        mLength = 1;
      }
      m = {m.x / mLength, m.y / mLength};
      const double cosHalf = Dot(m, n0);  // >= 0: m lies between the two normals
      double scale = cosHalf > 1.0 / GEO_OFFSET_MITER_LIMIT ? 1.0 / cosHalf
                                                             : GEO_OFFSET_MITER_LIMIT;
      // Keep the move along each neighbouring segment within its share of that segment.
      double before = 0, after = 0;
      for (size_t k = i; k-- > 0 && before == 0;) before = len[k];
      for (size_t k = i; k + 1 < n && after == 0; ++k) after = len[k];
      const double along0 = std::fabs(Dot(m, d0)), along1 = std::fabs(Dot(m, d1));
      if (magnitude > 0) {
        if (along0 > 1e-12) scale = std::fmin(scale, kAlongShare * before / (magnitude * along0));
        if (along1 > 1e-12) scale = std::fmin(scale, kAlongShare * after / (magnitude * along1));
      }
      shift = {m.x * offset * scale, m.y * offset * scale};
    }
    points[2 * i] = p[i].x + shift.x;
    points[2 * i + 1] = p[i].y + shift.y;
  }
  return 1;
}
