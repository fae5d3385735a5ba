// The overlay image reader's power-of-two scaling, which makes a GL context of its own when
// none is current.
#include <gtest/gtest.h>

#include "overlay/bmp_files.h"
#include "overlay/overlay_image.h"
#include "test_bmp.h"

namespace {

using t3d::OverlayImage;
using t3d::test::BmpLayout;
using t3d::test::MakeBmp;

// Scaling makes a GL context of its own when none is current.
TEST_F(OverlayImageFiles, OtherSidesAreScaledDownToPowersOfTwo) {
  BmpLayout layout;
  layout.width = 300;
  layout.height = 200;
  layout.bits = 24;
  // Left half red, right half blue: the scaled picture keeps the halves.
  const auto bytes = MakeBmp(layout, [](int x, int, uint8_t rgb[3]) {
    rgb[0] = x < 150 ? 255 : 0;
    rgb[1] = 0;
    rgb[2] = x < 150 ? 0 : 255;
  });
  OverlayImage image;
  ASSERT_TRUE(t3d::ReadOverlayImage(Write("wide.bmp", bytes), &image));
  ASSERT_EQ(image.width, 256);
  ASSERT_EQ(image.height, 128);
  for (int y : {0, 64, 127}) {
    const uint8_t* left = image.texels.get() + (size_t(y) * 256 + 10) * 3;
    const uint8_t* right = image.texels.get() + (size_t(y) * 256 + 245) * 3;
    EXPECT_EQ(left[0], 255);
    EXPECT_EQ(left[2], 0);
    EXPECT_EQ(right[0], 0);
    EXPECT_EQ(right[2], 255);
  }
  // An odd width whose rows are not a multiple of 4 bytes scales row by row correctly.
  layout.width = 301;
  layout.height = 3;
  const auto odd = MakeBmp(layout, [](int, int y, uint8_t rgb[3]) {
    rgb[0] = rgb[1] = rgb[2] = uint8_t(y == 0 ? 0 : 250);
  });
  ASSERT_TRUE(t3d::ReadOverlayImage(Write("odd.bmp", odd), &image));
  ASSERT_EQ(image.width, 256);
  ASSERT_EQ(image.height, 2);
  for (int x = 0; x < 256; ++x) {
    // Row 0 mixes the black top row with half of the middle one; row 1 is white only.
    ASSERT_LT(image.texels[size_t(x) * 3], 200) << x;
    ASSERT_EQ(image.texels[(256 + size_t(x)) * 3], 250) << x;
  }
}

}  // namespace
