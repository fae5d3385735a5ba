// terrain3d mosaic: joins the tiles that 'render --tiles AxD --tile-range I-J' wrote (by separate
// runs, on separate machines) into the whole picture.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "cli_options.h"
#include "geo_outputs.h"

namespace t3dhost {
namespace {

const char kMosaicHelp[] =
    "usage: terrain3d mosaic -o OUT.vrt|OUT.tif|OUT.png|OUT.jpg|OUT.bmp TILE...\n"
    "Joins the tiles written by 'terrain3d render --tiles AxD --tile-range I-J' into the\n"
    "whole picture: a GDAL VRT that refers to the tiles (OUT.vrt), or one picture in the\n"
    "format of OUT's extension. Every tile of the picture must be given, once; a missing\n"
    "tile is an error naming the share of the picture it leaves out.\n"
    "Example: terrain3d render DEM --tiles 4x4 --tile-range 1-8 -o big.tif   (one machine)\n"
    "         terrain3d render DEM --tiles 4x4 --tile-range 9-16 -o big.tif  (another)\n"
    "         terrain3d mosaic -o big.vrt big_*.tif\n";

bool EndsWith(const std::string& text, const char* tail) {
  const std::string end = tail;
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

int RunMosaic(int argc, char** argv) {
  std::string out;
  std::vector<std::string> tiles;
  CommandLine line("mosaic", [](std::FILE* to) { std::fputs(kMosaicHelp, to); });
  line.Text("-o", &out).Files(&tiles);
  if (const auto status = line.Parse(argc, argv)) return *status;
  if (out.empty()) return line.Refuse("-o OUT is needed");
  if (!EndsWith(out, ".vrt") && !IsPictureName(out))
    return line.Refuse("-o " + out + ": the name must end in .vrt, .tif, .png, .jpg or .bmp");
  if (tiles.empty()) return line.Refuse("the tiles to join are needed");
  for (const std::string& tile : tiles)
    if (tile == out) return line.Refuse("-o " + out + " is one of the tiles");
  std::string error;
  if (!WriteMosaic(tiles, out, error)) {
    std::fprintf(stderr, "terrain3d mosaic: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s (%zu tiles)\n", out.c_str(), tiles.size());
  return 0;
}

}  // namespace t3dhost
