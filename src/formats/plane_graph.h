// Plane graph files: the small overview picture of a grid that hosts show as an overview map. A
// 14-byte header (width and height as 32-bit integers, bits per pixel as a 16-bit one, the
// image size in bytes as a 32-bit one, all little-endian) and the pixel rows of a bitmap as held:
// bottom row first, each padded to 4 bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gl_device.h"

namespace t3d {

constexpr int kPlaneGraphHeaderBytes = 14;

// Writes path from a bottom-up bitmap. Shows "创建平面图文件错!" when the file cannot be
// created. A file that could not be written whole is removed. True on success.
bool WritePlaneGraphFile(const char* path, const platform::DibHeader& header, const uint8_t* bits);

// A plane graph file read back: false for a file that is not one (a header whose sizes do not
// agree with each other or with the file's length).
struct PlaneGraph {
  int32_t width = 0, height = 0;
  uint16_t bitsPerPixel = 0;
  std::vector<uint8_t> rows;
};
bool ReadPlaneGraphFile(const char* path, PlaneGraph& graph);

}  // namespace t3d
