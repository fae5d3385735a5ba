// The eye and view model through the exported functions: azimuths and their reversal, the limits
// of every camera value, the eye placed through a point or by an observer and a target, and the
// ground point picked under a pixel, checked against rays traced through the terrain.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "camera/eye.h"
#include "render/frame.h"
#include "model/mesh_inputs.h"
#include "model/process_objects.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "platform/environment.h"
#include "terrain/surface_mesh.h"
#include "terrain/terrain_area.h"
#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_scene.h"

namespace t3d {
namespace {

using testgrids::GridPath;
using testgrids::NorthUp;
using testgrids::WriteGrid;

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

using testgrids::AnswerNo;
using testgrids::DefaultDialog;

// Rolling hills over a 129 x 129 grid of 30 m cells.
std::string SyntheticHills() { return testgrids::RollingHills("hills.tif"); }

// A plane rising north-east over a 129 x 129 grid of 30 m cells: every level of detail draws it
// as it is, so the drawn surface and the grid's heights agree everywhere.
std::string SlopedPlane() {
  const std::string path = GridPath("plane.tif");
  double gt[6];
  NorthUp(gt, 0, 129 * 30, 30, 30);
  EXPECT_TRUE(WriteGrid(path, 129, 129, gt, GDT_Float32,
                        [](int line, int pixel) { return 300 + 1.5 * pixel - 0.8 * line; }));
  return path;
}

// A scene on a headless window of width x height.
class Renderer : public testgrids::TestScene {
 public:
  Renderer(int width, int height) : TestScene(width, height, &DefaultDialog, &AnswerNo) {}
};

class CameraTest : public ::testing::Test {
 protected:
  void SetUp() override { BaseResetEnvironment(); }
};

// A scene object and state block without a window or terrain: the camera values only.
class Unbound {
 public:
  Unbound() { EXPECT_EQ(tnCreateTin3DDraw(&scene_, &state_), TN_OK); }
  ~Unbound() { tnDeleteTin3DDraw(scene_, state_); }
  void* scene() const { return scene_; }
  void* state() const { return state_; }
  SceneState& block() const { return *static_cast<SceneState*>(state_); }
  SceneObject& object() const { return *static_cast<SceneObject*>(scene_); }

