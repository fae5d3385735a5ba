#include "camera/flight.h"
#include "base/math.h"

#include <cmath>
#include <limits>
#include <new>

#include "camera/eye.h"
#include "model/fly_route.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "base/curve_density.h"

namespace t3d {
namespace {

// Segments and distances shorter than this (map units) have no direction.
constexpr double kTiny = 1e-6;
// Points one rounded corner of the tour may have; its legs are one cell long, so it needs three.
constexpr int kCornerPoints = 64;

float Limit(float value, float low, float high) {
  if (value < low) return low;
  if (value > high) return high;
  return value;
}

// The inner rectangle of the built-in tour: a quarter and three quarters of the grid each way.
struct TourRectangle {
  double x1, x3, y1, y3;
};

TourRectangle TourCorners(const SceneState& state) {
  return {state.columnCount * 0.25 * state.cellSizeX + state.xMin,
          state.columnCount * 0.75 * state.cellSizeX + state.xMin,
          state.rowCount * 0.25 * state.cellSizeY + state.yMin,
          state.rowCount * 0.75 * state.cellSizeY + state.yMin};
}

// Builds a route into the state block: nodes are appended after the last one (kept at hand, so
// long routes build in linear time) and owned through routeHead from the first on.
class RouteWriter {
 public:
  explicit RouteWriter(SceneState& state) : state_(state) { FreeFlyRoute(state_); }

  bool Append(double x, double y) {
    if (state_.routeNodeCount >= kMaxRouteNodes) return false;
    FlyRouteNode* node = new (std::nothrow) FlyRouteNode;
    if (node == nullptr) return false;
    node->x = float(x);
    node->y = float(y);
    if (tail_ != nullptr) tail_->next = node;
    else state_.routeHead = node;
    tail_ = node;
    ++state_.routeNodeCount;
    return true;
  }

  // The route is complete: the flight starts at its first node, where the eye moves.
  bool Finish() {
    if (state_.routeHead == nullptr) return false;
    state_.routeCurrent = state_.routeHead;
    state_.eyePosition[0] = state_.routeHead->x;
    state_.eyePosition[1] = state_.routeHead->y;
    return true;
  }

  // The route cannot be built: nothing of it stays.
  bool Fail() {
    FreeFlyRoute(state_);
    tail_ = nullptr;
    return false;
  }

