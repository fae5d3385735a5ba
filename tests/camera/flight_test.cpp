// Flight and navigation: the rounded corners of routes and of the built-in tour, the flight step
// along a route (closing the tour's loop, jumping back on an open route, crossing zero-length
// segments), the route's length in frames, fly speeds, steering with Navigate and the view
// restore; and a long flight through the frame driver whose memory must stay flat.
#include "camera/flight.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/fly_route.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "base/curve_density.h"
#include "platform/environment.h"
#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_scene.h"

#if defined(__SANITIZE_ADDRESS__)
#define T3D_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define T3D_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef T3D_ADDRESS_SANITIZER
// From the sanitizer runtime (its header is not always installed): heap bytes in use.
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

namespace t3d {
namespace {

using testgrids::GridPath;
using testgrids::NorthUp;
using testgrids::WriteGrid;

struct Point {
  double x, y;
};

double Distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

// ---- Corner densification -------------------------------------------------------------------

std::vector<Point> Densify(const double p[3][2], double spacing, int maxPoints = 64) {
  std::vector<double> out(size_t(2 * maxPoints), -1.0);
  const int n = DensifyCorner(p, spacing, out.data(), maxPoints);
  std::vector<Point> points;
  for (int i = 0; i < n; ++i) points.push_back({out[size_t(2 * i)], out[size_t(2 * i + 1)]});
  return points;
}

TEST(CurveDensity, RunsFromFirstToThirdPointWithEvenSpacing) {
  // A corner with legs of 100 rounded with points 10 apart.
  const double p[3][2] = {{0, 0}, {100, 0}, {100, 100}};
  const std::vector<Point> points = Densify(p, 10);
  ASSERT_GE(points.size(), 10u);
  EXPECT_EQ(points.front().x, 0);
  EXPECT_EQ(points.front().y, 0);
  EXPECT_EQ(points.back().x, 100);
  EXPECT_EQ(points.back().y, 100);
  for (size_t i = 1; i < points.size(); ++i) {
    const double gap = Distance(points[i - 1], points[i]);
    EXPECT_GT(gap, 7.0) << "point " << i;
    EXPECT_LT(gap, 13.0) << "point " << i;
    // The curve stays inside the corner (never beyond its legs) and turns steadily: x and y
    // both grow along it.
    EXPECT_LE(points[i].x, 100 + 1e-9);
    EXPECT_GE(points[i].y, -1e-9);
    EXPECT_GT(points[i].x, points[i - 1].x - 1e-9);
    EXPECT_GT(points[i].y, points[i - 1].y - 1e-9);
  }
  // The tour's corners, legs one spacing long, give at least their ends.
  const double tour[3][2] = {{60, 50}, {50, 50}, {50, 60}};
  const std::vector<Point> corner = Densify(tour, 10);
  ASSERT_GE(corner.size(), 2u);
  EXPECT_LE(corner.size(), 4u);
  EXPECT_EQ(corner.front().x, 60);
  EXPECT_EQ(corner.back().y, 60);
  // All three points in one place still give a sequence from the first to the last.
  const double same[3][2] = {{5, 5}, {5, 5}, {5, 5}};
  EXPECT_EQ(Densify(same, 1).size(), 2u);
}

TEST(CurveDensity, RefusesBadInputAndWritesNothing) {
  const double p[3][2] = {{0, 0}, {100, 0}, {100, 100}};
  double out[8] = {7, 7, 7, 7, 7, 7, 7, 7};
  EXPECT_EQ(DensifyCorner(p, 0, out, 4), 0);
  EXPECT_EQ(DensifyCorner(p, -1, out, 4), 0);
  EXPECT_EQ(DensifyCorner(p, NAN, out, 4), 0);
  EXPECT_EQ(DensifyCorner(p, 10, nullptr, 4), 0);
  EXPECT_EQ(DensifyCorner(nullptr, 10, out, 4), 0);
  // About 17 points are needed; room for 4 is too little (and a tiny spacing cannot run away).
  EXPECT_EQ(DensifyCorner(p, 10, out, 4), 0);
  EXPECT_EQ(DensifyCorner(p, 1e-300, out, 4), 0);
  const double bad[3][2] = {{0, 0}, {NAN, 0}, {100, 100}};
  EXPECT_EQ(DensifyCorner(bad, 10, out, 4), 0);
  for (double v : out) EXPECT_EQ(v, 7);
}

// ---- A scene prepared by hand ---------------------------------------------------------------

// A scene object and a state block set up as preparation would for a 21 x 21 grid of 10 m cells
// from (0, 0) to (200, 200), heights 0 .. 50.
class FlightTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scene_ = new SceneObject;
    state_ = static_cast<SceneState*>(std::calloc(1, sizeof(SceneState)));
    ASSERT_NE(state_, nullptr);
    SceneState& s = *state_;
    s.xMin = s.yMin = s.zMin = 0;
    s.xMax = s.yMax = 200;
    s.zMax = 50;
    s.cellSizeX = s.cellSizeY = 10;
    s.rowCount = s.columnCount = 21;
    s.sceneRadius = 100;
    s.zScale = 1;
    s.terrainCentre[0] = s.terrainCentre[1] = 100;
    s.terrainCentre[2] = 25;
    s.viewFov = 45;
    s.viewTilt = 25;
    s.flySpeedMin = 10;
    s.flySpeedMax = 200;
    s.flySpeed = 30;
    const float range[9] = {-50, 250, 10, -50, 250, 10, 50, 150, 2};
    std::memcpy(scene_->eyeRange, range, sizeof range);
    scene_->navigateStep = 10;
    scene_->skyDrift = -3;
    s.eyePosition[0] = s.eyePosition[1] = 150;
    s.eyePosition[2] = 100;
    s.viewCentre[0] = s.viewCentre[1] = 100;
  }
  void TearDown() override {
    FreeFlyRoute(*state_);
    std::free(state_);
    delete scene_;
  }

