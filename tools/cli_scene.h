// How the host program's commands hold a conversation with the library: the answers to its
// dialogs and messages, and a scene prepared from a DEM file, released on every path.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cli_geo.h"
#include "terrain3d/terrain3d.h"

namespace t3dhost {

struct ColourRamp;

// True when the user's locale for messages is Chinese: the first of LC_ALL, LC_MESSAGES and LANG
// that is set and not empty starts with "zh".
bool UserReadsChinese();

// Prints a library message on stderr, "terrain3d: message ID: TEXT" in English, or with a Chinese
// locale "terrain3d: message ID [CAPTION]: TEXT" as the library gives it; answers No to
// questions.
int TN_CALL PrintMessage(void* user, int id, unsigned style, const char* caption, const char* text);

// The program's answers to the library's dialogs. A dialog without an answer here takes its own
// starting choice.
struct DialogAnswers {
  bool keepHeights = false;       // vertical scale: heights 1:1 (--no-rescale)
  bool keepCrs = false;           // a grid in degrees drawn in degrees, not warped (--keep-crs)
  float exaggeration = 0;         // heights times this against the ground; 0: the library's
                                  // automatic scale (--exaggeration; --no-rescale is 1)
  int tableNumber = -1;           // height colour: colour table 0 to 38 (--table)
  std::shared_ptr<const ColourRamp> ramp;  // height colour: a custom ramp (--colours)
  std::shared_ptr<const TnHeightColourDialog> rampBands;  // the ramp as bands of the grid
  int bands[3] = {-1, -1, -1};    // bands: texture bands shown as red, green, blue, from 0
  bool textureForOutput = false;  // texture format: 24-bit pixels, which pictures can be made of
  std::string saveLibrary;        // save texture: the library file to write
  int videoCodec = -1;            // video compressor: TN_VIDEO_... (--codec); -1: its default
};

// Installs answers as the dialog handler while it lives (the default answers come back after).
class ScopedDialogAnswers {
 public:
  explicit ScopedDialogAnswers(const DialogAnswers& answers);
  ~ScopedDialogAnswers();
  ScopedDialogAnswers(const ScopedDialogAnswers&) = delete;
  ScopedDialogAnswers& operator=(const ScopedDialogAnswers&) = delete;
};

// How a DEM that cannot be prepared is reported.
enum class DemFailure {
  // "terrain3d: REASON" when the file does not open; "terrain3d: cannot prepare 'PATH': REASON"
  // when it opens but does not prepare (without ": REASON" when the store gives none).
  kStoreReason,
  // "terrain3d: cannot prepare 'PATH': REASON" in both cases (the flight recorder's wording).
  kCannotPrepare,
};

// Map lines drawn over the scene (--lines FILE, --reduce-lines C).
struct LineOptions {
  const char* path = nullptr;
  float reduce = 0;
  bool haveReduce = false;
};
// Adds --lines and --reduce-lines to a command line; LINE_OPTIONS_HELP is their help.
#define LINE_OPTIONS_HELP                                                                    \
  "  --lines FILE          draw the lines of a vector file (any OGR source) over the\n"      \
  "                        terrain, in the colours of its 'colour' field (blue without);\n" \
  "                        FILE|layername=NAME takes one layer of a file of several\n" \
  "  --reduce-lines C      thin the lines: drop points within C map units of the thinned\n" \
  "                        line (0.001 to 1000; default 1.25, or 0.001 on a grid kept in\n" \
  "                        degrees, where 1.25 would thin every line to nothing)\n"
class CommandLine;
void AddLineOptions(CommandLine& line, LineOptions& options);

// A scene object and its state block, and the DEM handle the scene is prepared from. The scene is
// released and deleted, then the DEM closed, when it goes, whatever step failed.
class SceneSession {
 public:
  SceneSession() = default;
  ~SceneSession();
  SceneSession(const SceneSession&) = delete;
  SceneSession& operator=(const SceneSession&) = delete;

