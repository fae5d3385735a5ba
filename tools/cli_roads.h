// The road options of the host program's drawing commands (render, view, fly): a file of lines
// drawn as roads of a width over the terrain, with a road image repeated along them.
#pragma once

#include <string>

#include "cli_options.h"
#include "terrain3d/terrain3d.h"

namespace t3dhost {

struct RoadOptions {
  std::string file;        // --roads FILE (any OGR line source)
  float width = -1;        // --road-width W: in the grid's map units (unset: 20 m)
  std::string widthField;  // --road-width-field NAME|N: each line's width from this attribute
  std::string image;       // --road-image BMP: the road image (default: the library's own)
  int repeat = 1;          // --road-repeat N: image repeats along the shortest segment, 0 to 255
};

// The help lines of the options.
extern const char kRoadHelp[];

// Declares --roads, --road-width, --road-width-field, --road-image and --road-repeat.
void AddRoadOptions(CommandLine& line, RoadOptions& options);

// A road layer loaded on a prepared scene; the map file stays open as long as this object
// (declare it after the scene, so that it goes first).
class LoadedRoads {
 public:
  LoadedRoads() = default;
  ~LoadedRoads();
  LoadedRoads(const LoadedRoads&) = delete;
  LoadedRoads& operator=(const LoadedRoads&) = delete;

  // Opens the file in the grid's coordinate system (gridPath: the grid as the library reads it)
  // and loads its lines as roads; nothing to do without --roads. False, after saying why, when
  // the file cannot be opened, its width field is not there, or the roads cannot be loaded.
  bool Load(void* scene, void* state, const std::string& gridPath, const RoadOptions& options);

 private:
  void* scene_ = nullptr;
  void* state_ = nullptr;
  unsigned short slot_ = 0;
};

}  // namespace t3dhost