  SceneState& S() { return *state_; }
  SceneObject& O() { return *scene_; }
  void* scene() { return scene_; }
  void* state() { return state_; }

  std::vector<Point> Route() {
    std::vector<Point> nodes;
    for (const FlyRouteNode* n = state_->routeHead; n != nullptr; n = n->next)
      nodes.push_back({n->x, n->y});
    return nodes;
  }
  Point Eye() { return {state_->eyePosition[0], state_->eyePosition[1]}; }
  std::array<float, 3> Eye3() const {
    return {state_->eyePosition[0], state_->eyePosition[1], state_->eyePosition[2]};
  }
  // The host's route through points given as x, y pairs.
  int SetRoute(std::vector<float> points) {
    return SetFlyRoutin(scene_, state_, points.data(), short(points.size() / 2));
  }
  void ExpectNoRoute() {
    EXPECT_EQ(state_->routeHead, nullptr);
    EXPECT_EQ(state_->routeCurrent, nullptr);
    EXPECT_EQ(state_->routeNodeCount, 0);
  }
  void Step() { FlightStep(*scene_, *state_); }

 private:
  SceneObject* scene_ = nullptr;
  SceneState* state_ = nullptr;
};

// ---- Host routes ------------------------------------------------------------------------------

TEST_F(FlightTest, CornerOfAHostRouteIsRoundedByFiveNodes) {
  ASSERT_EQ(SetRoute({0, 0, 100, 0, 100, 100}), TN_OK);
  const Point expected[] = {{0, 0},   {90, 0},   {95, 0},   {98.75, 1.25},
                            {100, 5}, {100, 10}, {100, 100}};
  const std::vector<Point> nodes = Route();
  ASSERT_EQ(nodes.size(), 7u);
  EXPECT_EQ(S().routeNodeCount, 7);
  for (size_t i = 0; i < nodes.size(); ++i) {
    EXPECT_NEAR(nodes[i].x, expected[i].x, 1e-4) << "node " << i;
    EXPECT_NEAR(nodes[i].y, expected[i].y, 1e-4) << "node " << i;
  }
  // The flight starts at the first node, where the eye now stands at its former height.
  EXPECT_EQ(S().routeCurrent, S().routeHead);
  EXPECT_EQ(Eye3(), (std::array<float, 3>{0, 0, 100}));

  // Read back: the count alone, then the nodes.
  short count = -1;
  ASSERT_EQ(GetFlyRoutin(scene(), state(), nullptr, &count, 0), TN_OK);
  EXPECT_EQ(count, 7);
  std::vector<float> read(14, -1.0f);
  ASSERT_EQ(GetFlyRoutin(scene(), state(), read.data(), &count, 1), TN_OK);
  EXPECT_EQ(count, 7);
  EXPECT_FLOAT_EQ(read[6], 98.75f);
  EXPECT_FLOAT_EQ(read[7], 1.25f);
}

