// The line pass without GL: outcodes, midpoint clipping on whole pixels, and how projected lines
// become strips (window borders, points behind the eye, hidden points, the strip bound).
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "overlay/line_layer.h"

namespace t3d {
namespace {

const PixelRect kClip{0, 99, 0, 79};  // a 100 x 80 window

TEST(LineClip, OutcodesNameTheSides) {
  EXPECT_EQ(Outcode(50, 40, kClip), 0);
  EXPECT_EQ(Outcode(0, 0, kClip), 0);
  EXPECT_EQ(Outcode(99, 79, kClip), 0);
  EXPECT_EQ(Outcode(-1, 40, kClip), 1);
  EXPECT_EQ(Outcode(100, 40, kClip), 2);
  EXPECT_EQ(Outcode(50, -1, kClip), 4);
  EXPECT_EQ(Outcode(50, 80, kClip), 8);
  EXPECT_EQ(Outcode(-5, 90, kClip), 1 | 8);
  EXPECT_EQ(Outcode(120, -3, kClip), 2 | 4);
}

TEST(LineClip, EndsMoveToWhereTheSegmentEnters) {
  struct Case {
    int ax, ay, bx, by;
  } cases[] = {{-50, 40, 50, 40}, {50, 40, 300, 40}, {50, -30, 50, 30}, {-40, -40, 60, 60},
               {-20, 10, 130, 70}, {10, 200, 90, -200}};
  for (const Case& k : cases) {
    int ax = k.ax, ay = k.ay, bx = k.bx, by = k.by;
    ASSERT_TRUE(ClipSegment(ax, ay, bx, by, kClip)) << k.ax << "," << k.ay;
    EXPECT_EQ(Outcode(ax, ay, kClip), 0);
    EXPECT_EQ(Outcode(bx, by, kClip), 0);
    // Moved ends lie on the border and on the original segment (within the rounding of the
    // halving to whole pixels, in x and y both), and ends that were inside did not move.
    for (int end = 0; end < 2; ++end) {
      const int x = end == 0 ? ax : bx, y = end == 0 ? ay : by;
      const int ox = end == 0 ? k.ax : k.bx, oy = end == 0 ? k.ay : k.by;
      if (Outcode(ox, oy, kClip) == 0) {
        EXPECT_EQ(x, ox);
        EXPECT_EQ(y, oy);
        continue;
      }
      EXPECT_TRUE(x == 0 || x == 99 || y == 0 || y == 79) << x << "," << y;
      const double dx = k.bx - k.ax, dy = k.by - k.ay;
      const double off = std::fabs((x - k.ax) * dy - (y - k.ay) * dx) / std::hypot(dx, dy);
      EXPECT_LE(off, 2.5) << x << "," << y;
    }
  }
}

TEST(LineClip, SegmentsThatMissAreRejected) {
  int ax = -10, ay = -10, bx = -5, by = 100;  // left of the window all along
  EXPECT_FALSE(ClipSegment(ax, ay, bx, by, kClip));
  ax = -20, ay = 70, bx = 20, by = 120;  // passes the top-left corner outside
  EXPECT_FALSE(ClipSegment(ax, ay, bx, by, kClip));
}

// Collects the strips a walk draws.
struct Walk {
  std::vector<std::vector<std::pair<int, int>>> strips;
  std::set<size_t> hiddenPoints;
  std::vector<size_t> tested;

