// terrain3d: the host program. It drives the library through its exported interface as a GIS
// host would.
//
//   terrain3d COMMAND [ARGUMENTS], terrain3d COMMAND --help, terrain3d --version
//
// The commands live in cli_info.cpp, cli_pictures.cpp (render, hillshade, texlib), viewer.cpp
// (view), cli_flight.cpp (fly), cli_flood.cpp (flood) and cli_mosaic.cpp (mosaic); their shared option parsing in cli_options.*, and the scene
// they prepare from a DEM in cli_scene.*.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "cli_commands.h"
#include "cli_scene.h"
#include "interrupts.h"
#include "terrain3d/terrain3d.h"

namespace t3dhost {

void PrintUsage(std::FILE* to) {
  std::fputs(
      "usage: terrain3d COMMAND [ARGUMENTS]   (terrain3d COMMAND --help: its options)\n"
      "       terrain3d --version\n"
      "  info       initialise a scene and print the GL and device information; with a DEM,\n"
      "             what preparation made of it\n"
      "  render     draw the DEM in perspective or plan view into a picture\n"
      "  hillshade  write a hill-shade picture of the DEM\n"
      "  texlib     keep an image prepared as the DEM's texture (or the DEM's hill shade) as\n"
      "             a texture library\n"
      "  view       fly over the DEM in a window\n"
      "  fly        record a flight over the DEM as a video (or write its frames)\n"
      "  plane      write the plane graph (a small overview picture) of the DEM\n"
      "  flood      draw the DEM flooded to a water level (or from a seed point)\n"
      "  mosaic     join the tiles of 'render --tile-range' runs into one picture\n"
      "  tables     list the colour tables by number and name (-o: a contact sheet)\n"
      "  blockview  draw the DEM as a sample host engine of the block scene interface\n"
      "Environment: TERRAIN3D_DATA_DIR (the folder holding HeightLut/, the colour tables),\n"
      "TERRAIN3D_WORK_DIR (where the terrain cache is made).\n",
      to);
}

namespace {

bool IsFolder(const char* path) {
  struct stat status {};
  return ::stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

// The folders the library is pointed at through the environment: a wrong one would otherwise
// show up as grey pictures (no colour tables) or as a DEM that "cannot be prepared" (no room for
// the terrain cache). False, with the reason, when one is set and cannot serve.
bool CheckEnvironmentFolders() {
  if (const char* data = std::getenv("TERRAIN3D_DATA_DIR"); data != nullptr && *data != '\0') {
    const std::string tables = std::string(data) + "/HeightLut";
    if (!IsFolder(data) || !IsFolder(tables.c_str())) {
      std::fprintf(stderr,
                   "terrain3d: TERRAIN3D_DATA_DIR '%s' is not a folder holding HeightLut/ (the "
                   "colour tables); unset it to use the data installed with the program\n",
                   data);
      return false;
    }
  }
  if (const char* work = std::getenv("TERRAIN3D_WORK_DIR"); work != nullptr && *work != '\0') {
    if (!IsFolder(work) || ::access(work, W_OK | X_OK) != 0) {
      std::fprintf(stderr,
                   "terrain3d: TERRAIN3D_WORK_DIR '%s' is not a folder this user can write to "
                   "(the terrain cache is made there)\n",
                   work);
      return false;
    }
  }
  return true;
}

}  // namespace

}  // namespace t3dhost

int main(int argc, char** argv) {
  using namespace t3dhost;
  tnSetMessageHandler(&PrintMessage, nullptr);
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    PrintUsage(stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("terrain3d %s\n", TERRAIN3D_VERSION);
    return 0;
  }
  if (!CheckEnvironmentFolders()) return 2;
  if (!InstallInterruptCleanup()) return 1;
  if (command == "info") return RunInfo(argc - 2, argv + 2);
  if (command == "render") return RunRender(argc - 2, argv + 2);
  if (command == "view") return RunViewer(argc - 2, argv + 2);
  if (command == "hillshade") return RunHillShade(argc - 2, argv + 2);
  if (command == "texlib") return RunTextureLibrary(argc - 2, argv + 2);
  if (command == "fly") return RunFlight(argc - 2, argv + 2);
  if (command == "plane") return RunPlane(argc - 2, argv + 2);
  if (command == "flood") return RunFlood(argc - 2, argv + 2);
  if (command == "mosaic") return RunMosaic(argc - 2, argv + 2);
  if (command == "tables") return RunTables(argc - 2, argv + 2);
  if (command == "blockview") return RunBlockView(argc - 2, argv + 2);
  std::fprintf(stderr, "terrain3d: unknown command '%s'\n", command.c_str());
  PrintUsage(stderr);
  return 2;
}