 private:
  void* scene_ = nullptr;
  void* state_ = nullptr;
};

double Azimuth(double ex, double ey, double px, double py) {
  Unbound u;
  u.block().eyePosition[0] = float(ex);
  u.block().eyePosition[1] = float(ey);
  u.block().viewCentre[0] = float(px);
  u.block().viewCentre[1] = float(py);
  float azimuth = -1;
  EXPECT_EQ(GetCurEyeAzimuth(u.scene(), u.state(), &azimuth), TN_OK);
  return azimuth;
}

// ---- Azimuths -------------------------------------------------------------------------------

TEST_F(CameraTest, AzimuthIsTheCompassBearingInEveryQuadrantAndOnTheAxes) {
  // Axes: north 0, east 90, south 180, west 270.
  EXPECT_FLOAT_EQ(Azimuth(0, 0, 0, 10), 0);
  EXPECT_FLOAT_EQ(Azimuth(0, 0, 10, 0), 90);
  EXPECT_FLOAT_EQ(Azimuth(0, 0, 0, -10), 180);
  EXPECT_FLOAT_EQ(Azimuth(0, 0, -10, 0), 270);
  // Quadrants, from an eye away from the origin.
  EXPECT_NEAR(Azimuth(5, 5, 15, 15), 45, 1e-4);
  EXPECT_NEAR(Azimuth(5, 5, 15, -5), 135, 1e-4);
  EXPECT_NEAR(Azimuth(5, 5, -5, -5), 225, 1e-4);
  EXPECT_NEAR(Azimuth(0, 0, -10, 10), 315, 1e-4);
  EXPECT_NEAR(Azimuth(0, 0, 10, 10 * std::sqrt(3.0)), 30, 1e-4);
  EXPECT_NEAR(Azimuth(0, 0, -10, -10 * std::sqrt(3.0)), 210, 1e-4);
  // Points a hair off an axis take the axis; the eye on the point looks west.
  EXPECT_FLOAT_EQ(Azimuth(0, 0, 1e-7, 10), 0);
  EXPECT_FLOAT_EQ(Azimuth(0, 0, 10, 1e-7), 90);
  EXPECT_FLOAT_EQ(Azimuth(3, 4, 3, 4), 270);
}

TEST_F(CameraTest, ViewFromIsReversedAndFlightAzimuthKeptInRange) {
  Unbound u;
  SceneState& s = u.block();
  struct Case {
    float in, viewDir;
  };
  for (const Case c : {Case{0, 180}, Case{180, 360}, Case{270, 90}, Case{90, 270},
                       Case{179.5f, 359.5f}, Case{360, 180}, Case{-30, 180}, Case{400, 180}}) {
    ASSERT_EQ(SetFly_ViewDirAngle(u.scene(), u.state(), 0, c.in), TN_OK);
    EXPECT_FLOAT_EQ(s.viewDirAngle, c.viewDir) << c.in;
    EXPECT_NEAR(s.viewDirSin, std::sin(c.viewDir * kDeg), 1e-6) << c.in;
    EXPECT_NEAR(s.viewDirCos, std::cos(c.viewDir * kDeg), 1e-6) << c.in;
  }
  ASSERT_EQ(SetFly_ViewDirAngle(u.scene(), u.state(), 400, 180), TN_OK);
  EXPECT_FLOAT_EQ(s.flyViewDirAngle, 360);
  EXPECT_FLOAT_EQ(s.viewDirAngle, 360);
  ASSERT_EQ(SetFly_ViewDirAngle(u.scene(), u.state(), -10, 0), TN_OK);
  EXPECT_FLOAT_EQ(s.flyViewDirAngle, 0);
  EXPECT_NEAR(s.flyDirection[0], 0, 1e-7);
  EXPECT_NEAR(s.flyDirection[1], 1, 1e-7);

  // The flight azimuth read back from its direction, west of north included.
  for (float fly : {0.0f, 45.0f, 90.0f, 200.0f, 270.0f, 359.0f}) {
    ASSERT_EQ(SetFly_ViewDirAngle(u.scene(), u.state(), fly, 0), TN_OK);
    float flyBack = -1;
    ASSERT_EQ(GetFly_ViewDirAngle(u.scene(), u.state(), &flyBack, nullptr), TN_OK);
    EXPECT_NEAR(flyBack, fly, 1e-3);
  }
  // A NaN leaves both angles as they were.
  ASSERT_EQ(SetFly_ViewDirAngle(u.scene(), u.state(), 90, 90), TN_OK);
  ASSERT_EQ(SetFly_ViewDirAngle(u.scene(), u.state(), kNaN, kNaN), TN_OK);
  EXPECT_FLOAT_EQ(s.flyViewDirAngle, 90);
  EXPECT_FLOAT_EQ(s.viewDirAngle, 270);

  // "View from" read back: where the eye stands as seen from the view centre.
  s.eyePosition[0] = 0;
  s.eyePosition[1] = 0;
  struct Back {
    float cx, cy, from;
  };
  for (const Back b : {Back{0, 10, 180}, Back{10, 0, 270}, Back{0, -10, 360}, Back{-10, 0, 90},
                       Back{10, 10, 225}}) {
    s.viewCentre[0] = b.cx;
    s.viewCentre[1] = b.cy;
    float from = -1;
    ASSERT_EQ(GetFly_ViewDirAngle(u.scene(), u.state(), nullptr, &from), TN_OK);
    EXPECT_NEAR(from, b.from, 1e-4) << b.cx << "," << b.cy;
  }
}

// ---- Limits ---------------------------------------------------------------------------------

TEST_F(CameraTest, FieldOfViewAndTiltAreLimitedAndTheProjectionFollows) {
  Renderer r(240, 120);
  SceneState& s = r.block();
  auto check = [&](float fov, float tilt, float wantFov, float wantTilt) {
    ASSERT_EQ(SetViewFov_TiltAngle(r.scene(), r.state(), fov, tilt), TN_OK);
    float gotFov = 0, gotTilt = 0;
    ASSERT_EQ(GetViewFov_TiltAngle(r.scene(), r.state(), &gotFov, &gotTilt), TN_OK);
    EXPECT_FLOAT_EQ(gotFov, wantFov) << fov;
    EXPECT_FLOAT_EQ(gotTilt, wantTilt) << tilt;
    // The projection in the window's context takes the new field of view at once.
    EXPECT_NEAR(s.focalLength, 60 / std::tan(wantFov / 2 * kDeg), 1e-3);
    GLdouble projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    EXPECT_NEAR(projection[5], 1 / std::tan(wantFov / 2 * kDeg), 1e-5);
    EXPECT_NEAR(projection[0], projection[5] / 2, 1e-5);  // aspect 2
  };
  check(10, 95, 30, 89);
  check(200, -5, 120, 1);
  check(30, 1, 30, 1);
  check(120, 89, 120, 89);
  check(60, 40, 60, 40);
  check(kNaN, kNaN, 60, 40);
}

TEST_F(CameraTest, EyeIsLimitedToTheEyeRange) {
  Renderer r(160, 120);
  ASSERT_TRUE(r.Prepare(SyntheticHills()));
  const SceneState& s = r.block();
  float range[9];
  ASSERT_EQ(GetEyeRange(r.scene(), r.state(), range, 0), TN_OK);
  const float width = s.xMax - s.xMin;
  // Sets the eye and expects it read back at (x, y, z).
  auto expectEye = [&](float setX, float setY, float setZ, float x, float y, float z) {
    ASSERT_EQ(SetEyeParam(r.scene(), r.state(), setX, setY, setZ), TN_OK);
    float got[3] = {0, 0, 0};
    ASSERT_EQ(GetEyeParam(r.scene(), r.state(), &got[0], &got[1], &got[2]), TN_OK);
    EXPECT_FLOAT_EQ(got[0], x) << setX;
    EXPECT_FLOAT_EQ(got[1], y) << setY;
    EXPECT_FLOAT_EQ(got[2], z) << setZ;
  };
  // A full grid width east and south, below the terrain: a quarter of the grid out, on the top.
  expectEye(s.xMax + width, s.yMin - width, s.zMin, s.xMax + float(s.columnCount / 4) * s.cellSizeX,
            s.yMin - float(s.rowCount / 4) * s.cellSizeY, s.zMax);
  // West, north, far above: the other ends.
  expectEye(-1e9f, 1e9f, 1e9f, range[0], range[4], s.zMax + 2 * (s.zMax - s.zMin));
  // Inside: kept; the view turns towards the view centre from there.
  const float cx = s.terrainCentre[0], cy = s.terrainCentre[1];
  expectEye(cx - 500, cy, s.zMax + 10, cx - 500, cy, s.zMax + 10);
  float cxRead = 0, cyRead = 0;
  ASSERT_EQ(GetCenterParam(r.scene(), r.state(), &cxRead, &cyRead), TN_OK);
  EXPECT_FLOAT_EQ(s.viewDirAngle, float(ViewAzimuth(cx - 500, cy, cxRead, cyRead)));
  // A NaN coordinate keeps the eye's.
  expectEye(kNaN, cy + 100, kNaN, cx - 500, cy + 100, s.zMax + 10);

  // In flight the route owns the view direction.
  r.block().flyFlag = 1;
  r.block().viewDirAngle = 12;
  ASSERT_EQ(SetEyeParam(r.scene(), r.state(), cx + 300, cy + 300, s.zMax + 10), TN_OK);
  EXPECT_FLOAT_EQ(s.viewDirAngle, 12);
  r.block().flyFlag = 0;
}

TEST_F(CameraTest, EyeMoveIsLimitedToItsRange) {
  Renderer r(160, 120);
  ASSERT_TRUE(r.Prepare(SyntheticHills()));
  float info[4];
  ASSERT_EQ(GetEyeMoveInfo(r.scene(), r.state(), info), TN_OK);
  // Preparation leaves the dolly at its start: the eye stands within reach of the terrain.
  EXPECT_FLOAT_EQ(info[0], 0.5f);
  EXPECT_FLOAT_EQ(info[1], 0.5f);
  ASSERT_GT(info[2], info[1]);
  EXPECT_NEAR(info[3], (info[2] - 0.5f) / 50, 1e-6);
  const float minimum = info[1], maximum = info[2];
  struct Case {
    float in, want;
  };
  for (const Case c :
       {Case{-3, minimum}, Case{maximum + 10, maximum}, Case{minimum, minimum},
        Case{maximum, maximum}, Case{(minimum + maximum) / 2, (minimum + maximum) / 2},
        Case{kNaN, (minimum + maximum) / 2}}) {
    ASSERT_EQ(SetEyeMove(r.scene(), r.state(), c.in), TN_OK);
    ASSERT_EQ(GetEyeMoveInfo(r.scene(), r.state(), info), TN_OK);
    EXPECT_FLOAT_EQ(info[0], c.want) << c.in;
  }
  // Without a dolly range (eye out of reach) every distance gives 0.
  r.object().eyeMoveMin = r.object().eyeMoveMax = 0;
  ASSERT_EQ(SetEyeMove(r.scene(), r.state(), 2), TN_OK);
  EXPECT_FLOAT_EQ(r.object().eyeMove, 0);
}

TEST_F(CameraTest, TheDollyReachesTheCornerOfTheDrawnTerrainBox) {
  // Drawn (heights divided by zScale, everything by the scene radius), the terrain box reaches
  // at most one scene unit from its centre each way, and one along its longer side: the dolly's
  // reach, the distance to its corner over tan(fov / 2), lies between 1 and the square root of 3
  // over tan(fov / 2), in the default scaling as in heights kept 1:1.
  for (const std::string& path : {testgrids::kSource + "/data/samples/jacksboro_fault_dem.tif",
                                   SyntheticHills(), SlopedPlane()}) {
    Renderer r(160, 120);
    ASSERT_TRUE(r.Prepare(path));
    float info[4];
    ASSERT_EQ(GetEyeMoveInfo(r.scene(), r.state(), info), TN_OK);
    const double focal = std::tan(r.block().viewFov / 2 * kDeg);
    EXPECT_GE(info[2], 1 / focal - 1e-4) << path;
    EXPECT_LE(info[2], std::sqrt(3.0) / focal + 1e-4) << path;
    EXPECT_NEAR(info[3], (info[2] - 0.5) / 50, 1e-5) << path;
  }
}

// Null handles are refused in api_abuse_test; here, the camera's null outputs and inputs.
TEST_F(CameraTest, NullOutputsAreSkippedAndUnpreparedScenesPickNothing) {
  float three[3] = {1, 2, 3}, two[2] = {1, 2};
  int point[2] = {1, 1};
  double x = 0, y = 0;
  Unbound u;
  EXPECT_EQ(GetFly_ViewDirAngle(u.scene(), u.state(), nullptr, nullptr), TN_OK);
  EXPECT_EQ(GetViewFov_TiltAngle(u.scene(), u.state(), nullptr, nullptr), TN_OK);
  EXPECT_EQ(GetEyeParam(u.scene(), u.state(), nullptr, nullptr, nullptr), TN_OK);
  EXPECT_EQ(GetCenterParam(u.scene(), u.state(), nullptr, nullptr), TN_OK);
  EXPECT_EQ(GetCurEyeAzimuth(u.scene(), u.state(), nullptr), TN_OK);
  EXPECT_EQ(SetViewAngleByObserveParam(u.scene(), u.state(), nullptr, two), TN_OK);
  EXPECT_EQ(GetCurMousePos(u.scene(), u.state(), nullptr, &x, &y), TN_E_FAIL);
  // Without a context and terrain there is nothing to pick, and the pixel stays as given.
  EXPECT_EQ(GetCurMousePos(u.scene(), u.state(), point, nullptr, nullptr), TN_E_FAIL);
  EXPECT_EQ(point[1], 1);
  // Before any terrain is prepared the eye cannot be placed through a point (no vertical scale).
  EXPECT_EQ(SetEyePosByCenterPnt(u.scene(), u.state(), three), TN_OK);
  EXPECT_FLOAT_EQ(three[2], 3);
  EXPECT_TRUE(std::isfinite(u.block().eyePosition[0]));
}

// ---- Placing the eye ------------------------------------------------------------------------

// The unit view axis of the state: along the view azimuth, tilted down by viewTilt.
void ViewAxis(const SceneState& s, double d[3]) {
  const double a = s.viewDirAngle * kDeg, t = s.viewTilt * kDeg;
  d[0] = std::sin(a) * std::cos(t);
  d[1] = std::cos(a) * std::cos(t);
  d[2] = -std::sin(t);
}

// Distance (map units) from point p to the line through the eye along the view axis.
double DistanceFromViewAxis(const SceneState& s, const double p[3]) {
  double d[3];
  ViewAxis(s, d);
  const double v[3] = {p[0] - s.eyePosition[0], p[1] - s.eyePosition[1], p[2] - s.eyePosition[2]};
  const double along = v[0] * d[0] + v[1] * d[1] + v[2] * d[2];
  const double off[3] = {v[0] - along * d[0], v[1] - along * d[1], v[2] - along * d[2]};
  return std::sqrt(off[0] * off[0] + off[1] * off[1] + off[2] * off[2]);
}

// Point p (map x, y and a height already divided by zScale) lies ahead of the eye on its view
// axis, and so does the ground point of the frame's footprint.
void ExpectViewAxisThrough(Renderer& r, const float p[3], const char* what) {
  SceneState& s = r.block();
  const double target[3] = {p[0], p[1], p[2]};
  EXPECT_LT(DistanceFromViewAxis(s, target), 0.01) << what;
  double d[3];
  ViewAxis(s, d);
  EXPECT_GE((p[0] - s.eyePosition[0]) * d[0] + (p[1] - s.eyePosition[1]) * d[1], -1e-3) << what;
  Footprint full, near;
  ComputeFootprints(r.object(), s, full, near);
  const double ground[3] = {full.ground[0], full.ground[1], full.ground[2]};
  EXPECT_LT(DistanceFromViewAxis(s, ground), 0.01) << what;
}

TEST_F(CameraTest, EyePlacedThroughAPointKeepsItsHeightAndSeesThePoint) {
  Renderer r(160, 120);
  ASSERT_TRUE(r.Prepare(SyntheticHills()));
  SceneState& s = r.block();
  const float cx = s.terrainCentre[0], cy = s.terrainCentre[1];
  // The prepared eye stands north-east of the centre.
  ASSERT_GT(s.eyePosition[0], cx);
  ASSERT_GT(s.eyePosition[1], cy);
  const float eyeHeight = s.eyePosition[2];
  const float centreHeight = s.terrainCentre[2];

  // A point on the eye's side of the centre, above the centre height.
  float p[3] = {cx + 300, cy + 200, centreHeight + 20};
  const double towardP = ViewAzimuth(s.eyePosition[0], s.eyePosition[1], p[0], p[1]);
  ASSERT_EQ(SetEyePosByCenterPnt(r.scene(), r.state(), p), TN_OK);
  EXPECT_FLOAT_EQ(p[2], (centreHeight + 20) / s.zScale);
  EXPECT_FLOAT_EQ(s.eyePosition[2], eyeHeight);
  EXPECT_NEAR(s.viewDirAngle, towardP, 1e-3);
  EXPECT_FLOAT_EQ(s.viewCentre[0], cx + 300);
  ExpectViewAxisThrough(r, p, "same side");

  // A point below the centre height is raised to it.
  float low[3] = {cx + 100, cy + 400, s.zMin * s.zScale};
  ASSERT_EQ(SetEyePosByCenterPnt(r.scene(), r.state(), low), TN_OK);
  EXPECT_FLOAT_EQ(low[2], centreHeight / s.zScale);
  ExpectViewAxisThrough(r, low, "raised");

  // Eye north-east, point south-west of the centre: the view turns round, the eye steps beyond
  // the point and looks back over the terrain.
  float eye[3] = {cx + 800, cy + 800, eyeHeight};
  float centre[2] = {cx, cy};
  ASSERT_EQ(SetEyeCenterPosition(r.scene(), r.state(), eye, centre), TN_OK);
  float far[3] = {cx - 600, cy - 500, centreHeight + 10};
  const double awayFromEye = ViewAzimuth(eye[0], eye[1], far[0], far[1]);
  ASSERT_EQ(SetEyePosByCenterPnt(r.scene(), r.state(), far), TN_OK);
  EXPECT_NEAR(s.viewDirAngle, std::fmod(awayFromEye + 180, 360), 1e-3);
  EXPECT_GE(s.viewDirAngle, 0);
  EXPECT_LT(s.eyePosition[0], far[0]);
  EXPECT_LT(s.eyePosition[1], far[1]);
  ExpectViewAxisThrough(r, far, "opposite side");

  // A point higher than the eye is taken at the eye's height: the eye stands on it rather than in
  // front of it looking away.
  float high[3] = {cx - 200, cy + 100, (eyeHeight + 500) * s.zScale};
  ASSERT_EQ(SetEyePosByCenterPnt(r.scene(), r.state(), high), TN_OK);
  EXPECT_NEAR(high[2], eyeHeight, 1e-3);
  EXPECT_NEAR(s.eyePosition[0], high[0], 0.01);
  EXPECT_NEAR(s.eyePosition[1], high[1], 0.01);
  for (float v : s.eyePosition) EXPECT_TRUE(std::isfinite(v));
}

TEST_F(CameraTest, ObserverAndTargetAimTheViewAtTheLowestHeightThere) {
  Renderer r(160, 120);
  ASSERT_TRUE(r.Prepare(SyntheticHills()));
  SceneState& s = r.block();
  const float cx = s.terrainCentre[0], cy = s.terrainCentre[1];
  const float eyeHeight = s.eyePosition[2];

  // Identical points: nothing in the state changes.
  const auto* bytes = reinterpret_cast<const uint8_t*>(&s);
  const std::vector<uint8_t> before(bytes, bytes + sizeof s);
  float same[2] = {cx + 10, cy - 10};
  ASSERT_EQ(SetViewAngleByObserveParam(r.scene(), r.state(), same, same), TN_OK);
  EXPECT_EQ(std::memcmp(before.data(), &s, sizeof s), 0);

  struct Case {
    float ex, ey, tx, ty;
  };
  for (const Case c : {Case{cx - 900, cy - 300, cx + 200, cy + 400},
                       Case{cx + 500, cy, cx - 500, cy}, Case{cx, cy + 700, cx, cy - 100},
                       // Due south of the target, a float step off its column and far away: the
                       // azimuth rounds onto the axis, the tilt must not drop to 0.
                       Case{cx, cy - 7000, std::nextafter(cx, 1e9f), cy + 1000}}) {
    float eye[2] = {c.ex, c.ey}, target[2] = {c.tx, c.ty};
    ASSERT_EQ(SetViewAngleByObserveParam(r.scene(), r.state(), eye, target), TN_OK);
    EXPECT_FLOAT_EQ(s.eyePosition[0], c.ex);
    EXPECT_FLOAT_EQ(s.eyePosition[1], c.ey);
    EXPECT_FLOAT_EQ(s.eyePosition[2], eyeHeight);
    EXPECT_FLOAT_EQ(s.viewCentre[0], c.tx);
    EXPECT_FLOAT_EQ(s.viewCentre[1], c.ty);
    EXPECT_NEAR(s.viewDirAngle, ViewAzimuth(c.ex, c.ey, c.tx, c.ty), 1e-4);
    const double distance = std::hypot(double(c.tx) - c.ex, double(c.ty) - c.ey);
    const double tilt = std::atan((eyeHeight - s.zMin) / distance) / kDeg;
    EXPECT_NEAR(s.viewTilt, tilt, 1e-4) << c.ex << "," << c.ey;
    // The view axis meets the lowest height at the target.
    const float target3[3] = {c.tx, c.ty, s.zMin};
    ExpectViewAxisThrough(r, target3, "observer");
  }

  // SetEyeCenterPosition shares the aim: the same eye and centre give the same tilt.
  float eye[3] = {cx - 900, cy - 300, eyeHeight};
  float centre[2] = {cx + 200, cy + 400};
  ASSERT_EQ(SetEyeCenterPosition(r.scene(), r.state(), eye, centre), TN_OK);
  EXPECT_NEAR(s.viewTilt, std::atan((eyeHeight - s.zMin) / std::hypot(1100.0, 700.0)) / kDeg, 1e-4);
  // A NaN in the eye keeps the current coordinate; a NaN centre changes nothing.
  float nanEye[3] = {kNaN, cy - 500, kNaN};
  ASSERT_EQ(SetEyeCenterPosition(r.scene(), r.state(), nanEye, centre), TN_OK);
  EXPECT_FLOAT_EQ(nanEye[0], cx - 900);
  EXPECT_FLOAT_EQ(nanEye[2], eyeHeight);
  EXPECT_FLOAT_EQ(s.eyePosition[1], cy - 500);
  float nanCentre[2] = {kNaN, cy};
  const float tiltKept = s.viewTilt;
  ASSERT_EQ(SetEyeCenterPosition(r.scene(), r.state(), eye, nanCentre), TN_OK);
  EXPECT_FLOAT_EQ(s.viewCentre[0], centre[0]);
  EXPECT_FLOAT_EQ(s.viewTilt, tiltKept);
}

// ---- Picking --------------------------------------------------------------------------------

// The ray from the camera through the centre of pixel (column, row from the top), in scene units.
// The camera is the frame's: the eye at eyePosition, looking along the view azimuth tilted down by
// viewTilt, up +Z, vertical field of view viewFov; display method 0 moves it back along the view
// axis by the dolly (the scene is pushed away from it).
struct Ray {
  double origin[3];
  double direction[3];  // unit
};

Ray PixelRay(const SceneState& s, int width, int height, int column, int row, double dolly = 0) {
  const SceneOrigin origin = SceneOriginOf(s);
  const double eye[3] = {origin.SceneX(s.eyePosition[0]), origin.SceneY(s.eyePosition[1]),
                         s.eyePosition[2] / origin.radius};
  double f[3];
  ViewAxis(s, f);
  double side[3] = {f[1], -f[0], 0};
  const double sideLength = std::hypot(side[0], side[1]);
  for (double& v : side) v /= sideLength;
  const double up[3] = {side[1] * f[2] - side[2] * f[1], side[2] * f[0] - side[0] * f[2],
                        side[0] * f[1] - side[1] * f[0]};
  const double halfHeight = std::tan(s.viewFov / 2 * kDeg);
  const double halfWidth = halfHeight * width / height;
  const double nx = (column + 0.5) / width * 2 - 1, ny = 1 - (row + 0.5) / height * 2;
  Ray ray;
  double length = 0;
  for (int i = 0; i < 3; ++i) {
    ray.direction[i] = f[i] + side[i] * nx * halfWidth + up[i] * ny * halfHeight;
    length += ray.direction[i] * ray.direction[i];
    ray.origin[i] = eye[i] - dolly * f[i];
  }
  for (double& v : ray.direction) v /= std::sqrt(length);
  return ray;
}

// Where the ray first meets the bilinear terrain surface (cell heights are scene units), in map
// units; false when it leaves the grid first.
bool HitTerrain(const SceneState& s, const Ray& ray, double hit[2]) {
  TerrainArea& area = *g_process.terrainArea;
  const SceneOrigin origin = SceneOriginOf(s);
  const double r = origin.radius;
  const double* e = ray.origin;
  const double* d = ray.direction;
  auto above = [&](double t) {
    return e[2] + t * d[2] -
           area.HeightAtPoint(GridOf(s), origin.MapX(e[0] + t * d[0]), origin.MapY(e[1] + t * d[1]));
  };
  auto inside = [&](double t) {
    const double x = origin.MapX(e[0] + t * d[0]), y = origin.MapY(e[1] + t * d[1]);
    return x >= s.xMin && x <= s.xMax && y >= s.yMin && y <= s.yMax;
  };
  const double step = 0.05 * std::min(s.cellSizeX, s.cellSizeY) / r;
  bool entered = false;
  for (double t = 0; t < 20; t += step) {
    const bool in = inside(t);
    if (entered && !in) return false;
    entered = entered || in;
    if (in && above(t) <= 0) {
      double lo = t - step, hi = t;
      for (int k = 0; k < 60; ++k) {
        const double mid = (lo + hi) / 2;
        (above(mid) > 0 ? lo : hi) = mid;
      }
      hit[0] = origin.MapX(e[0] + hi * d[0]);
      hit[1] = origin.MapY(e[1] + hi * d[1]);
      return true;
    }
  }
  return false;
}

// The triangles the last frame drew, in scene units.
struct DrawnSurface {
  std::vector<double> corners;  // 9 a triangle
  void Take(const SurfaceMesh& mesh) {
    corners.clear();
    for (uint32_t index : mesh.indices)
      for (int k = 0; k < 3; ++k) corners.push_back(mesh.vertices[index].position[k]);
  }
};

// Where the ray first meets a drawn triangle, in map units.
bool HitDrawn(const SceneState& s, const DrawnSurface& surface, const Ray& ray, double hit[2]) {
  double nearest = std::numeric_limits<double>::infinity();
  const double* o = ray.origin;
  const double* d = ray.direction;
  for (size_t i = 0; i + 9 <= surface.corners.size(); i += 9) {
    const double* a = &surface.corners[i];
    const double e1[3] = {a[3] - a[0], a[4] - a[1], a[5] - a[2]};
    const double e2[3] = {a[6] - a[0], a[7] - a[1], a[8] - a[2]};
    const double p[3] = {d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2],
                         d[0] * e2[1] - d[1] * e2[0]};
    const double det = e1[0] * p[0] + e1[1] * p[1] + e1[2] * p[2];
    if (std::fabs(det) < 1e-18) continue;
    const double tv[3] = {o[0] - a[0], o[1] - a[1], o[2] - a[2]};
    const double u = (tv[0] * p[0] + tv[1] * p[1] + tv[2] * p[2]) / det;
    if (u < 0 || u > 1) continue;
    const double q[3] = {tv[1] * e1[2] - tv[2] * e1[1], tv[2] * e1[0] - tv[0] * e1[2],
                         tv[0] * e1[1] - tv[1] * e1[0]};
    const double v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) / det;
    if (v < 0 || u + v > 1) continue;
    const double t = (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) / det;
    if (t > 0 && t < nearest) nearest = t;
  }
  if (!std::isfinite(nearest)) return false;
  const SceneOrigin origin = SceneOriginOf(s);
  hit[0] = origin.MapX(o[0] + nearest * d[0]);
  hit[1] = origin.MapY(o[1] + nearest * d[1]);
  return true;
}

