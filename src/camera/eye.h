// The eye and view model: azimuths, the view direction and the dolly limits.
#pragma once

namespace t3d {

class SceneObject;
struct SceneState;

// Compass azimuth (degrees in [0, 360), 0 towards +Y, 90 towards +X) of point (px, py) seen
// from (ex, ey).
double ViewAzimuth(double ex, double ey, double px, double py);

// viewDirAngle = azimuth from the eye to the view centre; viewDirSin, viewDirCos follow it.
void UpdateViewDirection(SceneState& state);

// Dolly limits of display method 0, in scene units: while the eye is within reach of the terrain
// centre, eyeMove runs from 0.5 to the reach in 50 steps; otherwise all four are 0.
void UpdateEyeMoveLimits(SceneObject& scene, const SceneState& state);

// viewTilt = the angle below the horizontal at which the eye sees the lowest terrain height under
// the view centre, limited to 0 .. 89 degrees. Unchanged when the eye stands straight above the
// view centre.
void AimTiltAtViewCentre(SceneState& state);

// The height span the eye is placed and limited by (scaled heights): zMax - zMin, or for a flat
// grid (a span below a millionth of the larger horizontal span) one tenth of the larger
// horizontal span, the relief a rescaled grid gets, so that the eye stands above the plane.
float EyeHeightSpan(const SceneState& state);

// A camera value limited to [low, high]; a NaN gives the fallback (the value it replaces).
float LimitSetting(float value, float low, float high, float fallback);

}  // namespace t3d

namespace t3d {

// SetEyeCenterPosition: the eye is limited to the eye range (and written back; a NaN coordinate
// keeps the current eye's); unless it stands straight above the centre, it looks at the centre,
// tilted to aim from its height at the lowest height there. A centre with a NaN changes nothing.
void SetEyeCentre(const SceneObject& scene, SceneState& state, float eye[3], const float centre[2]);

}  // namespace t3d
