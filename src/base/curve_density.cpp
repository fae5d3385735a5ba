#include "base/curve_density.h"

#include <cmath>

namespace {

// Samples of the curve used to measure it; the corners it rounds are a few spacings long, so
// this many chords follow the curve far closer than the spacing.
constexpr int kSamples = 64;

void CurvePoint(const double p[3][2], double t, double& x, double& y) {
  const double a = (1 - t) * (1 - t), b = 2 * (1 - t) * t, c = t * t;
  x = a * p[0][0] + b * p[1][0] + c * p[2][0];
  y = a * p[0][1] + b * p[1][1] + c * p[2][1];
}

}  // namespace

extern "C" int DensifyCorner(const double p[3][2], double spacing, double* out, int maxPoints) {
  if (p == nullptr || out == nullptr || maxPoints < 2) return 0;
  if (!std::isfinite(spacing) || spacing <= 0) return 0;
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(p[i][0]) || !std::isfinite(p[i][1])) return 0;

  // Length along the curve at each sample parameter k / kSamples.
  double length[kSamples + 1];
  length[0] = 0;
  double px = p[0][0], py = p[0][1];
  for (int k = 1; k <= kSamples; ++k) {
    double x, y;
    CurvePoint(p, double(k) / kSamples, x, y);
    length[k] = length[k - 1] + std::hypot(x - px, y - py);
    px = x;
    py = y;
  }
  const double total = length[kSamples];
  if (!std::isfinite(total)) return 0;

  // Whole number of intervals closest to the spacing; at least one, so both ends are present.
  const double ratio = total / spacing;
  if (ratio > maxPoints) return 0;  // also keeps the rounding below within int
  int intervals = int(std::lround(ratio));
  if (intervals < 1) intervals = 1;
  if (intervals + 1 > maxPoints) return 0;

  out[0] = p[0][0];
  out[1] = p[0][1];
  int k = 0;
  for (int i = 1; i < intervals; ++i) {
    // The parameter at this length, interpolated between the samples around it.
    const double target = total * i / intervals;
    while (k < kSamples - 1 && length[k + 1] < target) ++k;
    const double piece = length[k + 1] - length[k];
    const double f = piece > 0 ? (target - length[k]) / piece : 0;
    CurvePoint(p, (k + f) / kSamples, out[2 * i], out[2 * i + 1]);
  }
  out[2 * intervals] = p[2][0];
  out[2 * intervals + 1] = p[2][1];
  return intervals + 1;
}