struct PickErrors {
  int picks = 0;
  double worst = 0, sum = 0;
  void Add(double cells) {
    ++picks;
    worst = std::max(worst, cells);
    sum += cells;
  }
  void Add(const PickErrors& other) {
    picks += other.picks;
    sum += other.sum;
    worst = std::max(worst, other.worst);
  }
  double mean() const { return picks > 0 ? sum / picks : 0; }
};

enum class Against { kDrawnSurface, kTerrain };

// Draws a frame, then picks every eighth pixel of it and compares each picked point with where
// the pixel's ray meets the surface.
PickErrors PickAcrossAFrame(Renderer& r, Against against, double dolly = 0) {
  const int drawn = tnDrawScene(r.scene(), r.state());
  EXPECT_EQ(drawn, TN_OK);
  // The frame's mesh, built again for the same view.
  Footprint full, near;
  ComputeFootprints(r.object(), r.block(), full, near);
  SurfaceMesh mesh;
  BuildSurfaceMesh(MeshViewOf(r.block()), ColouringOf(r.block()), *g_process.terrainArea, full,
                   near, false, false, mesh);
  DrawnSurface surface;
  surface.Take(mesh);

  const SceneState& s = r.block();
  const double cell = std::max(s.cellSizeX, s.cellSizeY);
  PickErrors errors;
  for (int row = 4; row < r.height(); row += 8) {
    for (int column = 4; column < r.width(); column += 8) {
      const Ray ray = PixelRay(s, r.width(), r.height(), column, row, dolly);
      double hit[2] = {0, 0};
      const bool traced = against == Against::kDrawnSurface ? HitDrawn(s, surface, ray, hit)
                                                            : HitTerrain(s, ray, hit);
      int point[2] = {column, row};
      double x = 0, y = 0;
      const bool picked = GetCurMousePos(r.scene(), r.state(), point, &x, &y) == TN_OK;
      EXPECT_EQ(point[1], r.height() - 1 - row);
      const bool onGrid =
          hit[0] >= s.xMin && hit[0] <= s.xMax && hit[1] >= s.yMin && hit[1] <= s.yMax;
      if (!traced || !onGrid) continue;
      EXPECT_TRUE(picked) << column << "," << row;
      if (picked) errors.Add(std::hypot(x - hit[0], y - hit[1]) / cell);
    }
  }
  return errors;
}

