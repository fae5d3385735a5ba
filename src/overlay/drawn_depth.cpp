#include "overlay/drawn_depth.h"

#include <GL/gl.h>

#include <algorithm>

namespace t3d {

void DrawnDepth::Read() {
  const bool held = Held();
  read_ = true;
  if (held) return;  // read by an earlier pass of this frame
  Scratch& kept = Kept();
  const uint64_t frame = OverlayFrameNumber();
  kept.frame = 0;
  // Kept from frame to frame: a fresh buffer of this size costs its page faults every frame.
  depth_.resize(size_t(std::max(width_, 0)) * size_t(std::max(height_, 0)), UINT32_MAX);
  if (depth_.empty()) return;
  GLint alignment = 4;
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(x_, y_, width_, height_, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, depth_.data());
  glPixelStorei(GL_PACK_ALIGNMENT, alignment);
  kept.frame = frame;
  kept.rect[0] = x_;
  kept.rect[1] = y_;
  kept.rect[2] = width_;
  kept.rect[3] = height_;
}

GroundVisibility::GroundVisibility(const double modelView[16], const double projection[16],
                                   const int viewport[4], double liftPixels, double margin)
    : FrameShape(viewport, projection),
      depth_(viewportCopy.data(), projectionCopy.data()),
      margin_(margin),
      liftPixels_(liftPixels) {
  Multiply(projection, modelView, combined_);
  const int height = viewport[3];
  // Scene units one pixel spans at distance 1 along the view axis.
  const double pixelSpan =
      projection[5] != 0 && height > 0 ? 2.0 / (std::fabs(projection[5]) * height) : 0.0;
  lift_ = liftPixels * pixelSpan;
  halfWidth_ = viewport[2] >> 1;
  halfHeight_ = viewport[3] >> 1;
  centreX_ = viewport[0] + halfWidth_;
  centreY_ = viewport[1] + halfHeight_;
}

bool GroundVisibility::Hidden(double x, double y, double z) {
  const Clip4 c = Transform(combined_, x, y, z);
  if (c.w <= 0) return false;
  // Where no terrain was drawn at the point nor within the lift below it, it has no ground to
  // lie on (beyond the terrain drawn, or above its silhouette): hidden, as the line layer does.
  const double px = centreX_ + halfWidth_ * c.x / c.w, py = centreY_ + halfHeight_ * c.y / c.w;
  if (px >= 0 && py >= 0 && px < viewportCopy[2] && py < viewportCopy[3] &&
      !depth_.GroundBelow(int(px), int(py), int(liftPixels_)))
    return true;
  // The lifted point: the transform is linear in z, so the lift adds a multiple of its z column.
  const double dz = lift_ * c.w;
  const Clip4 up{c.x + combined_[8] * dz, c.y + combined_[9] * dz, c.z + combined_[10] * dz,
                 c.w + combined_[11] * dz};
  if (up.w <= 0) return false;
  const double wx = centreX_ + halfWidth_ * up.x / up.w, wy = centreY_ + halfHeight_ * up.y / up.w;
  if (!(wx >= 0 && wy >= 0 && wx < viewportCopy[2] && wy < viewportCopy[3])) return false;
  return up.w > depth_.DistanceOf(depth_.At(int(wx), int(wy))) * (1 + margin_);
}

}  // namespace t3d
