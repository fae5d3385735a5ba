// The terrain's depth in the frame just drawn, as the overlay passes test their points against
// it: read back once per pass, when a point first needs it.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/overlay_passes.h"

namespace t3d {

// c = a x b for column-major 4 x 4 matrices.
inline void Multiply(const double a[16], const double b[16], double c[16]) {
  for (int column = 0; column < 4; ++column)
    for (int row = 0; row < 4; ++row) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[column * 4 + k];
      c[column * 4 + row] = sum;
    }
}

struct Clip4 {
  double x, y, z, w;
};

inline Clip4 Transform(const double m[16], double x, double y, double z) {
  return {m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
          m[2] * x + m[6] * y + m[10] * z + m[14], m[3] * x + m[7] * y + m[11] * z + m[15]};
}

// The depth buffer of the frame, read when a point first needs it: once per frame, since the
// overlay passes leave the terrain's depth as it is (see OverlayFrameNumber).
class DrawnDepth {
 public:
  // viewport: x, y, width, height; projection: the frame's, column-major. Both must outlive
  // the object.
  DrawnDepth(const int viewport[4], const double projection[16])
      : x_(viewport[0]), y_(viewport[1]), width_(viewport[2]), height_(viewport[3]),
        projection_(projection) {}

  // The window depth (0 to 1) of the terrain drawn at pixel (x, y) of the viewport.
  float At(int x, int y) {
    if (!read_) Read();
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 1.0f;
    const uint32_t depth = depth_[size_t(y) * size_t(width_) + size_t(x)];
    return depth == UINT32_MAX ? 1.0f : float(depth * (1.0 / 4294967295.0));
  }
  // Whether the frame's depth is at hand without reading it back (an earlier pass of the frame
  // read it).
  bool Held() const {
    const Scratch& kept = Kept();
    return read_ || (kept.frame == OverlayFrameNumber() && kept.rect[0] == x_ &&
                     kept.rect[1] == y_ && kept.rect[2] == width_ && kept.rect[3] == height_);
  }
  // Whether terrain was drawn at pixel (x, y), or within `pixels` pixels below it in its
  // column or the columns beside it.
  bool GroundBelow(int x, int y, int pixels) {
    for (int k = 0; k <= pixels; ++k)
      for (int dx = -1; dx <= 1; ++dx)
        if (At(x + dx, y - k) < 1.0f) return true;
    return false;
  }
  // The clip w of a point at window depth d: its distance in front of the eye for a
  // perspective projection.
  double DistanceOf(float depth) const {
    const double* p = projection_;
    const double z = 2.0 * depth - 1.0;
    const double denominator = z * p[11] - p[10];
    if (denominator == 0) return HUGE_VAL;
    const double eyeZ = (p[14] - z * p[15]) / denominator;
    return p[11] * eyeZ + p[15];
  }

 private:
  void Read();

  int x_, y_, width_, height_;
  const double* projection_;
  bool read_ = false;
  // The depth read last on this thread, and which frame's and viewport's it is.
  struct Scratch {
    // As unsigned integers (0 near, 2^32 - 1 far): the rasteriser hands them over about twice
    // as fast as floats.
    std::vector<uint32_t> depth;
    uint64_t frame = 0;
    int rect[4] = {0, 0, 0, 0};
  };
  static Scratch& Kept() {
    thread_local Scratch scratch;
    return scratch;
  }
  std::vector<uint32_t>& depth_ = Kept().depth;
};

// Whether points on the ground are seen in the frame just drawn, by the line layer's rule (see
// kHiddenLiftPixels in line_layer.h): the point is lifted straight up by as many scene units
// as `liftPixels` pixels span at its distance, and is hidden when the lifted point lies beyond
// the terrain drawn at its pixel by more than `margin` of its distance, or when no terrain was
// drawn at the point's own pixel nor within `liftPixels` below it. A point at or behind the eye
// or outside the window is taken as seen (the GL clips what is not).
// The frame's viewport and projection, kept by GroundVisibility before its depth buffer reads
// them (a base is made before the members).
struct FrameShape {
  FrameShape(const int viewport[4], const double projection[16]) {
    for (int i = 0; i < 4; ++i) viewportCopy[size_t(i)] = viewport[i];
    for (int i = 0; i < 16; ++i) projectionCopy[size_t(i)] = projection[i];
  }
  std::array<int, 4> viewportCopy;
  std::array<double, 16> projectionCopy;
};

class GroundVisibility : private FrameShape {
 public:
  GroundVisibility(const double modelView[16], const double projection[16], const int viewport[4],
                   double liftPixels, double margin);
  GroundVisibility(const GroundVisibility&) = delete;
  GroundVisibility& operator=(const GroundVisibility&) = delete;
  // x, y, z in the scene's model coordinates.
  bool Hidden(double x, double y, double z);

 private:
  double combined_[16];
  DrawnDepth depth_;
  double lift_ = 0, margin_ = 0, liftPixels_ = 0;
  double centreX_ = 0, centreY_ = 0, halfWidth_ = 0, halfHeight_ = 0;
};

}  // namespace t3d