struct View {
  const char* name;
  float eye[3];
  float centre[2];
  float fov;
};

void Place(Renderer& r, const View& view) {
  float eye[3] = {view.eye[0], view.eye[1], view.eye[2]};
  float centre[2] = {view.centre[0], view.centre[1]};
  ASSERT_EQ(SetEyeCenterPosition(r.scene(), r.state(), eye, centre), TN_OK);
  ASSERT_EQ(SetViewFov_TiltAngle(r.scene(), r.state(), view.fov, r.block().viewTilt), TN_OK);
}

std::vector<View> TestViews(const SceneState& s) {
  const float cx = s.terrainCentre[0], cy = s.terrainCentre[1];
  return {
      {"prepared view", {s.eyePosition[0], s.eyePosition[1], s.eyePosition[2]}, {cx, cy}, 45},
      {"steep from the south-west", {cx - 600, cy - 900, s.zMax + 300}, {cx + 200, cy + 300}, 60},
      {"low from the west", {s.xMin - 300, cy + 200, s.zMax + 5}, {cx, cy}, 45},
      {"wide from the north", {cx + 100, s.yMax + 200, s.zMax + 150}, {cx - 100, cy - 400}, 100},
  };
}

void Report(const char* what, const char* view, const PickErrors& errors) {
  std::printf("%s, %s: %d picks, worst %.3f cells, mean %.3f cells\n", what, view, errors.picks,
              errors.worst, errors.mean());
}

