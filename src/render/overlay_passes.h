// The overlay passes a frame runs after the terrain surface: regions, roads, lines, notes, in
// that order. The overlay layers sit above the frame driver, so each installs its pass here when
// it is first loaded; a pass that is not installed is not run.
#pragma once

#include "model/scene_object.h"

namespace t3d {

struct SceneState;

using OverlayPass = void (*)(SceneObject& scene, SceneState& state, FrameTarget target);

struct OverlayPasses {
  OverlayPass regions = nullptr;
  OverlayPass roads = nullptr;
  OverlayPass lines = nullptr;
  OverlayPass notes = nullptr;
};

// The passes of every frame (process-wide, like the overlay store they draw).
OverlayPasses& FrameOverlayPasses();

}  // namespace t3d
