// Frames of a test scene as pictures, and how far two pictures differ.
#pragma once

#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>

#include <string>

#include "image_files.h"
#include "test_grids.h"
#include "test_scene.h"

namespace testgrids {

// Draws one 3D frame of the scene and returns what reached the host buffer.
inline t3dhost::Picture FramePicture(TestScene& scene) {
  std::fill(scene.pixels().begin(), scene.pixels().end(), uint8_t(0));
  EXPECT_EQ(tnDrawScene(scene.scene(), scene.state()), TN_OK);
  t3dhost::Picture picture;
  picture.width = scene.width();
  picture.height = scene.height();
  picture.bgra = scene.pixels();
  return picture;
}

// Number of pixels that differ by more than 6 levels in some channel.
inline size_t Differing(const t3dhost::Picture& a, const t3dhost::Picture& b) {
  size_t count = 0;
  for (size_t i = 0; i < a.bgra.size() && i < b.bgra.size(); i += 4)
    for (int c = 0; c < 3; ++c)
      if (std::abs(int(a.bgra[i + c]) - int(b.bgra[i + c])) > 6) {
        ++count;
        break;
      }
  return count;
}

// Number of pixels within tolerance of a colour in every channel.
inline size_t CountColour(const t3dhost::Picture& picture, int r, int g, int b, int tolerance) {
  size_t count = 0;
  for (size_t i = 0; i + 3 < picture.bgra.size(); i += 4)
    count += std::abs(picture.bgra[i] - b) <= tolerance && std::abs(picture.bgra[i + 1] - g) <= tolerance &&
             std::abs(picture.bgra[i + 2] - r) <= tolerance;
  return count;
}

// Compares with the reference picture tests/reference/NAME.png: at most 1% of the pixels may
// differ by more than 6 levels in a channel (llvmpipe's rounding and line smoothing vary a little
// between builds). On a failure the picture drawn is kept beside the scratch grids as
// NAME-actual.png. With TERRAIN3D_UPDATE_REFERENCES set the reference is rewritten instead.
inline void ExpectLikeReference(const t3dhost::Picture& picture, const std::string& name) {
  const std::string path = std::string(TERRAIN3D_SOURCE_DIR) + "/tests/reference/" + name + ".png";
  std::string error;
  if (std::getenv("TERRAIN3D_UPDATE_REFERENCES") != nullptr) {
    ASSERT_TRUE(t3dhost::WritePng(path, picture, error)) << error;
    return;
  }
  t3dhost::Picture reference;
  ASSERT_TRUE(t3dhost::ReadPng(path, reference, error)) << error << " (run tests/update_references.sh)";
  ASSERT_EQ(reference.width, picture.width);
  ASSERT_EQ(reference.height, picture.height);
  const size_t beyond = Differing(picture, reference);
  const size_t pixels = picture.bgra.size() / 4;
  EXPECT_LE(beyond, pixels / 100) << name << ": " << beyond << " of " << pixels << " pixels differ";
  if (beyond > pixels / 100)
    t3dhost::WritePng(ScratchEnvironment::gridDir() + "/../" + name + "-actual.png", picture, error);
}

// The pixels of the lower half of a bare picture that show the background (taken from its top
// left corner, the sky) `margin` pixels or more inside: a hole of the terrain seen from above.
// drawn: how many of them another picture of the same view changes.
struct HolePixels {
  size_t pixels = 0, drawn = 0;
};
inline HolePixels DrawnInTheHole(const t3dhost::Picture& bare, const t3dhost::Picture& other,
                                 int margin = 2) {
  auto background = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= bare.width || y >= bare.height) return false;
    const uint8_t* px = &bare.bgra[4 * (size_t(y) * size_t(bare.width) + size_t(x))];
    return px[0] == bare.bgra[0] && px[1] == bare.bgra[1] && px[2] == bare.bgra[2];
  };
  HolePixels hole;
  for (int y = bare.height / 2; y < bare.height; ++y)
    for (int x = 0; x < bare.width; ++x) {
      bool inside = true;
      for (int d = -margin; d <= margin && inside; ++d)
        inside = background(x + d, y) && background(x, y + d);
      if (!inside) continue;
      ++hole.pixels;
      const size_t i = 4 * (size_t(y) * size_t(bare.width) + size_t(x));
      hole.drawn += other.bgra[i] != bare.bgra[i] || other.bgra[i + 1] != bare.bgra[i + 1] ||
                    other.bgra[i + 2] != bare.bgra[i + 2];
    }
  return hole;
}

}  // namespace testgrids
