// Flight along a route and step-wise navigation of the eye.
#pragma once

#include <cstdint>

namespace t3d {

class SceneObject;
struct SceneState;

// Largest number of nodes a route may hold: the node count is kept in 16 bits, and the bound
// keeps a host's absurd point count from exhausting memory.
constexpr int kMaxRouteNodes = INT16_MAX;

// Steering commands of Navigate.
enum NavigateCommand {
  kNavigateForward = 0,
  kNavigateBackward = 1,
  kNavigateLeft = 2,
  kNavigateRight = 3,
  kNavigateUp = 4,
  kNavigateDown = 5,
};

// The initial view: the eye north-east of the terrain centre, a height span above the highest
// point, looking at the centre; the dolly limits follow.
void RestoreView(SceneObject& scene, SceneState& state);

// RestoreDisplay: tilt 25 degrees, then the initial view.
void RestoreInitialDisplay(SceneObject& scene, SceneState& state);

// SetFlyFlag: 1 builds and flies the built-in tour, another non-zero value flies the host's
// route, 0 frees the route and restores the initial view. A flight that cannot start leaves
// flyFlag 0.
void SetFlight(SceneObject& scene, SceneState& state, int flag);

// The built-in tour: a rectangle over the inner half of the grid with rounded corners, closed so
// that the flight runs round it without a jump. Replaces any route; the eye moves to its start.
// False, with no route left, when the grid is not prepared or the route cannot be built.
bool BuildTour(SceneState& state);

// SetFlyRoutin: a route through count (x, y) pairs, each limited to the grid (and written back),
// every inner point replaced by five nodes rounding its corner. Replaces any route; the eye
// moves to its start. False, with no route left, for a null array, a count below 1, a point that
// is not a number, a route longer than kMaxRouteNodes or a node that cannot be allocated.
bool BuildHostRoute(SceneState& state, float points[], int count);

// GetFlyRoutin: the route's nodes (or, without a route and when wantDefault is set, the five
// corners of the built-in tour's rectangle) into points, when it is not null, as (x, y) pairs;
// returns their number (0 without route or default).
int ReadRoute(const SceneState& state, float points[], bool wantDefault);

// One frame of flight: the eye moves flySpeed along the current segment (height unchanged),
// passes to the next segment at its end, and looks along the segment. Does nothing, and ends the
// flight, when there is no route.
void FlightStep(SceneObject& scene, SceneState& state);

// Frames a full pass along the route takes at flySpeed; 0 without a route or speed.
unsigned RouteFrameCount(const SceneState& state);

// SetFlySpeed: the speed limited to flySpeedMin .. flySpeedMax (a speed that is not a number
// gives flySpeedMin).
void SetFlySpeedLimited(SceneState& state, float speed);

// Navigate: one steering step (NavigateCommand); other commands do nothing.
void NavigateStep(SceneObject& scene, SceneState& state, int command, bool accelerate);

}  // namespace t3d
