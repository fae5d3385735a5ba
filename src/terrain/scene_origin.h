// The origin and unit of the 3D scene's coordinates.
#pragma once

namespace t3d {

// Where the scene's x and y come from: map coordinates less the origin (the terrain centre),
// over the scene radius; heights are over the radius alone. The GL transforms vertices in single
// precision, so scene coordinates must stay small: taken from the map's own origin, a UTM grid's
// northings (some 2,000 scene units) made the depth the GL wrote stray from the true distance by
// a few per cent, which the overlays' hidden tests and the picking read back as ground that is
// not there.
struct SceneOrigin {
  double x = 0, y = 0;  // map units
  double radius = 1;    // map units per scene unit
  double SceneX(double mapX) const { return (mapX - x) / radius; }
  double SceneY(double mapY) const { return (mapY - y) / radius; }
  double MapX(double sceneX) const { return sceneX * radius + x; }
  double MapY(double sceneY) const { return sceneY * radius + y; }
};

}  // namespace t3d