TEST_F(FlightTest, RoutePointsOutsideTheGridAreLimitedAndWrittenBack) {
  float points[] = {-30, 50, 120, 500, 260, -1};
  ASSERT_EQ(SetFlyRoutin(scene(), state(), points, 3), TN_OK);
  EXPECT_EQ(std::vector<float>(points, points + 6), (std::vector<float>{0, 50, 120, 200, 200, 0}));
  const std::vector<Point> nodes = Route();
  ASSERT_EQ(nodes.size(), 7u);
  EXPECT_EQ(nodes.front().x, 0);
  EXPECT_EQ(nodes.back().x, 200);
  EXPECT_EQ(nodes.back().y, 0);
  for (const Point& p : nodes) {
    EXPECT_TRUE(p.x >= 0 && p.x <= 200 && p.y >= 0 && p.y <= 200) << p.x << ", " << p.y;
  }
}

TEST_F(FlightTest, CornersBetweenShortLegsNeverRunBack) {
  // Legs of 4 and 6, shorter than the cell: each corner takes at most half of a leg, so the route
  // keeps its order along the polyline.
  ASSERT_EQ(SetRoute({0, 0, 4, 0, 4, 6, 10, 6}), TN_OK);
  const std::vector<Point> nodes = Route();
  ASSERT_EQ(nodes.size(), 12u);
  for (size_t i = 1; i < nodes.size(); ++i) {
    EXPECT_GE(nodes[i].x, nodes[i - 1].x - 1e-5) << "node " << i;
    EXPECT_GE(nodes[i].y, nodes[i - 1].y - 1e-5) << "node " << i;
  }
  EXPECT_NEAR(nodes[1].x, 2, 1e-5);  // half of the first leg
}

TEST_F(FlightTest, RefusedRoutesLeaveNoRoute) {
  float good[] = {0, 0, 100, 0, 100, 100};
  auto withRoute = [&] {
    ASSERT_EQ(SetRoute({0, 0, 100, 0, 100, 100}), TN_OK);
    ASSERT_NE(S().routeHead, nullptr);
  };
  const std::pair<float*, int> refused[] = {{nullptr, 3}, {good, 0}, {good, -5}};
  for (const auto& [points, count] : refused) {
    withRoute();
    EXPECT_EQ(SetFlyRoutin(scene(), state(), points, count), TN_E_FAIL) << count;
    ExpectNoRoute();
  }

  // A point that is not a number is refused before anything is written back.
  float bad[] = {-30, 0, NAN, 50, 100, 100};
  withRoute();
  EXPECT_EQ(SetFlyRoutin(scene(), state(), bad, 3), TN_E_FAIL);
  ExpectNoRoute();
  EXPECT_EQ(bad[0], -30);

  // The node count is bounded: 6,555 points give 32,767 nodes, one more point is too many.
  std::vector<float> many(2 * 6556);
  for (size_t i = 0; i < 6556; ++i) {
    many[2 * i] = float(i % 2 == 0 ? 0 : 200);
    many[2 * i + 1] = float(i % 200);
  }
  withRoute();
  EXPECT_EQ(SetFlyRoutin(scene(), state(), many.data(), 6556), TN_E_FAIL);
  ExpectNoRoute();
  ASSERT_EQ(SetFlyRoutin(scene(), state(), many.data(), 6555), TN_OK);
  EXPECT_EQ(S().routeNodeCount, 32767);
  EXPECT_EQ(Route().size(), 32767u);
  short count = 0;
  ASSERT_EQ(GetFlyRoutin(scene(), state(), nullptr, &count, 0), TN_OK);
  EXPECT_EQ(count, 32767);
}

