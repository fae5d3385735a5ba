// terrain3d fly -o VIDEO: one pass of the flight recorded by the library as an AVI, MPEG or MP4
// video; terrain3d plane: the plane graph of a grid as a picture.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli_commands.h"
#include "cli_options.h"
#include "cli_scene.h"
#include "cli_video.h"
#include "image_files.h"
#include "interrupts.h"
#include "terrain3d/terrain3d.h"

namespace t3dhost {
namespace {

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot);
  for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// The library's writer for a video file name: AVI, MPEG (program streams and, by name, MP4),
// or -1 for a name that names no video kind the library writes.
int WriterFor(const std::string& path) {
  const std::string extension = LowerExtension(path);
  if (extension == ".avi") return TN_RECORD_AVI;
  for (const char* mpeg : {".mpg", ".mpeg", ".m2p", ".vob", ".mp4", ".m4v", ".mov"})
    if (extension == mpeg) return TN_RECORD_MPEG;
  return -1;
}

}  // namespace

int RecordVideo(HeadlessScene& scene, const VideoOptions& options) {
  const int writer = WriterFor(options.path);
  TnRecordRequest request{};
  request.writer = writer;
  // Recorded beside the output and put in its place when complete: a refusal, a failure or an
  // interrupt leaves the file that was there.
  DraftFile draft(options.path);
  if (draft.path().size() >= sizeof request.path) {
    std::fprintf(stderr, "terrain3d: the video path is longer than %zu bytes\n",
                 sizeof request.path - 1 - (draft.path().size() - options.path.size()));
    return 1;
  }
  std::snprintf(request.path, sizeof request.path, "%s", draft.path().c_str());
  request.width = options.width;
  request.height = options.height;
  request.depthChoice = 4;  // 32 bits: what the off-screen bitmap holds
  request.framesPerSecond = int16_t(options.fps);
  request.flyFlag = options.hostRoute ? 2 : 1;
  if (writer == TN_RECORD_AVI && options.codec == TN_VIDEO_RAW) {
    const double megabytes = double(options.width) * options.height * 4 / 1e6;
    std::fprintf(stderr,
                 "terrain3d: uncompressed AVI takes %.1f MB a frame (--codec mjpeg or mpeg4 "
                 "for smaller files)\n",
                 megabytes);
  }
  if (tnRecord3DScene(scene.scene(), scene.state(), &request) != TN_OK) {
    std::fprintf(stderr, "terrain3d: the flight could not be recorded to '%s'\n",
                 options.path.c_str());
    return 1;
  }
  if (!draft.PutInPlace()) {
    std::fprintf(stderr, "terrain3d: the recorded video could not be moved to '%s'\n",
                 options.path.c_str());
    return 1;
  }
  const int frames = request.framesWritten;
  // AVI pictures lie five stream positions apart (the positions between hold empty frames);
  // MPEG and MP4 pictures follow each other.
  const double seconds = writer == TN_RECORD_AVI ? (5.0 * (frames - 1) + 1) / options.fps
                                                 : double(frames) / options.fps;
  std::error_code error;
  const auto bytes = std::filesystem::file_size(options.path, error);
  std::printf("%s: %d frames of %d x %d, %.1f MB, %.2f s\n", options.path.c_str(), frames,
              options.width, options.height, error ? 0.0 : double(bytes) / 1e6, seconds);
  return 0;
}

bool VideoKindKnown(const std::string& path) { return WriterFor(path) >= 0; }

// ---- terrain3d plane ------------------------------------------------------------------------

namespace {

const char kPlaneHelp[] =
    "usage: terrain3d plane DEM -o OUT.bmp|OUT.png|OUT.pgf [--exaggeration F] [--keep-crs]\n"
    "                        [--holes]\n"
    "Writes the plane graph of the grid: the grid from straight above, lit and coloured by\n"
    "height, at most 160 pixels on its longer side. .pgf keeps the library's own plane graph\n"
    "file; .bmp and .png convert it.\n";

// The plane graph file as a picture: a 14-byte header, then bottom-up rows padded to 4 bytes.
bool ReadPlaneGraph(const std::string& path, Picture& picture, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot open the plane graph";
    return false;
  }
  uint8_t head[14];
  bool ok = std::fread(head, 1, sizeof head, file) == sizeof head;
  const auto le = [&](int at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | head[at + i];
    return v;
  };
  const int width = int(le(0, 4)), height = int(le(4, 4)), bits = int(le(8, 2));
  const size_t stride = (size_t(width) * size_t(bits) + 31) / 32 * 4;
  ok = ok && width > 0 && height > 0 && width <= 4096 && height <= 4096 &&
       (bits == 24 || bits == 32) && le(10, 4) == stride * size_t(height);
  std::vector<uint8_t> rows(ok ? stride * size_t(height) : 0);
  ok = ok && std::fread(rows.data(), 1, rows.size(), file) == rows.size();
  std::fclose(file);
  if (!ok) {
    error = "the plane graph file is not one this program reads";
    return false;
  }
  picture.width = width;
  picture.height = height;
  picture.bgra.assign(size_t(width) * size_t(height) * 4, 255);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = &rows[stride * size_t(height - 1 - y) + size_t(x) * size_t(bits / 8)];
      uint8_t* to = &picture.bgra[(size_t(y) * size_t(width) + size_t(x)) * 4];
      to[0] = p[0], to[1] = p[1], to[2] = p[2];
    }
  return true;
}

}  // namespace

int RunPlane(int argc, char** argv) {
  const char* demPath = nullptr;
  std::string out;
  DialogAnswers answers;
  CommandLine line("plane", [](std::FILE* to) { std::fputs(kPlaneHelp, to); });
  line.Text("-o", &out)
      .GridOptions(&answers.keepHeights, &answers.keepCrs, &answers.exaggeration)
      .File(&demPath);
  if (const auto status = line.Parse(argc, argv)) return *status;
  if (demPath == nullptr) return line.Refuse("a DEM file is needed");
  const std::string extension = LowerExtension(out);
  if (out.empty() || (extension != ".bmp" && extension != ".png" && extension != ".pgf"))
    return line.Refuse("-o OUT.bmp, OUT.png or OUT.pgf is needed");
  const ScopedDialogAnswers dialogs(answers);
  HeadlessScene scene;
  if (!scene.Open(demPath, 64, 64)) return 1;
  // The library's file is written as a draft (the output itself for .pgf, put in its place when
  // complete), then converted for the other kinds.
  DraftFile graph(extension == ".pgf" ? out : out + ".pgf");
  if (tnOutput2DScene(scene.scene(), scene.state(), graph.path().c_str()) != TN_OK) {
    std::fprintf(stderr, "terrain3d: the plane graph could not be written\n");
    return 1;
  }
  Picture picture;
  std::string error;
  if (!ReadPlaneGraph(graph.path(), picture, error) ||
      (extension != ".pgf" && !WritePicture(out, picture, error))) {
    std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
    return 1;
  }
  if (extension == ".pgf" && !graph.PutInPlace()) {
    std::fprintf(stderr, "terrain3d: the plane graph could not be written to '%s'\n", out.c_str());
    return 1;
  }
  std::printf("%s (%d x %d)\n", out.c_str(), picture.width, picture.height);
  return 0;
}

}  // namespace t3dhost
