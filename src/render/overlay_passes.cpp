// The overlay passes of every frame.
#include "render/overlay_passes.h"

#include <atomic>

namespace t3d {

OverlayPasses& FrameOverlayPasses() {
  static OverlayPasses passes;
  return passes;
}

namespace {
std::atomic<uint64_t> g_overlayFrame{1};
}  // namespace

uint64_t OverlayFrameNumber() { return g_overlayFrame.load(std::memory_order_relaxed); }

void BeginOverlayFrame() { g_overlayFrame.fetch_add(1, std::memory_order_relaxed); }

}  // namespace t3d