TEST_F(FlightTest, ReadingWithoutARouteGivesTheTourRectangleOrNothing) {
  short count = -1;
  ASSERT_EQ(GetFlyRoutin(scene(), state(), nullptr, &count, 0), TN_OK);
  EXPECT_EQ(count, 0);
  std::vector<float> corners(10);
  ASSERT_EQ(GetFlyRoutin(scene(), state(), corners.data(), &count, 1), TN_OK);
  EXPECT_EQ(count, 5);
  // A quarter and three quarters of 21 columns and rows of 10 m.
  const float a = 52.5f, b = 157.5f;
  EXPECT_EQ(corners, (std::vector<float>{a, a, a, b, b, b, b, a, a, a}));
}

TEST_F(FlightTest, RouteFrameCountRoundsEachSegment) {
  EXPECT_EQ(RouteFrameCount(S()), 0u);
  ASSERT_EQ(SetRoute({0, 0, 100, 0}), TN_OK);
  EXPECT_EQ(RouteFrameCount(S()), 3u);  // 100 / 30 + 0.5, truncated
  S().flySpeed = 40;
  EXPECT_EQ(RouteFrameCount(S()), 3u);  // 2.5 + 0.5
  S().flySpeed = 0;
  EXPECT_EQ(RouteFrameCount(S()), 0u);
  // Per segment: 90 / 30 = 3, the corner's four short segments 0 each (5 / 30 + 0.5 < 1), 90 / 30.
  ASSERT_EQ(SetRoute({0, 0, 100, 0, 100, 100}), TN_OK);
  S().flySpeed = 30;
  EXPECT_EQ(RouteFrameCount(S()), 6u);
}

// ---- Flying -----------------------------------------------------------------------------------

TEST_F(FlightTest, OpenRouteJumpsBackToItsStart) {
  ASSERT_EQ(SetRoute({0, 0, 100, 0}), TN_OK);
  for (float x : {30, 60, 90, 100, 30, 60}) {
    Step();
    EXPECT_NEAR(S().eyePosition[0], x, 1e-4);
    EXPECT_EQ(S().eyePosition[1], 0);
    EXPECT_EQ(S().eyePosition[2], 100);  // the height is kept
  }
  // Flying east: the view looks along the segment.
  EXPECT_NEAR(S().viewDirSin, 1, 1e-6);
  EXPECT_NEAR(S().viewDirCos, 0, 1e-6);
  EXPECT_EQ(S().flyDirection[0], 100);
  EXPECT_EQ(S().flyDirection[1], 0);
}