// Every pixel shows the drawn surface; the pick must find where the pixel's ray meets it. Where
// the drawn surface is the grid's own (a plane), the picks also meet the terrain's heights: map
// units, the vertical scale and the scene unit all come out right.
TEST_F(CameraTest, PickedPointsLieWhereThePixelRaysMeetTheSurface) {
  Renderer r(320, 240);
  const struct {
    const char* what;
    std::string grid;
    Against against;
  } surfaces[] = {
      {"3D picking against the drawn surface", SyntheticHills(), Against::kDrawnSurface},
      {"3D picking against the terrain", SlopedPlane(), Against::kTerrain},
      {"3D picking far from the map's origin (a UTM grid's northings)",
       testgrids::RollingHills("far_hills.tif", nullptr, 500000, 9100000), Against::kDrawnSurface}};
  for (const auto& surface : surfaces) {
    SCOPED_TRACE(surface.what);
    ASSERT_TRUE(r.Prepare(surface.grid));
    ASSERT_NE(r.block().zScale, 1.0f);  // heights are rescaled: the units are put to the test
    PickErrors all;
    for (const View& view : TestViews(r.block())) {
      Place(r, view);
      const PickErrors errors = PickAcrossAFrame(r, surface.against);
      Report(surface.what, view.name, errors);
      EXPECT_GT(errors.picks, 300) << view.name;
      EXPECT_LE(errors.worst, 1.0) << view.name;
      all.Add(errors);
    }
    Report(surface.what, "all views", all);
  }

  // Display method 0 moves the camera back by eyeMove; the frame's matrices carry the dolly, and
  // so do the picks.
  ASSERT_TRUE(r.Prepare(surfaces[0].grid));
  Place(r, TestViews(r.block())[0]);
  ASSERT_EQ(SetDispMethod(r.scene(), r.state(), 0), TN_OK);
  float info[4];
  ASSERT_EQ(GetEyeMoveInfo(r.scene(), r.state(), info), TN_OK);
  ASSERT_GT(info[2], info[1]);
  const float dolly = info[1] + 10 * info[3];
  ASSERT_EQ(SetEyeMove(r.scene(), r.state(), dolly), TN_OK);
  const PickErrors errors = PickAcrossAFrame(r, Against::kDrawnSurface, dolly);
  Report(surfaces[0].what, "dolly", errors);
  EXPECT_GT(errors.picks, 300);
  EXPECT_LE(errors.worst, 1.0);
}

