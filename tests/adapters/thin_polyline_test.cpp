// Douglas-Peucker thinning on GEOS: the kept points, the distance bound that the coefficient
// sets, the ends, and refusals that leave the array alone.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "adapters/geometry.h"

namespace {

double SegmentDistance(const double* p, const double* a, const double* b) {
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  const double length2 = dx * dx + dy * dy;
  double t = length2 > 0 ? ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / length2 : 0;
  t = std::max(0.0, std::min(1.0, t));
  return std::hypot(p[0] - a[0] - t * dx, p[1] - a[1] - t * dy);
}

TEST(ThinPolyline, KnownLineKeepsItsCorners) {
  // A straight run with small wiggles, a corner, and another straight run.
  std::vector<double> xy = {0, 0, 1, 0.1, 2, -0.1, 3, 0.05, 4, 0, 4.1, 1, 3.9, 2, 4, 3};
  int32_t count = 8;
  ASSERT_NE(TinThinPolyline(xy.data(), &count, 0.5), 0);
  ASSERT_EQ(count, 3);
  const double expected[] = {0, 0, 4, 0, 4, 3};
  for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(xy[size_t(i)], expected[i]) << i;
}

TEST(ThinPolyline, KeptPointsAreInputPointsWithinTheCoefficient) {
  std::mt19937 random(7);
  std::normal_distribution<double> step(0, 1);
  for (double coefficient : {0.3, 1.25, 4.0}) {
    std::vector<double> original;
    double x = 0, y = 0;
    for (int i = 0; i < 400; ++i) {
      x += 1 + std::fabs(step(random));
      y += step(random);
      original.push_back(x);
      original.push_back(y);
    }
    std::vector<double> xy = original;
    int32_t count = 400;
    ASSERT_NE(TinThinPolyline(xy.data(), &count, -coefficient), 0) << "the sign is ignored";
    ASSERT_GE(count, 2);
    ASSERT_LT(count, 400);
    EXPECT_EQ(xy[0], original[0]);
    EXPECT_EQ(xy[2 * size_t(count) - 1], original.back());
    // Every kept point is an original point, in order; every dropped point lies within the
    // coefficient of the thinned segment that spans it.
    size_t at = 0;
    for (int32_t k = 0; k + 1 < count; ++k) {
      const double* a = &xy[2 * size_t(k)];
      const double* b = &xy[2 * size_t(k) + 2];
      while (at < 400 && (original[2 * at] != a[0] || original[2 * at + 1] != a[1])) ++at;
      ASSERT_LT(at, 400u) << "kept point " << k << " is not an input point after the previous";
      for (size_t j = at + 1; j < 400 && original[2 * j] < b[0]; ++j)
        EXPECT_LE(SegmentDistance(&original[2 * j], a, b), coefficient + 1e-9);
    }
  }
}

TEST(ThinPolyline, ShortLinesAndZeroCoefficientStayAsTheyAre) {
  std::vector<double> two = {0, 0, 5, 5};
  int32_t count = 2;
  ASSERT_NE(TinThinPolyline(two.data(), &count, 100), 0);
  EXPECT_EQ(count, 2);
  std::vector<double> wiggle = {0, 0, 1, 0.001, 2, 0};
  count = 3;
  ASSERT_NE(TinThinPolyline(wiggle.data(), &count, 0), 0);
  EXPECT_EQ(count, 3);
  count = 0;
  EXPECT_NE(TinThinPolyline(wiggle.data(), &count, 1), 0);
  EXPECT_EQ(count, 0);
}

TEST(ThinPolyline, SmallClosedLoopKeepsItsEnds) {
  std::vector<double> loop = {0, 0, 1, 0, 1, 1, 0, 1, 0, 0};
  int32_t count = 5;
  ASSERT_NE(TinThinPolyline(loop.data(), &count, 10), 0);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(loop[0], 0);
  EXPECT_EQ(loop[2], 0);
  EXPECT_EQ(loop[3], 0);
}

TEST(ThinPolyline, RefusalsLeaveTheArrayAlone) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> xy = {0, 0, 1, 0.1, 2, 0};
  int32_t count = 3;
  EXPECT_EQ(TinThinPolyline(nullptr, &count, 1), 0);
  EXPECT_EQ(TinThinPolyline(xy.data(), nullptr, 1), 0);
  EXPECT_EQ(TinThinPolyline(xy.data(), &count, nan), 0);
  EXPECT_EQ(TinThinPolyline(xy.data(), &count, INFINITY), 0);
  count = -1;
  EXPECT_EQ(TinThinPolyline(xy.data(), &count, 1), 0);
  EXPECT_EQ(count, -1);
  xy[3] = nan;
  count = 3;
  EXPECT_EQ(TinThinPolyline(xy.data(), &count, 1), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(xy[2], 1);
}

}  // namespace