TEST_F(FlightTest, TourIsAClosedRoundedRectangleFlownWithoutAJump) {
  SetFlight(O(), S(), 1);
  ASSERT_EQ(S().flyFlag, 1);
  const std::vector<Point> nodes = Route();
  ASSERT_GE(nodes.size(), 13u);
  EXPECT_EQ(S().routeNodeCount, short(nodes.size()));
  // Starts one cell east of the south-west corner, heads north first, and ends where it starts.
  EXPECT_FLOAT_EQ(float(nodes.front().x), 62.5f);
  EXPECT_FLOAT_EQ(float(nodes.front().y), 52.5f);
  EXPECT_EQ(nodes.back().x, nodes.front().x);
  EXPECT_EQ(nodes.back().y, nodes.front().y);
  EXPECT_EQ(S().eyePosition[0], nodes.front().x);
  EXPECT_EQ(S().eyePosition[1], nodes.front().y);
  bool north = false;
  for (const Point& p : nodes) {
    EXPECT_TRUE(p.x >= 52.5 - 1e-4 && p.x <= 157.5 + 1e-4 && p.y >= 52.5 - 1e-4 &&
                p.y <= 157.5 + 1e-4)
        << p.x << ", " << p.y;
    if (p.y > 150) north = true;
  }
  EXPECT_TRUE(north);
  // Round and round: the eye never moves more than the speed in one frame, also where the loop
  // closes, and it passes the start again.
  const unsigned frames = RouteFrameCount(S());
  ASSERT_GT(frames, 10u);
  Point before = Eye();
  int passes = 0;
  // The count rounds the short corner segments down, so five counts make more than two loops.
  for (unsigned i = 0; i < 5 * frames; ++i) {
    Step();
    const Point now = Eye();
    ASSERT_LE(Distance(before, now), S().flySpeed + 1e-3) << "frame " << i;
    if (Distance(now, nodes.front()) < 1e-3) ++passes;
    before = now;
  }
  EXPECT_GE(passes, 2);
}

TEST_F(FlightTest, ZeroLengthSegmentsHoldTheEyeAndMoveOn) {
  // A repeated point: its corner collapses into five nodes in one place.
  ASSERT_EQ(SetRoute({20, 20, 20, 20, 20, 120}), TN_OK);
  ASSERT_EQ(S().routeNodeCount, 7);
  for (int i = 0; i < 5; ++i) {
    Step();
    EXPECT_EQ(Eye3(), (std::array<float, 3>{20, 20, 100})) << "frame " << i;
    EXPECT_TRUE(std::isfinite(S().viewDirSin) && std::isfinite(S().viewDirCos));
  }
  Step();
  EXPECT_EQ(S().eyePosition[0], 20);
  EXPECT_NEAR(S().eyePosition[1], 50, 1e-4);
  EXPECT_NEAR(S().viewDirCos, 1, 1e-6);  // flying north

  // A route of one point: the eye stays on it.
  ASSERT_EQ(SetRoute({70, 80}), TN_OK);
  for (int i = 0; i < 3; ++i) Step();
  EXPECT_EQ(Eye3(), (std::array<float, 3>{70, 80, 100}));
}

TEST_F(FlightTest, FlightFlagStartsAndStopsFlights) {
  // Another non-zero value needs the host's route.
  SetFlight(O(), S(), 2);
  EXPECT_EQ(S().flyFlag, 0);
  ASSERT_EQ(SetRoute({0, 0, 100, 0}), TN_OK);
  FlyRouteNode* head = S().routeHead;
  ASSERT_EQ(SetFlyFlag(scene(), state(), 2), TN_OK);
  int flag = 0;
  ASSERT_EQ(GetFlyFlag(scene(), state(), &flag), TN_OK);
  EXPECT_EQ(flag, 2);
  EXPECT_EQ(S().routeHead, head);

  // Stopping frees the route and restores the first view.
  ASSERT_EQ(SetFlyFlag(scene(), state(), 0), TN_OK);
  EXPECT_EQ(S().flyFlag, 0);
  ExpectNoRoute();
  EXPECT_EQ(S().viewCentre[0], 100);
  EXPECT_EQ(S().viewCentre[1], 100);
  EXPECT_EQ(Eye3(), (std::array<float, 3>{150, 150, 100}));
  EXPECT_NEAR(S().viewDirAngle, 225, 1e-4);

  // A flight whose route went away (a new preparation frees it) ends at the next step.
  S().flyFlag = 1;
  Step();
  EXPECT_EQ(S().flyFlag, 0);

  // The tour needs a prepared grid: without one it does not start, and the host's route goes.
  S().columnCount = S().rowCount = 0;
  S().cellSizeX = S().cellSizeY = 0;
  ASSERT_EQ(SetRoute({0, 0, 100, 0}), TN_OK);
  ASSERT_EQ(SetFlyFlag(scene(), state(), 1), TN_OK);
  EXPECT_EQ(S().flyFlag, 0);
  ExpectNoRoute();
}