  // The scene object; false when the library could not make one.
  bool Create();
  // Initialises the created scene on a window record, which must stay in place until the
  // session ends.
  bool Initialise(TnNativeWindow* window);
  void Reshape(int width, int height);
  // Opens the DEM at path (warped to metres when it is in degrees, unless the answers in place
  // say --keep-crs) and prepares the scene from it; on failure prints why (with the DEM store's
  // reason) and returns false.
  bool Prepare(const char* path, DemFailure report = DemFailure::kStoreReason);
  // Prepares the scene's texture from the image at path, warped to the grid's CRS when it has
  // another; false, with the reason printed, when it cannot be.
  bool PrepareTexture(const char* path);
  // Opens the region file at path (reprojected into the grid's CRS) and burns its regions into
  // the prepared grid as a map area, printing what was burnt; false, with the reason printed,
  // when it cannot be.
  bool LoadMapArea(const char* path);
  // Opens the vector file of options (reprojected into the grid's CRS when it has another) and
  // loads its lines onto the prepared scene, with the reduce-line coefficient when one is
  // given; nothing to do without a file. False, with the reason printed, when it cannot be.
  bool LoadLines(const LineOptions& options);
  // The vertical exaggeration the prepared scene shows (heights taken as metres).
  double Exaggeration() const;
  // The scene height of a height in the grid's own units.
  float SceneHeight(double height) const;
  // The grid as the library reads it (the user's file or its warped VRT).
  const std::string& gridPath() const { return grid_.path(); }
  double heightRatio() const { return grid_.heightRatio(); }

  void* scene() const { return scene_; }
  void* state() const { return state_; }

 private:
  void AimEyeForScale();

  // Before the handles: the DEM and the texture are released while their files are in place.
  WarpedSource grid_;
  WarpedSource texture_;
  int dem_ = 0;
  std::vector<unsigned short> mapSlots_;  // closed after the scene is released
  unsigned short lines_ = 0;  // the map file slot of the lines, closed after the scene goes
  void* scene_ = nullptr;
  void* state_ = nullptr;
};

// A scene on a headless window of its own (off screen, width x height pixels).
class HeadlessScene {
 public:
  // The scene object; false when the library could not make one.
  bool Create() { return session_.Create(); }
  // Initialises the created scene on the window, made width x height, and reshapes it to that.
  bool Initialise(int width, int height);
  // Create, Initialise and Prepare from the DEM at path; prints why on failure.
  bool Open(const char* path, int width, int height);
  bool Prepare(const char* path, DemFailure report = DemFailure::kStoreReason) {
    return session_.Prepare(path, report);
  }

  void* scene() const { return session_.scene(); }
  void* state() const { return session_.state(); }
  const std::string& gridPath() const { return session_.gridPath(); }
  double Exaggeration() const { return session_.Exaggeration(); }
  float SceneHeight(double height) const { return session_.SceneHeight(height); }
  // Library heights per grid height unit (the scale of --exaggeration's VRT).
  double heightRatio() const { return session_.heightRatio(); }
  bool PrepareTexture(const char* path) { return session_.PrepareTexture(path); }
  bool LoadMapArea(const char* path) { return session_.LoadMapArea(path); }
  bool LoadLines(const LineOptions& options) { return session_.LoadLines(options); }
  // The window's pixels: the last frame presented, BGRA rows, top row first.
  std::vector<unsigned char> pixels() const {
    return pixels_ ? std::vector<unsigned char>(pixels_.get(), pixels_.get() + pixelBytes_)
                   : std::vector<unsigned char>();
  }

 private:
  struct Free {
    void operator()(unsigned char* p) const { std::free(p); }
  };
  // Zeroed by the system as it is first written: a window as large as a picture costs no memory
  // until a frame is presented in it (outputs draw off screen).
  std::unique_ptr<unsigned char, Free> pixels_;
  size_t pixelBytes_ = 0;
  TnNativeWindow window_{};
  SceneSession session_;  // after the window: the scene is released while the window is in place
};

}  // namespace t3dhost
