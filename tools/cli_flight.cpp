// terrain3d fly: the flight recorder. It flies the built-in tour (or a route through given map
// points) off screen and writes every frame as a picture, or records one pass as a video.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "cli_options.h"
#include "cli_notes.h"
#include "cli_regions.h"
#include "cli_roads.h"
#include "cli_scene.h"
#include "cli_video.h"
#include "image_files.h"
#include "terrain3d/terrain3d.h"

#include <unistd.h>

namespace t3dhost {
namespace {

const char kFlightHelp[] =
    "usage: terrain3d fly DEM -o VIDEO [--size WxH] [--fps N] [--codec raw|mjpeg|mpeg4]\n"
    "                     [--route X,Y/X,Y/...] [--speed S] [--exaggeration F] [--keep-crs]\n"
    "       terrain3d fly DEM --frames N --out-dir DIR [--route X,Y/X,Y/...] [--size WxH]\n"
    "                     [--png] [--speed S] [--exaggeration F] [--keep-crs]\n"
    "       (both: [--holes] [--lines FILE] [--reduce-lines C] and the region options below)\n"
    "With -o, records one pass of the built-in tour (or of the route through the given map\n"
    "points) as a video: VIDEO.avi (uncompressed frames, or --codec mjpeg or mpeg4; each frame\n"
    "lasts five AVI frames), VIDEO.mpg (MPEG-2) or VIDEO.mp4 (H.264); --size defaults to\n"
    "640x480 and --fps to 25 (MPEG-2: 24, 25, 30, 50, 60 or a divisor of one). Prints the\n"
    "file's frames, size and duration. --speed sets the flight's step in map units a frame.\n"
    "With --out-dir, writes the frames as frame00000.bmp, frame00001.bmp, ... (or .png) into\n"
    "DIR, which is made when missing.\n"
    "On a terminal the frames written so far are shown on stderr.\n"
    LINE_OPTIONS_HELP;

// The flight flag of the library's flight: 1 flies the built-in tour, any other non-zero value
// the route the host gave with SetFlyRoutin.
constexpr int kFlyTour = 1;
constexpr int kFlyHostRoute = 2;

// Whether a route (x, y pairs) passes over the grid's rectangle: a point on it, or a leg that
// crosses it (the leg clipped to the rectangle's slabs, x then y, leaves something).
bool RouteMeetsRect(const std::vector<float>& points, const TnGridHeader& grid) {
  const double low[2] = {grid.xMin, grid.yMin}, high[2] = {grid.xMax, grid.yMax};
  const size_t n = points.size() / 2;
  for (size_t i = 0; i < n; ++i) {
    const double a[2] = {points[2 * i], points[2 * i + 1]};
    const double b[2] = {points[2 * std::min(i + 1, n - 1)], points[2 * std::min(i + 1, n - 1) + 1]};
    double t0 = 0, t1 = 1;
    for (int k = 0; k < 2 && t0 <= t1; ++k) {
      const double d = b[k] - a[k];
      if (d == 0) {
        if (a[k] < low[k] || a[k] > high[k]) t0 = 2;
        continue;
      }
      double enter = (low[k] - a[k]) / d, leave = (high[k] - a[k]) / d;
      if (enter > leave) std::swap(enter, leave);
      t0 = std::max(t0, enter);
      t1 = std::min(t1, leave);
    }
    if (t0 <= t1) return true;
  }
  return false;
}

// The route: x,y pairs separated by '/', appended to points; false (with the message) on a bad
// pair.
bool ParseRoute(const std::string& route, std::vector<float>& points) {
  std::istringstream in(route);
  std::string pair;
  while (std::getline(in, pair, '/')) {
    double xy[2] = {0, 0};
    if (!ParseReals(pair.c_str(), xy, 2)) {
      std::fprintf(stderr, "terrain3d fly: --route takes map points X,Y/X,Y/..., not '%s'\n",
                   pair.c_str());
      return false;
    }
    points.push_back(float(xy[0]));
    points.push_back(float(xy[1]));
  }
  return true;
}

}  // namespace

int RunFlight(int argc, char** argv) {
  const char* demPath = nullptr;
  std::string outDir, route;
  int frames = 0, width = 640, height = 480, fps = 25;
  bool png = false;
  float speed = 0;
  std::string video, codec;
  DialogAnswers answers;
  LineOptions lines;
  RegionOptions regionOptions;
  NoteOptions noteOptions;
  CommandLine line("fly", [](std::FILE* to) {
    std::fputs(kFlightHelp, to);
    std::fputs(kRegionHelp, to);
    std::fputs(kNoteHelp, to);
    std::fputs(kRoadHelp, to);
  });
  RoadOptions roadOptions;
  line.Int("--frames", &frames, 1, 1000000)
      .Also([&](CommandLine& l) { AddLineOptions(l, lines); })
      .Also([&](CommandLine& l) { AddRegionOptions(l, regionOptions); })
      .Also([&](CommandLine& l) { AddNoteOptions(l, noteOptions); })
      .Also([&](CommandLine& l) { AddRoadOptions(l, roadOptions); })
      .Text("--out-dir", &outDir)
      .Text("-o", &video)
      .Int("--fps", &fps, 1, 127)
      .Text("--codec", &codec)
      .Real("--speed", &speed, 0, 1e12, true)
      .Text("--route", &route)
      .Size(&width, &height, 16384)
      .Flag("--png", &png)
      .GridOptions(&answers.keepHeights, &answers.keepCrs, &answers.exaggeration)
      .File(&demPath);
  if (const auto status = line.Parse(argc, argv)) return *status;
  if (demPath == nullptr) return line.Refuse("a DEM file is needed");
  if (!video.empty()) {
    if (!outDir.empty() || frames > 0 || png)
      return line.Refuse("-o VIDEO records one pass: --out-dir, --frames and --png are not for it");
    if (!VideoKindKnown(video))
      return line.Refuse("-o takes a video file: .avi, .mpg (.mpeg, .m2p, .vob) or .mp4 (.m4v, .mov)");
    std::string extension = video.substr(video.find_last_of('.'));
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (!codec.empty() && extension != ".avi")
      return line.Refuse("--codec is for -o VIDEO.avi (MPEG and MP4 files have their own)");
    // What the MPEG writer refuses, said before the scene is prepared.
    if (extension != ".avi") {
      if (width % 2 != 0 || height % 2 != 0)
        return line.Refuse("an MPEG or MP4 video's frames have even sides, not " +
                           std::to_string(width) + "x" + std::to_string(height));
      const bool mp4 = extension == ".mp4" || extension == ".m4v" || extension == ".mov";
      bool rate = mp4;
      for (int base : {24, 25, 30, 50, 60}) rate = rate || base % fps == 0;
      if (!rate)
        return line.Refuse("an MPEG-2 video plays at 24, 25, 30, 50 or 60 frames/s or a divisor of "
                           "one, not " + std::to_string(fps));
    }
  } else {
    if (!codec.empty()) return line.Refuse("--codec is for -o VIDEO.avi");
    if (outDir.empty()) return line.Refuse("-o VIDEO or --out-dir DIR is needed");
    if (frames <= 0) return line.Refuse("--frames N is needed");
  }
  if (!codec.empty()) {
    if (codec == "raw") answers.videoCodec = TN_VIDEO_RAW;
    else if (codec == "mjpeg") answers.videoCodec = TN_VIDEO_MJPEG;
    else if (codec == "mpeg4") answers.videoCodec = TN_VIDEO_MPEG4;
    else return line.Refuse("--codec takes raw, mjpeg or mpeg4, not '" + codec + "'");
  }
  std::vector<float> points;
  if (!route.empty() && !ParseRoute(route, points)) return 2;
  const ScopedDialogAnswers dialogs(answers);

  HeadlessScene scene;
  if (!scene.Create()) return 1;
  if (!scene.Initialise(width, height)) {
    std::fprintf(stderr, "terrain3d: cannot initialise a scene\n");
    return 1;
  }
  if (!scene.Prepare(demPath, DemFailure::kCannotPrepare) || !scene.LoadLines(lines)) return 1;
  void* s = scene.scene();
  void* st = scene.state();
  LoadedRegions regions;
  if (!regions.Load(s, st, scene.gridPath(), regionOptions)) return 1;
  LoadedNotes notes;
  if (!notes.Load(s, st, scene.gridPath(), noteOptions)) return 1;
  LoadedRoads roads;
  if (!roads.Load(s, st, scene.gridPath(), roadOptions)) return 1;
  if (!points.empty()) {
    TnSceneInfo info{};
    if (tnGetSceneInfo(s, st, &info) == TN_OK && !RouteMeetsRect(points, info.grid)) {
      std::fprintf(stderr,
                   "terrain3d: the route lies wholly outside the grid (x %.6f .. %.6f, y %.6f .. "
                   "%.6f): its frames would show no terrain\n",
                   info.grid.xMin, info.grid.xMax, info.grid.yMin, info.grid.yMax);
      return 1;
    }
  }
  if (!points.empty() && SetFlyRoutin(s, st, points.data(), short(points.size() / 2)) != TN_OK) {
    std::fprintf(stderr, "terrain3d: the route was refused\n");
    return 1;
  }
  if (speed > 0) {
    // The library holds the speed within its range (from about a cell a frame); a speed it
    // changes is said, since the flight then takes another number of frames than asked for.
    SetFlySpeed(s, st, speed);
    float taken = speed;
    if (GetFlySpeed(s, st, &taken) == TN_OK && taken != speed)
      std::fprintf(stderr, "terrain3d: --speed %g is outside the flight's range; flown at %g\n",
                   double(speed), double(taken));
  }
  if (!video.empty()) {
    VideoOptions options;
    options.path = video;
    options.width = width;
    options.height = height;
    options.fps = fps;
    options.codec = answers.videoCodec < 0 ? TN_VIDEO_RAW : answers.videoCodec;
    options.hostRoute = !points.empty();
    return RecordVideo(scene, options);
  }
  std::error_code madeError;
  std::filesystem::create_directories(outDir, madeError);
  if (madeError) {
    std::fprintf(stderr, "terrain3d: cannot make the folder '%s': %s\n", outDir.c_str(),
                 madeError.message().c_str());
    return 1;
  }
  SetFlyFlag(s, st, points.empty() ? kFlyTour : kFlyHostRoute);
  const bool showProgress = isatty(STDERR_FILENO) != 0;
  for (int frame = 0; frame < frames; ++frame) {
    if (showProgress) std::fprintf(stderr, "\rframe %d of %d", frame + 1, frames);
    char name[64];
    std::snprintf(name, sizeof name, "/frame%05d.%s", frame, png ? "png" : "bmp");
    // Each picture draws one frame, and each frame advances the flight one step.
    std::string error;
    if (!OutputView(s, st, outDir + name, width, height, error)) {
      std::fprintf(stderr, "%sterrain3d: frame %d: %s\n", showProgress ? "\n" : "", frame,
                   error.c_str());
      return 1;
    }
  }
  if (showProgress) std::fputc('\n', stderr);
  std::printf("%d frames in %s\n", frames, outDir.c_str());
  return 0;
}

}  // namespace t3dhost
