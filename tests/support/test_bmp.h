// Writing small BMP files for the overlay image tests: any depth, either row order, with the
// pixels given as a function of (x, y from the top).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace t3d::test {

struct BmpLayout {
  int width = 4;
  int height = 4;
  int bits = 24;  // 16 (5-5-5), 24 or 32; 8 writes a grey palette image
  bool topDown = false;
  bool zeroOffset = false;     // data offset 0 (the reader computes it)
  bool zeroImageSize = false;  // image size 0 (the reader computes it)
};

// Colour of pixel (x, y), y counted from the top: red, green, blue.
using PixelFunction = std::function<void(int x, int y, uint8_t rgb[3])>;

inline void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

inline std::vector<uint8_t> MakeBmp(const BmpLayout& layout, const PixelFunction& pixel) {
  const int paletteEntries = layout.bits == 8 ? 256 : 0;
  const size_t rowBytes = (size_t(layout.width) * layout.bits + 31) / 32 * 4;
  const size_t offset = 14 + 40 + 4 * size_t(paletteEntries);
  std::vector<uint8_t> b(offset + rowBytes * layout.height, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, uint32_t(b.size()));
  Put32(b, 10, layout.zeroOffset ? 0 : uint32_t(offset));
  Put32(b, 14, 40);
  Put32(b, 18, uint32_t(layout.width));
  Put32(b, 22, uint32_t(layout.topDown ? -layout.height : layout.height));
  Put16(b, 26, 1);
  Put16(b, 28, uint32_t(layout.bits));
  Put32(b, 34, layout.zeroImageSize ? 0 : uint32_t(rowBytes * layout.height));
  Put32(b, 46, uint32_t(paletteEntries));
  for (int i = 0; i < paletteEntries; ++i) {
    b[54 + 4 * i] = b[55 + 4 * i] = b[56 + 4 * i] = uint8_t(i);
  }
  for (int y = 0; y < layout.height; ++y) {
    const int stored = layout.topDown ? y : layout.height - 1 - y;
    uint8_t* row = b.data() + offset + rowBytes * stored;
    for (int x = 0; x < layout.width; ++x) {
      uint8_t rgb[3];
      pixel(x, y, rgb);
      if (layout.bits == 16) {
        const uint16_t v = uint16_t((rgb[0] >> 3) << 10 | (rgb[1] >> 3) << 5 | (rgb[2] >> 3));
        row[2 * x] = uint8_t(v);
        row[2 * x + 1] = uint8_t(v >> 8);
      } else if (layout.bits == 8) {
        row[x] = rgb[0];
      } else {
        const int step = layout.bits / 8;
        row[step * x] = rgb[2];
        row[step * x + 1] = rgb[1];
        row[step * x + 2] = rgb[0];
        if (step == 4) row[step * x + 3] = 0x5A;
      }
    }
  }
  return b;
}

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// A picture whose every pixel tells where it is.
inline void Gradient(int x, int y, uint8_t rgb[3]) {
  rgb[0] = uint8_t(x * 8);
  rgb[1] = uint8_t(y * 8);
  rgb[2] = uint8_t(200 - x - y);
}

}  // namespace t3d::test
