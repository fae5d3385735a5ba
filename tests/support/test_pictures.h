// Frames of a test scene as pictures, and how far two pictures differ.
#pragma once

#include <algorithm>
#include <cstdlib>

#include "image_files.h"
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

}  // namespace testgrids
