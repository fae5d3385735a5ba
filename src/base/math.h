// Angle constants shared by the camera, the terrain and the lighting.
#pragma once

namespace t3d {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadians = kPi / 180.0;  // radians per degree
constexpr double kDegrees = 180.0 / kPi;  // degrees per radian

}  // namespace t3d