 private:
  SceneState& state_;
  FlyRouteNode* tail_ = nullptr;
};

// The point at distance r from (cx, cy) towards (px, py); the corner itself when they meet.
void Towards(double cx, double cy, double px, double py, double r, double& x, double& y) {
  const double dx = px - cx, dy = py - cy, length = std::hypot(dx, dy);
  if (length < kTiny) {
    x = cx;
    y = cy;
    return;
  }
  x = cx + dx * r / length;
  y = cy + dy * r / length;
}

}  // namespace

void RestoreView(SceneObject& scene, SceneState& state) {
  state.viewCentre[0] = state.terrainCentre[0];
  state.viewCentre[1] = state.terrainCentre[1];
  state.eyePosition[0] = state.viewCentre[0] + (state.xMax - state.xMin) / 4;
  state.eyePosition[1] = state.viewCentre[1] + (state.yMax - state.yMin) / 4;
  state.eyePosition[2] = state.zMax + EyeHeightSpan(state);
  UpdateViewDirection(state);
  UpdateEyeMoveLimits(scene, state);
}

void RestoreInitialDisplay(SceneObject& scene, SceneState& state) {
  state.viewTilt = 25;
  RestoreView(scene, state);
}

void SetFlight(SceneObject& scene, SceneState& state, int flag) {
  state.flyFlag = flag;
  if (flag == 1) {
    if (!BuildTour(state)) state.flyFlag = 0;
  } else if (flag != 0) {
    // The host's route, as it stands.
    if (state.routeNodeCount == 0 || state.routeHead == nullptr) state.flyFlag = 0;
  } else {
    FreeFlyRoute(state);
    RestoreView(scene, state);
  }
}

bool BuildTour(SceneState& state) {
  RouteWriter route(state);
  // Without a prepared grid there is nothing to fly round.
  if (state.columnCount < 2 || state.rowCount < 2 || !(state.cellSizeX > 0) ||
      !(state.cellSizeY > 0))
    return route.Fail();
  const TourRectangle t = TourCorners(state);
  double s = state.cellSizeX < state.cellSizeY ? state.cellSizeX : state.cellSizeY;
  // On a grid of two or three cells the legs of a corner would overlap the next corner's.
  s = std::fmin(s, std::fmin(t.x3 - t.x1, t.y3 - t.y1) / 2);

  // South-west, north-west, north-east and south-east corners: north, east, south, then west.
  const double corners[4][3][2] = {
      {{t.x1 + s, t.y1}, {t.x1, t.y1}, {t.x1, t.y1 + s}},
      {{t.x1, t.y3 - s}, {t.x1, t.y3}, {t.x1 + s, t.y3}},
      {{t.x3 - s, t.y3}, {t.x3, t.y3}, {t.x3, t.y3 - s}},
      {{t.x3, t.y1 + s}, {t.x3, t.y1}, {t.x3 - s, t.y1}},
  };
  double points[2 * kCornerPoints];
  for (const auto& corner : corners) {
    const int n = DensifyCorner(corner, s, points, kCornerPoints);
    if (n < 1) return route.Fail();
    for (int i = 0; i < n; ++i)
      if (!route.Append(points[2 * i], points[2 * i + 1])) return route.Fail();
  }
  // Back to the start, closing the loop.
  if (!route.Append(corners[0][0][0], corners[0][0][1])) return route.Fail();
  return route.Finish();
}

bool BuildHostRoute(SceneState& state, float points[], int count) {
  RouteWriter route(state);
  if (points == nullptr || count < 1) return route.Fail();
  const long nodes = count == 1 ? 1 : 2 + 5L * (count - 2);
  if (nodes > kMaxRouteNodes) return route.Fail();
  for (int i = 0; i < 2 * count; ++i)
    if (std::isnan(points[i])) return route.Fail();

  // Every point within the grid, also in the host's array.
  for (int i = 0; i < count; ++i) {
    points[2 * i] = Limit(points[2 * i], state.xMin, state.xMax);
    points[2 * i + 1] = Limit(points[2 * i + 1], state.yMin, state.yMax);
  }

  const double r = state.cellSizeX < state.cellSizeY ? state.cellSizeX : state.cellSizeY;
  for (int i = 0; i < count; ++i) {
    const double x = points[2 * i], y = points[2 * i + 1];
    if (i == 0 || i == count - 1) {
      if (!route.Append(x, y)) return route.Fail();
      continue;
    }
    // A corner: cut at distance r along both legs and rounded by three nodes between the cuts.
    // The cut takes at most half of either leg, so that neighbouring corners never cross and the
    // route never runs back past a point.
    const double x0 = points[2 * i - 2], y0 = points[2 * i - 1];
    const double x2 = points[2 * i + 2], y2 = points[2 * i + 3];
    const double shorterLeg = std::fmin(std::hypot(x - x0, y - y0), std::hypot(x2 - x, y2 - y));
    const double cut = std::fmin(r, shorterLeg / 2);
    double ax, ay, bx, by;
    Towards(x, y, x0, y0, cut, ax, ay);
    Towards(x, y, x2, y2, cut, bx, by);
    const double midAx = (x + ax) / 2, midAy = (y + ay) / 2;
    const double midBx = (x + bx) / 2, midBy = (y + by) / 2;
    const double rounded[5][2] = {{ax, ay},
                                  {midAx, midAy},
                                  {(2 * x + midAx + midBx) / 4, (2 * y + midAy + midBy) / 4},
                                  {midBx, midBy},
                                  {bx, by}};
    for (const auto& node : rounded)
      if (!route.Append(node[0], node[1])) return route.Fail();
  }
  return route.Finish();
}

int ReadRoute(const SceneState& state, float points[], bool wantDefault) {
  if (state.routeHead != nullptr) {
    int n = 0;
    for (const FlyRouteNode* node = state.routeHead; node != nullptr && n < state.routeNodeCount;
         node = node->next, ++n) {
      if (points == nullptr) continue;
      points[2 * n] = node->x;
      points[2 * n + 1] = node->y;
    }
    return n;
  }
  if (!wantDefault) return 0;
  const TourRectangle t = TourCorners(state);
  const double corners[5][2] = {
      {t.x1, t.y1}, {t.x1, t.y3}, {t.x3, t.y3}, {t.x3, t.y1}, {t.x1, t.y1}};
  if (points != nullptr) {
    for (int i = 0; i < 5; ++i) {
      points[2 * i] = float(corners[i][0]);
      points[2 * i + 1] = float(corners[i][1]);
    }
  }
  return 5;
}

void FlightStep(SceneObject& scene, SceneState& state) {
  FlyRouteNode* head = state.routeHead;
  if (head == nullptr) {
    // The route went (a new preparation frees it): the flight is over.
    state.flyFlag = 0;
    return;
  }
  // Past the last node: back to the first. The tour ends where it starts, so its eye does not
  // move here; an open route's eye jumps back.
  if (state.routeCurrent == nullptr || state.routeCurrent->next == nullptr) {
    state.routeCurrent = head;
    state.eyePosition[0] = head->x;
    state.eyePosition[1] = head->y;
  }
  const FlyRouteNode* p0 = state.routeCurrent;
  FlyRouteNode* p1 = p0->next;
  if (p1 == nullptr) return;  // a route of one point: the eye stays on it

  const double dx = double(p1->x) - p0->x, dy = double(p1->y) - p0->y;
  state.flyDirection[0] = float(dx);
  state.flyDirection[1] = float(dy);
  const double length = std::hypot(dx, dy);
  if (length < kTiny) {
    // Two nodes in one place give no direction: the eye waits this frame on the next node.
    state.routeCurrent = p1;
    return;
  }
  state.eyePosition[0] = float(state.eyePosition[0] + state.flySpeed * dx / length);
  state.eyePosition[1] = float(state.eyePosition[1] + state.flySpeed * dy / length);
  if (state.skyFlag != 0) {
    scene.skyDrift += 0.05f;
    if (scene.skyDrift > 5) scene.skyDrift -= 5;
  }

  // Beyond the segment's end: the eye stops on it and the next segment begins.
  double ex = double(state.eyePosition[0]) - p0->x, ey = double(state.eyePosition[1]) - p0->y;
  if (ex * ex + ey * ey > dx * dx + dy * dy) {
    state.eyePosition[0] = p1->x;
    state.eyePosition[1] = p1->y;
    state.routeCurrent = p1;
    ex = dx;
    ey = dy;
    if (state.skyFlag != 0) {
      scene.skyAngle += 3;
      if (scene.skyAngle > 360) scene.skyAngle -= 360;
    }
  }

  // The view follows the segment: the azimuth from its start to the eye (along the segment
  // itself while the eye has not left the start).
  const double azimuth =
      std::hypot(ex, ey) < kTiny
          ? ViewAzimuth(p0->x, p0->y, p1->x, p1->y)
          : ViewAzimuth(p0->x, p0->y, state.eyePosition[0], state.eyePosition[1]);
  state.viewDirSin = float(std::sin(azimuth * kPi / 180));
  state.viewDirCos = float(std::cos(azimuth * kPi / 180));
}

unsigned RouteFrameCount(const SceneState& state) {
  if (state.routeHead == nullptr || !(state.flySpeed > 0)) return 0;
  double frames = 0;
  const FlyRouteNode* node = state.routeHead;
  for (int i = 0; i + 1 < state.routeNodeCount && node != nullptr; ++i, node = node->next) {
    const FlyRouteNode* next = node->next != nullptr ? node->next : state.routeHead;
    const double distance = std::hypot(double(next->x) - node->x, double(next->y) - node->y);
    frames += std::trunc(distance / state.flySpeed + 0.5);
  }
  const double most = std::numeric_limits<unsigned>::max();
  return frames < most ? unsigned(frames) : std::numeric_limits<unsigned>::max();
}

void SetFlySpeedLimited(SceneState& state, float speed) {
  if (!(speed >= state.flySpeedMin)) speed = state.flySpeedMin;
  if (speed > state.flySpeedMax) speed = state.flySpeedMax;
  state.flySpeed = speed;
}

void NavigateStep(SceneObject& scene, SceneState& state, int command, bool accelerate) {
  const float* range = scene.eyeRange;
  switch (command) {
    case kNavigateForward:
    case kNavigateBackward: {
      if (accelerate)
        scene.navigateStep = Limit(scene.navigateStep + state.flySpeedMin, state.flySpeedMin,
                                   state.flySpeedMax);
      const double sign = command == kNavigateForward ? 1 : -1;
      const double length = std::hypot(double(state.viewDirSin), double(state.viewDirCos));
      if (length > 0) {
        state.eyePosition[0] =
            float(state.eyePosition[0] + sign * scene.navigateStep * state.viewDirSin / length);
        state.eyePosition[1] =
            float(state.eyePosition[1] + sign * scene.navigateStep * state.viewDirCos / length);
      }
      if (state.skyFlag != 0) {
        if (command == kNavigateForward) {
          scene.skyDrift += 0.05f;
          if (scene.skyDrift > 5) scene.skyDrift -= 5;
        } else {
          scene.skyDrift -= 0.05f;
          if (scene.skyDrift < -5) scene.skyDrift += 5;
        }
      }
      state.eyePosition[0] = Limit(state.eyePosition[0], range[0], range[1]);
      state.eyePosition[1] = Limit(state.eyePosition[1], range[3], range[4]);
      UpdateEyeMoveLimits(scene, state);
      break;
    }
    case kNavigateLeft:
    case kNavigateRight: {
      double r = std::hypot(double(state.viewCentre[0]) - state.eyePosition[0],
                            double(state.viewCentre[1]) - state.eyePosition[1]);
      // Straight above the centre the direction would be lost: turn about a point one step off.
      if (r < kTiny) r = scene.navigateStep > 0 ? scene.navigateStep : 1;
      const double a = (command == kNavigateLeft ? 1.0 : -1.0) * kPi / 180;
      const double u = state.viewDirSin * r, v = state.viewDirCos * r;
      const double ru = std::cos(a) * u - std::sin(a) * v;
      const double rv = std::sin(a) * u + std::cos(a) * v;
      state.viewCentre[0] = Limit(float(state.eyePosition[0] + ru), state.xMin, state.xMax);
      state.viewCentre[1] = Limit(float(state.eyePosition[1] + rv), state.yMin, state.yMax);
      UpdateViewDirection(state);
      if (state.skyFlag != 0) {
        if (command == kNavigateLeft) {
          scene.skyAngle += 3;
          if (scene.skyAngle > 360) scene.skyAngle -= 360;
        } else {
          scene.skyAngle -= 3;
          if (scene.skyAngle < -360) scene.skyAngle += 360;
        }
      }
      break;
    }
    case kNavigateUp:
    case kNavigateDown: {
      const float step = command == kNavigateUp ? range[8] : -range[8];
      state.eyePosition[2] = Limit(state.eyePosition[2] + step, range[6], range[7]);
      UpdateEyeMoveLimits(scene, state);
      break;
    }
    default:
      break;  // not a steering command
  }
}

}  // namespace t3d
