// terrain3d: the host program. It drives the library through its exported interface as a GIS
// host would.
//
//   terrain3d info [DEM] [--x11] [--display NAME] [--size WxH] [--no-rescale]
//       Initialises a scene on a window (headless by default, or an X11 window of its own) and
//       prints the GL vendor, renderer and version and the device record; with a DEM file, also
//       prepares it and prints the grid header and what preparation made of it.
//
//   terrain3d render DEM -o OUT.png|OUT.bmp [options]
//       Draws the prepared DEM in perspective (or in plan view) off screen and writes the picture.
//
// The commands live in cli_info.cpp, cli_pictures.cpp (render, hillshade, texlib), viewer.cpp
// (view) and cli_flight.cpp (fly); their shared option parsing in cli_options.*, and the scene
// they prepare from a DEM in cli_scene.*.
#include <cstdio>
#include <string>

#include "cli_commands.h"
#include "cli_scene.h"
#include "terrain3d/terrain3d.h"

namespace t3dhost {

void PrintUsage(std::FILE* to) {
  std::fputs(
      "usage: terrain3d info [DEM] [--x11] [--display NAME] [--size WxH] [--no-rescale]\n"
      "       terrain3d render DEM -o OUT.png|OUT.bmp [--size WxH] [--eye X,Y,Z --look X,Y]\n"
      "                        [--sky] [--fog] [--no-light] [--table N] [--grey] [--wireframe]\n"
      "                        [--plan] [--quality 0|1|2] [--no-rescale] [--texture IMAGE|LIB.tex]\n"
      "                        [--bands R,G,B]   (texture bands from 1 shown as red, green, blue)\n"
      "                        [--tiles AxD -o BIG.tif]\n"
      "       terrain3d hillshade DEM -o OUT.tif|OUT.png|OUT.bmp [--size WxH] [--azimuth A]\n"
      "                           [--tilt T]\n"
      "       terrain3d texlib DEM IMAGE -o LIB.tex\n"
      "       terrain3d view DEM [--size WxH] [--script FILE|-]   (terrain3d view --help: keys)\n"
      "       terrain3d fly DEM --frames N --out-dir DIR [--route X,Y/X,Y/...] [--png]\n"
      "  info   initialise a scene on a window and print the GL and device information\n"
      "         (headless by default; --x11 opens an X11 window on $DISPLAY or NAME);\n"
      "         with a DEM file (any raster GDAL reads), prepare it and print the grid\n"
      "         header, vertical scale, scene unit, eye range, level-of-detail factors and\n"
      "         draw quality. --no-rescale keeps heights 1:1 instead of the default scaling.\n"
      "  render draw the DEM and write the picture: in perspective from the prepared eye\n"
      "         (north-east of the centre) or from --eye (map x, y and height / zScale as\n"
      "         'info' prints it) looking at --look; --plan draws the whole grid from above.\n"
      "         --sky sky dome, --fog fog, --no-light no lighting, --table N colour table\n"
      "         0 to 38, --grey grey table, --wireframe lines, --quality level of detail.\n",
      to);
}

}  // namespace t3dhost

int main(int argc, char** argv) {
  using namespace t3dhost;
  tnSetMessageHandler(&PrintMessage, nullptr);
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "info") return RunInfo(argc - 2, argv + 2);
  if (command == "render") return RunRender(argc - 2, argv + 2);
  if (command == "view") return RunViewer(argc - 2, argv + 2);
  if (command == "hillshade") return RunHillShade(argc - 2, argv + 2);
  if (command == "texlib") return RunTextureLibrary(argc - 2, argv + 2);
  if (command == "fly") return RunFlight(argc - 2, argv + 2);
  if (command == "--help" || command == "-h" || command == "help") {
    PrintUsage(stdout);
    return 0;
  }
  std::fprintf(stderr, "terrain3d: unknown command '%s'\n", command.c_str());
  PrintUsage(stderr);
  return 2;
}