TEST_F(FlightTest, RestoreDisplayResetsTiltAndEye) {
  S().viewTilt = 60;
  S().eyePosition[0] = -20;
  S().eyePosition[2] = 140;
  ASSERT_EQ(RestoreDisplay(scene(), state()), TN_OK);
  EXPECT_EQ(S().viewTilt, 25);
  EXPECT_EQ(Eye3(), (std::array<float, 3>{150, 150, 100}));
  EXPECT_NEAR(S().viewDirSin, -std::sqrt(0.5), 1e-6);
  // The eye is within reach of the centre, so the dolly runs from 0.5.
  EXPECT_EQ(O().eyeMoveMin, 0.5f);
}

// ---- Speeds and steering ----------------------------------------------------------------------

TEST_F(FlightTest, FlySpeedIsLimitedToItsRange) {
  float speed = -1, low = -1, high = -1;
  const float speeds[][2] = {{0, 10}, {1e9f, 200}, {NAN, 10}, {42, 42}};
  for (const auto& [in, out] : speeds) {
    ASSERT_EQ(SetFlySpeed(scene(), state(), in), TN_OK);
    ASSERT_EQ(GetFlySpeed(scene(), state(), &speed), TN_OK);
    EXPECT_EQ(speed, out) << in;
  }
  ASSERT_EQ(GetFlySpeedRange(scene(), state(), &low, &high), TN_OK);
  EXPECT_EQ(low, 10);
  EXPECT_EQ(high, 200);
}

TEST_F(FlightTest, AcceleratedStepsGrowUpToTheFastestSpeed) {
  // Looking north from (100, 20).
  S().eyePosition[0] = 100;
  S().eyePosition[1] = 20;
  S().viewCentre[0] = 100;
  S().viewCentre[1] = 120;
  S().viewDirSin = 0;
  S().viewDirCos = 1;
  ASSERT_EQ(Navigate(scene(), state(), 0, 1), TN_OK);
  EXPECT_EQ(O().navigateStep, 20);
  EXPECT_FLOAT_EQ(S().eyePosition[1], 40);
  for (int i = 0; i < 30; ++i) Navigate(scene(), state(), 0, 1);
  EXPECT_EQ(O().navigateStep, 200);
  EXPECT_EQ(S().eyePosition[1], 250);  // held at the eye range
  // Steps without acceleration keep the step reached.
  Navigate(scene(), state(), 1, 0);
  EXPECT_EQ(O().navigateStep, 200);
  EXPECT_FLOAT_EQ(S().eyePosition[1], 50);
  EXPECT_EQ(S().eyePosition[0], 100);
}

TEST_F(FlightTest, TurningLeftThenRightRestoresTheView) {
  const float angle = S().viewDirAngle = 225;
  S().viewDirSin = float(-std::sqrt(0.5));
  S().viewDirCos = float(-std::sqrt(0.5));
  Navigate(scene(), state(), 2, 0);
  EXPECT_NEAR(S().viewDirAngle, 224, 1e-3);  // counter-clockwise: the compass angle falls
  Navigate(scene(), state(), 3, 0);
  EXPECT_NEAR(S().viewDirAngle, angle, 1e-3);
  EXPECT_NEAR(S().viewCentre[0], 100, 1e-3);
  EXPECT_NEAR(S().viewCentre[1], 100, 1e-3);
  // Ten turns each way also come back.
  for (int i = 0; i < 10; ++i) Navigate(scene(), state(), 3, 0);
  EXPECT_NEAR(S().viewDirAngle, 235, 1e-2);
  for (int i = 0; i < 10; ++i) Navigate(scene(), state(), 2, 0);
  EXPECT_NEAR(S().viewDirAngle, angle, 1e-2);

  // Straight above the centre a turn still turns.
  S().viewCentre[0] = S().eyePosition[0];
  S().viewCentre[1] = S().eyePosition[1];
  Navigate(scene(), state(), 3, 0);
  EXPECT_NEAR(S().viewDirAngle, 226, 1e-2);
}

