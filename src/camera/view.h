// Placing and reading the camera: field of view and tilt, view and flight azimuths, the eye, the
// dolly along the view axis, and the eye placed through a point or by an observer and a target.
#pragma once

namespace t3d {

class SceneObject;
struct SceneState;

// The reverse of a compass azimuth for the "view from" angles: v + 180 for v up to 180 (180 itself
// gives 360), v - 180 above.
double ReverseAzimuth(double azimuth);

// Field of view limited to 30 .. 120 degrees and tilt limited to 1 .. 89 degrees. A NaN keeps the
// current value. The caller sets the projection for the new field of view.
void SetViewFovTilt(SceneState& state, float fov, float tilt);

// Flight azimuth limited to 0 .. 360 with its (sine, cosine) as the flight direction; the view
// azimuth is the reverse of viewFrom limited to 0 .. 360. A NaN keeps the current value.
void SetFlyAndViewAzimuths(SceneState& state, float flyAzimuth, float viewFrom);
// The flight azimuth of the flight direction in [0, 360), and the reverse of the azimuth from the
// eye to the view centre. Null outputs are skipped.
void GetFlyAndViewAzimuths(const SceneState& state, float* flyAzimuth, float* viewFrom);

// The eye limited to the eye range (a NaN coordinate keeps the current one). Outside flight the
// view turns towards the view centre from the new eye.
void SetEyePoint(const SceneObject& scene, SceneState& state, float x, float y, float z);

// eyeMove limited to eyeMoveMin .. eyeMoveMax (a NaN keeps it).
void SetEyeMoveDistance(SceneObject& scene, float distance);

// Compass azimuth from the eye to the view centre.
double CurrentEyeAzimuth(const SceneState& state);

// Moves the eye horizontally, keeping its height, so that the view axis (view azimuth, tilted
// down by viewTilt) passes through p (map x, y; p[2] a height in height units). When the eye and
// p lie on opposite sides of the terrain centre in both axes, the view turns round so that it
// looks back over the terrain. p[2] is raised to the terrain centre's height, kept at most at the
// eye's height, and written back divided by zScale. Does nothing before a terrain is prepared or
// when p holds a NaN or an infinity.
void SetEyeThroughPoint(SceneState& state, float p[3]);

// The observer at eye (horizontally; its height kept) looks at target, tilted to see the lowest
// terrain height there. Nothing happens when the two points are less than 1e-6 apart or hold a
// NaN.
void SetObserverAndTarget(SceneState& state, const float eye[2], const float target[2]);

// Half the x and y extents of the plan view's orthographic volume, in scene units around the
// terrain centre, for a viewport of width x height: 1 and 1, the longer side widened by the
// viewport's aspect.
void PlanViewHalfExtents(int width, int height, double& halfX, double& halfY);


}  // namespace t3d
