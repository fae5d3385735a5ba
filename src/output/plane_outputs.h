// Outputs of the grid seen from straight above: the plane graph (a small overview picture) and
// texture libraries of the hill shade.
#pragma once

#include <string>

namespace t3d {

class SceneObject;
struct SceneState;

// The plane graph's picture size for a grid of rows x columns nodes: the node size when both are
// at most 160 (each raised to 101 when smaller), else the longer side 160 and the other in
// proportion. resampled is false only for the node size itself.
void PlaneGraphSize(int rows, int columns, int& width, int& height, bool& resampled);

// tnOutput2DScene: the plane graph of the prepared grid, lit from straight above (azimuth 0,
// tilt 89 degrees) and coloured with the height colour table, into the plane graph file at path.
// The scene's light, material and grey display settings are as they were after the call.
bool OutputPlaneGraph(SceneObject& scene, SceneState& state, const char* path);

// tnOutput2DTexLibFile: the hill shade of the prepared grid at one pixel per node, lit from the
// given direction (degrees), as a texture library at libraryPath. 24-bit pixels, or, when the
// context packs 16-bit pixels, the texture format dialog's choice (Cancel fails). The hill shade
// goes through a temporary raster image in the working directory that never remains; the scene's
// settings are as they were after the call.
bool OutputTextureLibraryFile(SceneObject& scene, SceneState& state, const char* libraryPath,
                              float azimuth, float tilt);

}  // namespace t3d
