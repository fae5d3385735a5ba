// The overlay image reader: BMP files that texture road ribbons and region faces, as RGB texels
// with the top row first, scaled down to power-of-two sides for OpenGL 1.1 textures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace t3d {

struct OverlayImage {
  uint16_t width = 0;
  uint16_t height = 0;
  // width × height × 3 bytes: red, green, blue; rows from the top of the picture down.
  std::unique_ptr<uint8_t[]> texels;
};

// Reads an overlay image: the name must end in ".bmp" (any letter case; other files are not
// opened), the file must be an uncompressed (or bit-field) BMP of 16 (5-5-5), 24 or 32 bits per
// pixel, bottom-up or top-down, and sides up to 65,535 pixels. A side that is not a power of two
// is scaled down to the largest power of two below it (gluScaleImage; without a current GL
// context the reader makes a temporary one and shows message 4 or 3 when it cannot). False on
// failure, with out left empty.
bool ReadOverlayImage(const std::string& fileName, OverlayImage* out);

// The decoding part alone, on the bytes of a file: true and an unscaled image when they are a BMP
// the reader accepts. Every size in the headers is checked against the bytes given before any
// buffer is sized from it.
bool DecodeOverlayBmp(const uint8_t* data, size_t size, OverlayImage* out);

// The largest power of two not above n (n >= 1).
uint16_t PowerOfTwoBelow(uint16_t n);

}  // namespace t3d