TEST_F(FlightTest, SkyDriftsAndTurnsWithTheViewAndTheFlight) {
  S().skyFlag = 1;
  S().viewDirSin = float(-std::sqrt(0.5));
  S().viewDirCos = float(-std::sqrt(0.5));
  Navigate(scene(), state(), 2, 0);
  EXPECT_EQ(O().skyAngle, 3);
  Navigate(scene(), state(), 3, 0);
  Navigate(scene(), state(), 3, 0);
  EXPECT_EQ(O().skyAngle, -3);
  Navigate(scene(), state(), 1, 0);
  EXPECT_FLOAT_EQ(O().skyDrift, -3.05f);

  O().skyDrift = -3;
  O().skyAngle = 0;
  ASSERT_EQ(SetRoute({0, 0, 50, 0}), TN_OK);
  Step();
  EXPECT_FLOAT_EQ(O().skyDrift, -2.95f);
  EXPECT_EQ(O().skyAngle, 0);
  Step();  // past the end of the segment
  EXPECT_FLOAT_EQ(O().skyAngle, 3);
}

TEST_F(FlightTest, UpAndDownStayWithinTheEyeRange) {
  Navigate(scene(), state(), 4, 0);
  EXPECT_EQ(S().eyePosition[2], 102);
  for (int i = 0; i < 40; ++i) Navigate(scene(), state(), 4, 0);
  EXPECT_EQ(S().eyePosition[2], 150);
  for (int i = 0; i < 80; ++i) Navigate(scene(), state(), 5, 0);
  EXPECT_EQ(S().eyePosition[2], 50);
}

TEST_F(FlightTest, OtherCommandsChangeNothing) {
  S().viewDirSin = 1;
  const std::vector<uint8_t> before(reinterpret_cast<uint8_t*>(state()),
                                    reinterpret_cast<uint8_t*>(state()) + sizeof(SceneState));
  const float step = O().navigateStep, drift = O().skyDrift;
  for (int command : {6, 7, 100, -1}) EXPECT_EQ(Navigate(scene(), state(), command, 1), TN_OK);
  EXPECT_EQ(std::memcmp(before.data(), state(), sizeof(SceneState)), 0);
  EXPECT_EQ(O().navigateStep, step);
  EXPECT_EQ(O().skyDrift, drift);
}

// ---- Flights through the frame driver -------------------------------------------------------

using testgrids::AnswerNo;
using testgrids::DefaultDialog;

// Gentle hills over a 33 x 33 grid of 30 m cells.
std::string SmallHills() {
  const std::string path = GridPath("flight_hills.tif");
  double gt[6];
  NorthUp(gt, 1000, 2000, 30, 30);
  EXPECT_TRUE(WriteGrid(path, 33, 33, gt, GDT_Float32, [](int line, int pixel) {
    return 300 + 40 * std::sin(pixel * 0.2) * std::cos(line * 0.15);
  }));
  return path;
}

// Resident memory of this process, in bytes.
long ResidentBytes() {
  long pages = 0, resident = 0;
  FILE* file = std::fopen("/proc/self/statm", "r");
  if (file == nullptr) return -1;
  const int read = std::fscanf(file, "%ld %ld", &pages, &resident);
  std::fclose(file);
  return read == 2 ? resident * sysconf(_SC_PAGESIZE) : -1;
}

// Memory the process holds on to. Under AddressSanitizer freed blocks stay resident in its
// quarantine (hundreds of MB) for a while, so there the heap bytes in use are measured instead.
long HeldBytes() {
#ifdef T3D_ADDRESS_SANITIZER
  return long(__sanitizer_get_current_allocated_bytes());
#else
  return ResidentBytes();
#endif
}