TEST_F(CameraTest, PickingOutsideTheTerrainOrTheWindowFindsNothing) {
  Renderer r(320, 240);
  ASSERT_TRUE(r.Prepare(SyntheticHills()));
  SceneState& s = r.block();
  // Looking level over the terrain from its edge: the top rows show only the background.
  float eye[3] = {s.xMin, s.terrainCentre[1], s.zMax};
  float centre[2] = {s.xMax, s.terrainCentre[1]};
  ASSERT_EQ(SetEyeCenterPosition(r.scene(), r.state(), eye, centre), TN_OK);
  ASSERT_EQ(tnDrawScene(r.scene(), r.state()), TN_OK);
  // A background pixel finds no surface, but its point is written: the far side of the view
  // volume under the pixel, far east of the eye and straight ahead of it.
  double x = 12345, y = 12345;
  int sky[2] = {160, 0};
  EXPECT_EQ(GetCurMousePos(r.scene(), r.state(), sky, &x, &y), TN_E_FAIL);
  EXPECT_EQ(sky[1], 239);  // flipped in place all the same
  EXPECT_GT(x, s.xMax);
  EXPECT_LT(std::fabs(y - s.terrainCentre[1]), 0.01 * (x - s.xMin));
  // Pixels beyond the window on every side have no point: x and y are left alone.
  const int outside[4][2] = {{-1, 100}, {320, 100}, {100, -1}, {100, 240}};
  for (const auto& pixel : outside) {
    int point[2] = {pixel[0], pixel[1]};
    x = y = 12345;
    EXPECT_EQ(GetCurMousePos(r.scene(), r.state(), point, &x, &y), TN_E_FAIL);
    EXPECT_EQ(point[1], 239 - pixel[1]);
    EXPECT_TRUE(x == 12345 && y == 12345);
  }
  // Pixels the frame's viewport leaves out (a viewport narrower than the window, as a host may
  // set before the next reshape) show no surface either; their points are written.
  ASSERT_TRUE(r.object().MakeWindowCurrent(s));
  glViewport(0, 0, 160, 240);
  int beside[2] = {240, 239};
  x = y = 12345;
  EXPECT_EQ(GetCurMousePos(r.scene(), r.state(), beside, &x, &y), TN_E_FAIL);
  EXPECT_TRUE(x != 12345 && y != 12345);
  ASSERT_EQ(tnReshape(r.scene(), r.state(), 320, 240), TN_OK);
  ASSERT_EQ(tnDrawScene(r.scene(), r.state()), TN_OK);
  // The bottom row shows the terrain close in front of the eye.
  int ground[2] = {160, 239};
  EXPECT_EQ(GetCurMousePos(r.scene(), r.state(), ground, &x, &y), TN_OK);
  EXPECT_EQ(ground[1], 0);
  EXPECT_GT(x, s.xMin);
  EXPECT_LT(x, s.terrainCentre[0]);
}

