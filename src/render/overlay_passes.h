// The overlay passes a frame runs after the terrain surface: regions, roads, lines, notes, in
// that order. The overlay layers sit above the frame driver, so each installs its pass here when
// it is first loaded; a pass that is not installed is not run.
#pragma once

#include <cstdint>

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

// The number of the frame whose overlay passes run (never 0), new for every frame: the passes
// draw neither into nor against a depth buffer they change, so what one of them reads back of
// the terrain's depth holds for the others of the same frame.
uint64_t OverlayFrameNumber();
// Called by the frame before its overlay passes.
void BeginOverlayFrame();

}  // namespace t3d
