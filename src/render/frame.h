// The frame driver: projection, 3D frames, the plan view and the sky dome.
#pragma once

#include "model/scene_object.h"

namespace t3d {

struct SceneState;

// The largest client side a window may report: window systems keep sides in 16 bits.
constexpr int kMaxClientSide = 32767;

// Viewport and perspective projection for a client of width x height on the target. A size that
// is not positive changes nothing and succeeds. A window size beyond kMaxClientSide or GL's
// largest viewport is refused (false) and changes nothing. Fails otherwise only when no context
// can be made current.
bool SetProjection(SceneObject& scene, SceneState& state, int width, int height,
                   FrameTarget target);

// One tile of a picture drawn as across x down tiles, each of the client's size: tile (column,
// row) counted from the picture's top left.
struct FrameTile {
  int across = 1, down = 1;
  int column = 0, row = 0;
};

// Multiplies the current matrix by the projection of a tile: a projection multiplied by it
// shows the tile's part of what it showed, over the whole viewport.
void MultTileMatrix(const FrameTile& tile);

// One 3D frame of the prepared scene on the target (window: presented; off screen: flushed into
// the bitmap). With a tile, the frame is that tile of the enlarged picture: the terrain and the
// sky take the tile's part of their projections. False when nothing could be drawn.
bool DrawFrame(SceneObject& scene, SceneState& state, FrameTarget target,
               const FrameTile* tile = nullptr);

// The near and the full footprint of the current view, as a frame works them out (the full one
// also sets the view rectangle and the view centre).
void ComputeFootprints(SceneObject& scene, SceneState& state, Footprint& full, Footprint& near);

// Whether 3D frames drape the terrain texture: the textured surface mode with a texture prepared.
bool TerrainTextured(const SceneObject& scene, const SceneState& state);

// The plan view of the whole grid, presented on the window (tnDraw2DScene).
bool DrawPlanScene(SceneObject& scene, SceneState& state);

// Light and material of the drawings from straight above (the plan view and hill shades): the
// light placed in scene units through the current model-view, the colour material when on.
void ApplyPlanLighting(SceneObject& scene, SceneState& state);

}  // namespace t3d