// Outputs draw on their own context and leave the window's picture as it was: picking after a
// hill shade or a 3D picture finds what it found before, in the 3D view and in the plan view,
// and the next frame is the same frame.
TEST_F(CameraTest, OutputsLeavePickingInTheWindowsPicture) {
  Renderer r(320, 240);
  ASSERT_TRUE(r.Prepare(SyntheticHills()));
  TnOutputRequest shade = testgrids::OutputRequest(TN_OUTPUT_BMP, GridPath("pick-shade.bmp"), 80, 60);
  shade.hillShade = 1;
  const TnOutputRequest view = testgrids::OutputRequest(TN_OUTPUT_BMP, GridPath("pick-view.bmp"), 200, 150);
  auto pick = [&](int column, int row, double& x, double& y) {
    int point[2] = {column, row};
    return GetCurMousePos(r.scene(), r.state(), point, &x, &y);
  };
  for (const bool plan : {false, true}) {
    SCOPED_TRACE(plan ? "plan view" : "3D view");
    ASSERT_EQ(plan ? tnDraw2DScene(r.scene(), r.state()) : tnDrawScene(r.scene(), r.state()), TN_OK);
    const std::vector<uint8_t> frame = r.pixels();
    double x0 = 0, y0 = 0;
    ASSERT_EQ(pick(160, 200, x0, y0), TN_OK);
    for (TnOutputRequest request : {shade, view}) {
      ASSERT_EQ(tnOutput3DScene(r.scene(), r.state(), &request), TN_OK) << request.path;
      EXPECT_EQ(r.object().planeMode, plan ? 1 : 0);
      double x = 0, y = 0;
      EXPECT_EQ(pick(160, 200, x, y), TN_OK) << request.path;
      EXPECT_EQ(x, x0) << request.path;
      EXPECT_EQ(y, y0) << request.path;
    }
    ASSERT_EQ(plan ? tnDraw2DScene(r.scene(), r.state()) : tnDrawScene(r.scene(), r.state()), TN_OK);
    EXPECT_TRUE(r.pixels() == frame);
  }
}

// A flat square grid of 65 x 65 nodes 30 m apart with a raised block: the plan view shows the
// block in another colour, its edges half-way between the last low and the first high nodes.
struct Block {
  std::string path;
  double west, east, south, north;  // edges of the block in map units
};

