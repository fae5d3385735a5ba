// The overlay passes of every frame.
#include "render/overlay_passes.h"

namespace t3d {

OverlayPasses& FrameOverlayPasses() {
  static OverlayPasses passes;
  return passes;
}

}  // namespace t3d
