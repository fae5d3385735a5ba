// The scene state as the terrain code reads it: the prepared grid, the view and the colouring
// of the scene being drawn.
#pragma once

#include "model/scene_object.h"
#include "model/scene_state.h"
#include "terrain/footprint.h"
#include "terrain/surface_mesh.h"

namespace t3d {

// The prepared grid of the state, its scene origin at the terrain centre.
GridExtent GridOf(const SceneState& state);
// The origin and unit of the state's 3D scene coordinates (those of GridOf).
SceneOrigin SceneOriginOf(const SceneState& state);

// The view of the state (client size 1 x 1) with the level-of-detail factor of its draw quality.
MeshView MeshViewOf(const SceneState& state);
// The same with the window's client size, as the footprints need it.
MeshView MeshViewOf(const SceneObject& scene, const SceneState& state);

// The colouring of the state: the grey table in grey display, else the height colour table.
MeshColouring ColouringOf(const SceneState& state);

}  // namespace t3d
