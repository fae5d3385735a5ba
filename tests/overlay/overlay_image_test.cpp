// The overlay image reader: BMP decoding of every accepted depth and row order, refusal of other
// files and of malformed headers, and the power-of-two scaling.
#include "overlay/overlay_image.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "base/message_box.h"
#include "test_bmp.h"
#include "overlay/bmp_files.h"

namespace {

using t3d::OverlayImage;
using t3d::test::BmpLayout;
using t3d::test::Gradient;
using t3d::test::MakeBmp;

void ExpectGradient(const OverlayImage& image, int width, int height, int shift) {
  ASSERT_EQ(image.width, width);
  ASSERT_EQ(image.height, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t rgb[3];
      Gradient(x, y, rgb);
      const uint8_t* t = image.texels.get() + (size_t(y) * width + x) * 3;
      for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(t[k], uint8_t(rgb[k] >> shift << shift)) << x << "," << y << " component " << k;
      }
    }
  }
}

TEST(OverlayBmpDecode, EveryDepthAndRowOrderGivesRgbTopRowFirst) {
  for (int bits : {24, 32, 16}) {
    for (bool topDown : {false, true}) {
      BmpLayout layout;
      layout.width = 5;  // rows padded to 4 bytes at 24 and 16 bits
      layout.height = 3;
      layout.bits = bits;
      layout.topDown = topDown;
      const auto bytes = MakeBmp(layout, Gradient);
      OverlayImage image;
      ASSERT_TRUE(t3d::DecodeOverlayBmp(bytes.data(), bytes.size(), &image))
          << bits << " bits, top-down " << topDown;
      ExpectGradient(image, 5, 3, bits == 16 ? 3 : 0);
    }
  }
}

TEST(OverlayBmpDecode, SixteenBitsAreFiveFiveFive) {
  BmpLayout layout;
  layout.width = 2;
  layout.height = 1;
  layout.bits = 16;
  auto bytes = MakeBmp(layout, [](int, int, uint8_t rgb[3]) { rgb[0] = rgb[1] = rgb[2] = 0; });
  t3d::test::Put16(bytes, 54, 0x7FFF);
  t3d::test::Put16(bytes, 56, 0x7C00 | 0x001F);  // red and blue, no green; top bit ignored
  bytes[57] |= 0x80;
  OverlayImage image;
  ASSERT_TRUE(t3d::DecodeOverlayBmp(bytes.data(), bytes.size(), &image));
  const uint8_t* t = image.texels.get();
  EXPECT_EQ(t[0], 248);
  EXPECT_EQ(t[1], 248);
  EXPECT_EQ(t[2], 248);
  EXPECT_EQ(t[3], 248);
  EXPECT_EQ(t[4], 0);
  EXPECT_EQ(t[5], 248);
}

TEST(OverlayBmpDecode, ZeroOffsetAndImageSizeAreComputed) {
  BmpLayout layout;
  layout.width = 3;
  layout.height = 2;
  layout.zeroOffset = true;
  layout.zeroImageSize = true;
  const auto bytes = MakeBmp(layout, Gradient);
  OverlayImage image;
  ASSERT_TRUE(t3d::DecodeOverlayBmp(bytes.data(), bytes.size(), &image));
  ExpectGradient(image, 3, 2, 0);
}

TEST(OverlayBmpDecode, MalformedFilesAreRefusedWithNothingAllocated) {
  BmpLayout layout;
  layout.width = 4;
  layout.height = 4;
  const auto good = MakeBmp(layout, Gradient);
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> spoil;
  };
  const Case cases[] = {
      {"no BM", [](auto& b) { b[0] = 'X'; }},
      {"truncated header", [](auto& b) { b.resize(50); }},
      {"truncated pixels", [](auto& b) { b.resize(b.size() - 1); }},
      {"empty", [](auto& b) { b.clear(); }},
      {"8 bits", [](auto& b) { t3d::test::Put16(b, 28, 8); }},
      {"4 bits", [](auto& b) { t3d::test::Put16(b, 28, 4); }},
      {"48 bits", [](auto& b) { t3d::test::Put16(b, 28, 48); }},
      {"no planes", [](auto& b) { t3d::test::Put16(b, 26, 0); }},
      {"run-length compressed", [](auto& b) { t3d::test::Put32(b, 30, 1); }},
      {"zero width", [](auto& b) { t3d::test::Put32(b, 18, 0); }},
      {"negative width", [](auto& b) { t3d::test::Put32(b, 18, uint32_t(-4)); }},
      {"zero height", [](auto& b) { t3d::test::Put32(b, 22, 0); }},
      {"huge width", [](auto& b) { t3d::test::Put32(b, 18, 0x40000000); }},
      {"huge height", [](auto& b) { t3d::test::Put32(b, 22, 0x7FFFFFFF); }},
      {"most negative height", [](auto& b) { t3d::test::Put32(b, 22, 0x80000000u); }},
      {"offset past the end", [](auto& b) { t3d::test::Put32(b, 10, 0xFFFFFFF0u); }},
      {"image size too small", [](auto& b) { t3d::test::Put32(b, 34, 8); }},
      {"short info header", [](auto& b) { t3d::test::Put32(b, 14, 12); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.spoil(bytes);
    OverlayImage image;
    EXPECT_FALSE(t3d::DecodeOverlayBmp(bytes.data(), bytes.size(), &image)) << c.what;
    EXPECT_EQ(image.texels, nullptr) << c.what;
    EXPECT_EQ(image.width, 0) << c.what;
  }
  OverlayImage image;
  EXPECT_FALSE(t3d::DecodeOverlayBmp(nullptr, 100, &image));
}

TEST(OverlayBmpDecode, PowerOfTwoBelow) {
  EXPECT_EQ(t3d::PowerOfTwoBelow(1), 1);
  EXPECT_EQ(t3d::PowerOfTwoBelow(2), 2);
  EXPECT_EQ(t3d::PowerOfTwoBelow(3), 2);
  EXPECT_EQ(t3d::PowerOfTwoBelow(300), 256);
  EXPECT_EQ(t3d::PowerOfTwoBelow(200), 128);
  EXPECT_EQ(t3d::PowerOfTwoBelow(65535), 32768);
}

TEST_F(OverlayImageFiles, NameMustEndInBmpWhateverTheCase) {
  BmpLayout layout;
  layout.width = 256;
  layout.height = 64;
  const auto bytes = MakeBmp(layout, Gradient);
  OverlayImage image;
  // Power-of-two sides: returned as they are.
  EXPECT_TRUE(t3d::ReadOverlayImage(Write("upper.BMP", bytes), &image));
  EXPECT_EQ(image.width, 256);
  EXPECT_EQ(image.height, 64);
  EXPECT_TRUE(t3d::ReadOverlayImage(Write("lower.bmp", bytes), &image));
  EXPECT_FALSE(t3d::ReadOverlayImage(Write("picture.jpg", bytes), &image));
  EXPECT_EQ(image.texels, nullptr);
  EXPECT_FALSE(t3d::ReadOverlayImage(Write("bmp", bytes), &image));
  EXPECT_FALSE(t3d::ReadOverlayImage(dir_ + "/missing.bmp", &image));
  EXPECT_FALSE(t3d::ReadOverlayImage(dir_, &image));  // a directory
}

}  // namespace
