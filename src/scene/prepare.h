// Scene preparation: a DEM grid of the store becomes the prepared scene.
#pragma once

namespace t3d {

class SceneObject;
struct SceneState;

// tnPrepare3DScene. Returns true on success.
bool PrepareScene(SceneObject& scene, SceneState& state, int demHandle);

// Fills the normal lookup table and the unit ramp of the state block.
void FillLookupTables(SceneState& state);

}  // namespace t3d
