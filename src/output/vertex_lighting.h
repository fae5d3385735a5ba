// GL's fixed-function vertex lighting evaluated on the CPU, for pictures whose every pixel shows
// one lit vertex (the hill shade puts a sample at each pixel centre), so that they can be shaded
// without pushing two triangles a pixel through the software rasteriser.
#pragma once

#include <cstdint>

namespace t3d {

// A row of vertices, one array per component: eye-space positions, normals and vertex colours
// (opaque: alpha 1).
struct VertexRow {
  int count = 0;
  const float* x = nullptr;
  const float* y = nullptr;
  const float* z = nullptr;
  const float* nx = nullptr;
  const float* ny = nullptr;
  const float* nz = nullptr;
  const float* red = nullptr;
  const float* green = nullptr;
  const float* blue = nullptr;
};

// The lighting state of the current GL context, captured once, and the colours GL gives vertices
// under it: the lighting equation of the compatibility profile (emission, global ambient, and for
// every enabled light its attenuated ambient, diffuse and specular terms), with the vertex colour
// standing in for the material colour that colour material tracks, and the result clamped to
// 0..1 as GL clamps vertex colours. Normals are used as given (as with GL_NORMALIZE off) unless
// the context normalises them. The model-view matrix is taken to be the identity when the lights
// were placed and when drawing.
class VertexLighting {
 public:
  // Reads the state from the current context. False when the context uses something this
  // evaluation does not cover (a spot light, more than 8 lights, an unknown colour material
  // mode); the caller then draws through GL instead.
  bool Capture();

  // The red, green and blue (0..1) of the front faces at the vertices of row.
  void ShadeRow(const VertexRow& row, float* red, float* green, float* blue) const;

  // The alpha (0..1) of every opaque vertex: the material's diffuse alpha when lit.
  float Alpha() const { return alpha_; }

 private:
  // Material colours as a * vertex colour + b: (1, 0) for a colour that colour material tracks,
  // (0, material colour) for one it leaves alone.
  struct Term {
    float a[3], b[3];
  };
  struct Light {
    float position[4];  // eye coordinates; a directional light (w = 0) holds its unit direction
    float attenuation[3];  // constant, linear, quadratic
    // The light's colours times the material's, each as a * vertex colour + b.
    Term ambient, diffuse, specular;
    bool hasSpecular;  // the specular term can be non-zero
  };
  static constexpr int kMaxLights = 8;

  bool lighting_ = false;
  bool normalize_ = false;
  bool localViewer_ = false;
  bool separateSpecular_ = false;
  float shininess_ = 0;
  float alpha_ = 1;
  Term emission_{}, ambient_{};  // the material's emission, and its ambient under global light
  Light lights_[kMaxLights] = {};
  int lightCount_ = 0;
};

// Packs a colour (0..1) into one pixel of a bottom-up DIB of kBitCount bits (16: X1R5G5B5, 24:
// B, G, R, 32: B, G, R, A), converted as the GL framebuffer and its read-back convert it.
template <int kBitCount>
inline void PackDibPixel(float red, float green, float blue, float alpha, bool frameHasAlpha,
                         uint8_t* pixel) {
  // The framebuffer's unsigned normalised conversion rounds to the nearest of 256 levels.
  auto level = [](float c) { return unsigned(int(c * 255.0f + 0.5f)); };
  const unsigned r = level(red), g = level(green), b = level(blue);
  if constexpr (kBitCount == 32) {
    pixel[0] = uint8_t(b);
    pixel[1] = uint8_t(g);
    pixel[2] = uint8_t(r);
    pixel[3] = uint8_t(frameHasAlpha ? level(alpha) : 255u);
  } else if constexpr (kBitCount == 24) {
    (void)alpha;
    (void)frameHasAlpha;
    pixel[0] = uint8_t(b);
    pixel[1] = uint8_t(g);
    pixel[2] = uint8_t(r);
  } else {
    static_assert(kBitCount == 16, "16-, 24- or 32-bit pixels");
    (void)alpha;
    (void)frameHasAlpha;
    // The 8-bit levels read back as 5-bit ones, rounded; the top bit stays clear.
    auto five = [](unsigned v) { return (v * 31u + 127u) / 255u; };
    const unsigned v = (five(r) << 10) | (five(g) << 5) | five(b);
    pixel[0] = uint8_t(v & 0xff);
    pixel[1] = uint8_t(v >> 8);
  }
}

}  // namespace t3d