  void Run(const std::vector<ProjectedPoint>& points) {
    std::vector<float> scratch;
    WalkLine(
        points.data(), points.size(), kClip,
        [&](size_t i) {
          tested.push_back(i);
          return hiddenPoints.count(i) != 0;
        },
        [&](const float* xy, size_t count) {
          std::vector<std::pair<int, int>> strip;
          for (size_t i = 0; i < count; ++i) strip.emplace_back(int(xy[2 * i]), int(xy[2 * i + 1]));
          strips.push_back(strip);
        },
        scratch);
  }
};

std::vector<ProjectedPoint> Points(std::initializer_list<std::pair<double, double>> xy) {
  std::vector<ProjectedPoint> points;
  for (const auto& p : xy) points.push_back({p.first, p.second, 1.0});
  return points;
}

TEST(LineWalk, OnePointDrawsNothingAndTwoPointsOneSegment) {
  Walk one;
  one.Run(Points({{10, 10}}));
  EXPECT_TRUE(one.strips.empty());
  Walk two;
  two.Run(Points({{10.7, 10.2}, {60.9, 30.5}}));
  ASSERT_EQ(two.strips.size(), 1u);
  EXPECT_EQ(two.strips[0], (std::vector<std::pair<int, int>>{{10, 10}, {60, 30}}));
}

TEST(LineWalk, ConnectedSegmentsShareTheirPoints) {
  Walk w;
  w.Run(Points({{10, 10}, {20, 20}, {30, 10}, {40, 20}}));
  ASSERT_EQ(w.strips.size(), 1u);
  EXPECT_EQ(w.strips[0].size(), 4u);
  // Every point inside is tested once before it is added.
  EXPECT_EQ(w.tested, (std::vector<size_t>{0, 1, 2, 3}));
}

TEST(LineWalk, LineLeavingAndComingBackIsTwoStripsCutAtTheBorder) {
  Walk w;
  w.Run(Points({{20, 40}, {60, 40}, {150, 40}, {70, 60}, {30, 60}}));
  ASSERT_EQ(w.strips.size(), 2u);
  EXPECT_EQ(w.strips[0].front(), std::make_pair(20, 40));
  EXPECT_EQ(w.strips[0].back().first, 99);
  EXPECT_EQ(w.strips[1].front().first, 99);
  EXPECT_EQ(w.strips[1].back(), std::make_pair(30, 60));
  // The border points are not tested against the terrain.
  for (size_t i : w.tested) EXPECT_NE(i, 2u);
}

TEST(LineWalk, SegmentWithBothEndsOutsideIsNotDrawn) {
  Walk w;
  w.Run(Points({{-50, 40}, {150, 40}}));  // crosses the whole window
  EXPECT_TRUE(w.strips.empty());
  Walk v;
  v.Run(Points({{20, 20}, {-50, 40}, {150, 40}, {50, 50}}));
  ASSERT_EQ(v.strips.size(), 2u);
  EXPECT_EQ(v.strips[0].front(), std::make_pair(20, 20));
  EXPECT_EQ(v.strips[1].back(), std::make_pair(50, 50));
}

TEST(LineWalk, HiddenPointEndsTheStripAndTheLineResumes) {
  Walk w;
  w.hiddenPoints = {2};
  w.Run(Points({{10, 10}, {20, 10}, {30, 10}, {40, 10}, {50, 10}}));
  ASSERT_EQ(w.strips.size(), 2u);
  EXPECT_EQ(w.strips[0], (std::vector<std::pair<int, int>>{{10, 10}, {20, 10}}));
  EXPECT_EQ(w.strips[1], (std::vector<std::pair<int, int>>{{40, 10}, {50, 10}}));
}

TEST(LineWalk, PointsAtOrBehindTheEyeEndTheStrip) {
  std::vector<ProjectedPoint> points = Points({{10, 10}, {20, 10}, {30, 10}, {40, 10}});
  points[2].distance = -0.5;  // mirrored into the window by a division by |w|
  Walk w;
  w.Run(points);
  ASSERT_EQ(w.strips.size(), 1u);
  EXPECT_EQ(w.strips[0].size(), 2u);
  points[2].distance = 0;
  Walk v;
  v.Run(points);
  EXPECT_EQ(v.strips.size(), 1u);
}

TEST(LineWalk, LongRunsAreSplitIntoBoundedStripsThatJoin) {
  std::vector<ProjectedPoint> points;
  for (int i = 0; i < 3000; ++i) points.push_back({double(i % 2 == 0 ? 10 : 80), double(10 + i % 60), 1});
  Walk w;
  w.Run(points);
  ASSERT_EQ(w.strips.size(), 3u);
  size_t drawn = 0;
  for (size_t s = 0; s < w.strips.size(); ++s) {
    EXPECT_LE(w.strips[s].size(), kMaxStripVertices);
    if (s > 0) {
      EXPECT_EQ(w.strips[s].front(), w.strips[s - 1].back());
    }
    drawn += w.strips[s].size();
  }
  EXPECT_EQ(drawn, 3000u + 2u);  // each later strip repeats the last vertex of the one before
}

TEST(LineWalk, FarAwayProjectionsDoNotOverflow) {
  Walk w;
  w.Run(Points({{50, 40}, {1e300, -1e300}, {NAN, 5}, {50, 40}}));
  ASSERT_EQ(w.strips.size(), 2u);
  EXPECT_EQ(w.strips[0].front(), std::make_pair(50, 40));
  EXPECT_EQ(w.strips[1].back(), std::make_pair(50, 40));
}

// Points within the tolerance of the segment around them go; corners, the ends, and points of
// a strip too short to thin stay, in order.
TEST(LineSimplify, StraightRunsCollapseAndCornersStay) {
  // A staircase of whole pixels along a slope of 1/3, then a right-angled turn upwards.
  std::vector<float> xy;
  for (int x = 0; x <= 30; ++x) xy.insert(xy.end(), {float(x), float(x / 3)});
  for (int y = 11; y <= 30; ++y) xy.insert(xy.end(), {30.0f, float(y)});
  const size_t kept = SimplifyStrip(xy.data(), xy.size() / 2, 0.5);
  xy.resize(2 * kept);
  EXPECT_LT(kept * 3, size_t(51));  // whole pixels stray up to 0.63 pixels from the slope
  EXPECT_EQ(xy[0], 0.0f);
  EXPECT_EQ(xy[1], 0.0f);
  EXPECT_EQ(xy[2 * kept - 2], 30.0f);
  EXPECT_EQ(xy[2 * kept - 1], 30.0f);
  bool corner = false;
  for (size_t i = 0; i < kept; ++i) corner = corner || (xy[2 * i] == 30.0f && xy[2 * i + 1] == 10.0f);
  EXPECT_TRUE(corner);
  for (size_t i = 1; i < kept; ++i) EXPECT_GE(xy[2 * i], xy[2 * i - 2]);  // the order kept

  // A zig-zag wider than the tolerance keeps every point; two points stay two.
  std::vector<float> zigzag;
  for (int i = 0; i < 8; ++i) zigzag.insert(zigzag.end(), {float(4 * i), float(i % 2 ? 3 : 0)});
  EXPECT_EQ(SimplifyStrip(zigzag.data(), 8, 0.5), 8u);
  float two[4] = {0, 0, 5, 5};
  EXPECT_EQ(SimplifyStrip(two, 2, 0.5), 2u);
  // A closed strip (its ends on one pixel) keeps its far side.
  float ring[10] = {0, 0, 10, 0, 10, 10, 0, 10, 0, 0};
  EXPECT_EQ(SimplifyStrip(ring, 5, 0.5), 5u);
}

}  // namespace
}  // namespace t3d