TEST(FlightFrames, FramesMoveTheEyeAlongTheHostRouteUntilPreparedAgain) {
  testgrids::TestScene w(64, 48, &DefaultDialog, &AnswerNo);
  const std::string grid = SmallHills();
  ASSERT_TRUE(w.Prepare(grid));
  SceneState& s = w.block();
  float points[] = {1100, 1100, 1100, 1800};
  ASSERT_EQ(SetFlyRoutin(w.scene(), w.state(), points, 2), TN_OK);
  ASSERT_EQ(SetFlyFlag(w.scene(), w.state(), 2), TN_OK);
  const float height = s.eyePosition[2];
  ASSERT_EQ(tnDrawScene(w.scene(), w.state()), TN_OK);
  EXPECT_EQ(s.eyePosition[0], 1100);
  EXPECT_NEAR(s.eyePosition[1], 1100 + s.flySpeed, 1e-3);
  EXPECT_EQ(s.eyePosition[2], height);
  // The frame looks where the flight goes: its ground point lies north of the eye.
  EXPECT_NEAR(s.viewCentre[0], 1100, 1);
  EXPECT_GT(s.viewCentre[1], s.eyePosition[1]);

  // The preparation frees the route; the next frame draws and the flight is over.
  ASSERT_TRUE(w.Prepare(grid));
  EXPECT_EQ(s.routeHead, nullptr);
  EXPECT_EQ(tnDrawScene(w.scene(), w.state()), TN_OK);
  EXPECT_EQ(s.flyFlag, 0);
}

TEST(FlightFrames, LongTourKeepsMemoryFlat) {
  testgrids::TestScene w(64, 48, &DefaultDialog, &AnswerNo);
  ASSERT_TRUE(w.Prepare(SmallHills()));
  SceneState& s = w.block();
  ASSERT_EQ(SetFlyFlag(w.scene(), w.state(), 1), TN_OK);
  ASSERT_EQ(s.flyFlag, 1);
  const unsigned loop = RouteFrameCount(s);
  ASSERT_GT(loop, 20u);

  constexpr int kFrames = 5000, kSettle = 500;
  long settledResident = 0, settledHeld = 0;
  float x = s.eyePosition[0], y = s.eyePosition[1];
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_EQ(tnDrawScene(w.scene(), w.state()), TN_OK) << "frame " << i;
    // Smooth all the way round, also where the loop closes.
    ASSERT_LE(std::hypot(s.eyePosition[0] - x, s.eyePosition[1] - y), s.flySpeed + 0.01f)
        << "frame " << i;
    x = s.eyePosition[0];
    y = s.eyePosition[1];
    if (i + 1 == kSettle) {
      settledResident = ResidentBytes();
      settledHeld = HeldBytes();
    }
  }
  const long endResident = ResidentBytes(), endHeld = HeldBytes();
  ASSERT_GT(settledResident, 0);
  ASSERT_GT(settledHeld, 0);
  std::printf(
      "resident memory after %d frames: %.2f MB; after %d frames: %.2f MB "
      "(tour of %u frames)\n",
      kSettle, settledResident / 1048576.0, kFrames, endResident / 1048576.0, loop);
#ifdef T3D_ADDRESS_SANITIZER
  std::printf("heap in use after %d frames: %.2f MB; after %d frames: %.2f MB\n", kSettle,
              settledHeld / 1048576.0, kFrames, endHeld / 1048576.0);
#endif
  EXPECT_LT(endHeld - settledHeld, 2L * 1024 * 1024);
  EXPECT_EQ(s.flyFlag, 1);
  ASSERT_EQ(SetFlyFlag(w.scene(), w.state(), 0), TN_OK);
  EXPECT_EQ(s.routeHead, nullptr);
}

}  // namespace
}  // namespace t3d
