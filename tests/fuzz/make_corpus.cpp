// Writes the fuzz target's seed libraries, small valid files of both tilings and several
// pixel formats, into the directory given as the only argument.
#include <cstdio>
#include <string>
#include <vector>

#include "formats/texture_library.h"

namespace {

// Plane libraries and larger pyramids as the producers tile them; pyramids within one tile
// with small tiles (tileSize), which readers accept as well, to keep the seeds small.
bool Write(const std::string& path, uint32_t rows, uint32_t cols, bool plane, int format,
           uint32_t tileSize = 0) {
  const auto table = plane      ? t3d::BuildPlaneTileTable(rows, cols, 8)
                     : tileSize ? t3d::ExpectedTileTable(rows, cols, tileSize, false)
                                : t3d::BuildTileTable(rows, cols, 8);
  if (!table) return false;
  t3d::TextureLibraryWriter writer =
      t3d::TextureLibraryWriter::Create(path, "/images/seed.rim", rows, cols, format, *table);
  if (!writer.valid()) return false;
  std::vector<uint8_t> rgb(size_t(table->tileSize) * table->tileSize * 3);
  for (size_t n = 0; n < table->tiles.size(); ++n) {
    for (size_t k = 0; k < rgb.size(); ++k) rgb[k] = uint8_t(k * 7 + n * 13);
    if (!writer.WriteRgbTile(rgb.data(), rgb.size())) return false;
  }
  return writer.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const bool ok = Write(dir + "/pyramid_3x3_rgb24.tex", 3, 3, false, 1, 2) &&
                  Write(dir + "/pyramid_300x5_argb1555.tex", 300, 5, false, 3) &&
                  Write(dir + "/pyramid_20x9_rgb565.tex", 20, 9, false, 2, 8) &&
                  Write(dir + "/plane_5x3_rgba5551.tex", 5, 3, true, 4) &&
                  Write(dir + "/plane_9x6_bgra32.tex", 9, 6, true, 6) &&
                  Write(dir + "/plane_4x4_rgba32.tex", 4, 4, true, 5);
  return ok ? 0 : 1;
}