Block RaisedBlock() {
  Block block;
  block.path = GridPath("block.tif");
  const double size = 30, top = 65 * size;
  // Node (line, pixel) stands at x = (pixel + 0.5) x size, y = top - (line + 0.5) x size.
  const int firstColumn = 20, lastColumn = 40, firstLine = 15, lastLine = 45;
  block.west = (firstColumn - 0.5 + 0.5) * size;
  block.east = (lastColumn + 0.5 + 0.5) * size;
  block.north = top - (firstLine - 0.5 + 0.5) * size;
  block.south = top - (lastLine + 0.5 + 0.5) * size;
  double gt[6];
  NorthUp(gt, 0, top, size, size);
  EXPECT_TRUE(WriteGrid(block.path, 65, 65, gt, GDT_Float32, [&](int line, int pixel) {
    // The lowest and the highest heights only at two corners: the plan view's depth limits stand
    // on them.
    if (line == 0 && pixel == 0) return 0.0;
    if (line == 64 && pixel == 64) return 100.0;
    const bool raised =
        pixel >= firstColumn && pixel <= lastColumn && line >= firstLine && line <= lastLine;
    return raised ? 90.0 : 10.0;
  }));
  return block;
}

TEST_F(CameraTest, PlanViewPicksTheMapPointUnderThePixel) {
  Renderer r(320, 240);
  const Block block = RaisedBlock();
  ASSERT_TRUE(r.Prepare(block.path));
  ASSERT_EQ(SetLightFlag(r.scene(), r.state(), 0), TN_OK);
  ASSERT_EQ(tnDraw2DScene(r.scene(), r.state()), TN_OK);
  const SceneState& s = r.block();
  const double cell = s.cellSizeX;

  // How far a pixel's colour lies from the ground's colour towards the block's (0 .. 1); -1 for
  // colours off the blend of the two (the background).
  auto blockness = [&](int column, int row, const uint8_t* low, const uint8_t* high) {
    const uint8_t* p = r.Pixel(column, row);
    double num = 0, den = 0;
    for (int c = 0; c < 3; ++c) {
      num += (double(p[c]) - low[c]) * (double(high[c]) - low[c]);
      den += (double(high[c]) - low[c]) * (double(high[c]) - low[c]);
    }
    const double t = den > 0 ? num / den : 0;
    double off = 0;
    for (int c = 0; c < 3; ++c) {
      const double blend = low[c] + t * (double(high[c]) - low[c]);
      off += (p[c] - blend) * (p[c] - blend);
    }
    return off < 20 * 20 ? t : -1.0;
  };
  auto pick = [&](int column, int row, double& x, double& y) {
    int point[2] = {column, row};
    return GetCurMousePos(r.scene(), r.state(), point, &x, &y) == TN_OK;
  };
  // Reference colours: the picture's centre row far west (ground) and the block's middle.
  double x = 0, y = 0;
  int lowColumn = -1, highColumn = -1, midRow = -1;
  for (int column = 0; column < r.width(); ++column) {
    for (int row = 0; row < r.height(); ++row) {
      if (!pick(column, row, x, y)) continue;
      if (lowColumn < 0 && x > s.xMin + 2 * cell && x < block.west - 3 * cell &&
          std::fabs(y - (block.north + block.south) / 2) < cell) {
        lowColumn = column;
        midRow = row;
      }
      if (highColumn < 0 && std::fabs(x - (block.west + block.east) / 2) < cell &&
          std::fabs(y - (block.north + block.south) / 2) < cell)
        highColumn = column;
    }
  }
  ASSERT_GE(lowColumn, 0);
  ASSERT_GE(highColumn, 0);
  uint8_t low[3], high[3];
  std::copy(r.Pixel(lowColumn, midRow), r.Pixel(lowColumn, midRow) + 3, low);
  std::copy(r.Pixel(highColumn, midRow), r.Pixel(highColumn, midRow) + 3, high);
  ASSERT_GT(std::abs(int(low[0]) - int(high[0])) + std::abs(int(low[1]) - int(high[1])) +
                std::abs(int(low[2]) - int(high[2])),
            60);

  // Along each picture row across the block's middle, the first pixel past half-way to the
  // block's colour is its west edge and the last its east edge; along each column, its north edge
  // (the top of the picture is north) and its south edge. Lines within 3 cells of the block's
  // other edges are left out. The picked points must lie on the edges.
  PickErrors errors;
  int widest = 0;
  auto scan = [&](bool rows) {
    auto at = [&](int line, int i) { return rows ? pick(i, line, x, y) : pick(line, i, x, y); };
    for (int line = 0; line < (rows ? r.height() : r.width()); ++line) {
      int first = -1, last = -1;
      for (int i = 0; i < (rows ? r.width() : r.height()); ++i) {
        if ((rows ? blockness(i, line, low, high) : blockness(line, i, low, high)) >= 0.5) {
          if (first < 0) first = i;
          last = i;
        }
      }
      if (first < 0 || !at(line, first)) continue;
      if (rows ? y < block.south + 3 * cell || y > block.north - 3 * cell
               : x < block.west + 3 * cell || x > block.east - 3 * cell)
        continue;
      if (rows) widest = std::max(widest, last - first + 1);
      errors.Add(std::fabs(rows ? x - block.west : y - block.north) / cell);
      ASSERT_TRUE(at(line, last));
      errors.Add(std::fabs(rows ? x - block.east : y - block.south) / cell);
    }
  };
  scan(true);
  const int rowsAcross = errors.picks;
  scan(false);
  std::printf("plan view picking: %d edge picks, worst %.3f cells, mean %.3f cells\n", errors.picks,
              errors.worst, errors.mean());
  EXPECT_GT(rowsAcross, 2 * 60);
  EXPECT_GT(errors.picks - rowsAcross, 2 * 40);
  EXPECT_LE(errors.worst, 1.0);
  // Closer than that: the centre of the first pixel past an edge lies less than a pixel beyond
  // it, so must its pick (a pick a row or a column off would not).
  const double pixelCells = (block.east - block.west) / widest / cell;
  EXPECT_LT(errors.worst, pixelCells);

  // The next 3D frame picks in perspective again.
  ASSERT_EQ(tnDrawScene(r.scene(), r.state()), TN_OK);
  EXPECT_EQ(r.object().planeMode, 0);
  double hit[2];
  ASSERT_TRUE(HitTerrain(s, PixelRay(s, r.width(), r.height(), 160, 200), hit));
  ASSERT_TRUE(pick(160, 200, x, y));
  EXPECT_LE(std::hypot(x - hit[0], y - hit[1]) / cell, 1.0);
}

}  // namespace
}  // namespace t3d
