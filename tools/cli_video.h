// Videos of a flight recorded through the library (terrain3d fly -o VIDEO).
#pragma once

#include <string>

#include "cli_scene.h"

namespace t3dhost {

struct VideoOptions {
  std::string path;     // .avi, .mpg/.mpeg/.m2p/.vob (MPEG-2), .mp4/.m4v/.mov (H.264)
  int width = 640, height = 480;
  int fps = 25;
  int codec = 0;        // AVI only: TN_VIDEO_RAW, TN_VIDEO_MJPEG or TN_VIDEO_MPEG4
  bool hostRoute = false;
};

// Whether the file name names a video kind the library writes.
bool VideoKindKnown(const std::string& path);

// Records one pass of the flight (the host route set on the scene, or the built-in tour) into
// options.path and prints the file's frames, size and duration. Returns the exit status.
int RecordVideo(HeadlessScene& scene, const VideoOptions& options);

}  // namespace t3dhost
