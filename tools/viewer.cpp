// The viewer drives a scene like a desktop host: an X11 window of its own, keys for navigation,
// a redraw on demand and continuously while flying. A script (a file, or - for standard input)
// can stand in for the person at the keyboard, for tests and demonstrations.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "cli_commands.h"
#include "cli_geo.h"
#include "cli_options.h"
#include "cli_notes.h"
#include "cli_regions.h"
#include "cli_roads.h"
#include "cli_scene.h"
#include "host_window.h"
#include "image_files.h"
#include "terrain3d/terrain3d.h"

namespace t3dhost {
namespace {

const char kViewerHelp[] =
    "usage: terrain3d view DEM [--size WxH] [--script FILE|-] [--display NAME]\n"
    "                          [--exaggeration F] [--no-rescale] [--keep-crs] [--holes]\n"
    "                          [--lines FILE] [--reduce-lines C]\n"
    "Opens an X11 window and flies over the DEM.\n"
    LINE_OPTIONS_HELP
    "  Up / Down       forward / back a tenth of the way to the point looked at\n"
    "  Left / Right    turn left / right       Shift          three times the step\n"
    "  Page Up / Down  up / down               R              restore the view\n"
    "  F               start / stop the tour   P              plan view / perspective\n"
    "  + / -           closer to / away from the point looked at (a fifth of the way)\n"
    "  W / Shift+W     raise / lower the flood water a fiftieth of the height range (the\n"
    "                  first press floods the lowest cells); the title shows the level\n"
    "  C               the height colour dialog (a desktop window: libterrain3d-gtk.so)\n"
    "  mouse click     print the map point under the pointer and its height\n"
    "  Q / Escape      quit\n"
    "A script holds one command a line: key NAME [shift] (NAME: Up Down Left Right PageUp\n"
    "PageDown F R P W C plus minus), frames N (draw N frames), click X Y, screenshot FILE.png|.bmp,\n"
    "reshape W H, eye (print the eye and the point looked at), title (print the window's\n"
    "title), quit. Lines starting with # are ignored.\n";

class Viewer {
 public:
  bool Open(const char* displayName, int width, int height, const char* demPath,
            const LineOptions& lines) {
    // The title names the grid, as a desktop viewer's does.
    const std::string name = std::string(demPath).substr(std::string(demPath).find_last_of('/') + 1);
    title_ = "terrain3d - " + name;
    if (!window_.Open(displayName, width, height, title_.c_str())) {
      std::fprintf(stderr, "terrain3d: %s\n", window_.error().c_str());
      return false;
    }
    XSelectInput(window_.display(), window_.window(),
                 KeyPressMask | ButtonPressMask | StructureNotifyMask | ExposureMask);
    record_.kind = TN_WINDOW_X11;
    record_.displayName = displayName;
    record_.window = window_.window();
    if (!session_.Create() || !session_.Initialise(&record_)) {
      std::fprintf(stderr, "terrain3d: cannot initialise the scene on the window\n");
      return false;
    }
    scene_ = session_.scene();
    state_ = session_.state();
    width_ = width;
    height_ = height;
    session_.Reshape(width, height);
    return session_.Prepare(demPath) && session_.LoadLines(lines);
  }

  // Loads the region layer on the prepared scene (nothing without --regions).
  bool LoadRegions(const RegionOptions& options) {
    return regions_.Load(scene_, state_, session_.gridPath(), options);
  }
  // Loads the note layer on the prepared scene (nothing without --notes).
  bool LoadNotes(const NoteOptions& options) {
    return notes_.Load(scene_, state_, session_.gridPath(), options);
  }
  // Loads the road layer (nothing without --roads).
  bool LoadRoads(const RoadOptions& options) {
    return roads_.Load(scene_, state_, session_.gridPath(), options);
  }

  void Draw() {
    if (plan_) tnDraw2DScene(scene_, state_);
    else tnDrawScene(scene_, state_);
  }
  bool Flying() {
    int flag = 0;
    GetFlyFlag(scene_, state_, &flag);
    return flag != 0;
  }

  // Acts on one key; false when the viewer should end.
  bool Key(KeySym key, bool shift) {
    switch (key) {
      case XK_Up: Walk(shift ? 3 : 1); break;
      case XK_Down: Walk(shift ? -3 : -1); break;
      case XK_Left: Navigate(scene_, state_, 2, 0); break;
      case XK_Right: Navigate(scene_, state_, 3, 0); break;
      case XK_Page_Up: Navigate(scene_, state_, 4, 0); break;
      case XK_Page_Down: Navigate(scene_, state_, 5, 0); break;
      case XK_f:
      case XK_F: SetFlyFlag(scene_, state_, Flying() ? 0 : 1); break;
      case XK_r:
      case XK_R: RestoreDisplay(scene_, state_); break;
      case XK_p:
      case XK_P: plan_ = !plan_; break;
      case XK_w:
      case XK_W:
        if (!Water(shift ? -1 : 1)) return true;
        break;
      case XK_c:
      case XK_C: HeightColours(); break;
      case XK_plus:
      case XK_equal:
      case XK_KP_Add:
      case XK_minus:
      case XK_KP_Subtract:
        Dolly(key == XK_plus || key == XK_equal || key == XK_KP_Add);
        break;
      case XK_q:
      case XK_Q:
      case XK_Escape: return false;
      default: return true;
    }
    Draw();
    return true;
  }

  // Raises (steps > 0) or lowers the flood water by steps fiftieths of the grid's height range,
  // recolours the grid and shows the level and the time the recolouring took in the title (and
  // on stdout, for scripts). False when the analysis did not run.
  bool Water(int steps) {
    TnSceneInfo info{};
    if (tnGetSceneInfo(scene_, state_, &info) != TN_OK) return false;
    const double low = info.grid.zMin, high = info.grid.zMax;
    if (!waterOn_) {
      if (SetApplyType(scene_, state_, 1) != TN_OK) return false;
      waterOn_ = true;
      waterLevel_ = low;
    } else {
      waterLevel_ = std::clamp(waterLevel_ + steps * (high - low) / 50, low, high);
    }
    const auto start = std::chrono::steady_clock::now();
    const bool done = FloodSubmergeAnalyze(scene_, state_, float(waterLevel_), nullptr) == TN_OK;
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!done) return false;
    // In the grid's own units (the library's heights are the grid's times the height ratio).
    const double shown = waterLevel_ / session_.heightRatio();
    char title[512];
    std::snprintf(title, sizeof title, "%s - water at %.2f (recoloured in %.0f ms)", title_.c_str(),
                  shown, ms);
    XStoreName(window_.display(), window_.window(), title);
    std::printf("water level %.2f, recoloured in %.1f ms\n", shown, ms);
    std::fflush(stdout);
    return true;
  }

  // The height colour dialog as a desktop window, installed at the first use so that a viewer
  // that never asks loads no toolkit. The dialog is modal: the view waits until it closes.
  void HeightColours() {
    if (!desktopDialogs_ && tnUseDesktopDialogs(1) != 1) {
      std::fprintf(stderr, "terrain3d: the desktop dialogs (libterrain3d-gtk.so) cannot be shown\n");
      return;
    }
    desktopDialogs_ = true;
    if (SetHeightLayerColor(scene_, state_, nullptr) == TN_OK) std::printf("height colours applied\n");
    else std::printf("height colours unchanged\n");
    std::fflush(stdout);
  }

  // Moves the eye a fifth of its way towards the point it looks at (closer), or back as far
  // (away): a step in proportion to the view, from far above a large grid and near the ground
  // alike. The look point stays.
  void Dolly(bool closer) {
    float eye[3], centre[3];
    GetEyeCenterPosition(scene_, state_, eye, centre);
    const float share = closer ? 0.2f : -0.25f;  // 0.8 and 1 / 0.8 of the distance
    for (int i = 0; i < 3; ++i) eye[i] += share * (centre[i] - eye[i]);
    SetEyeCenterPosition(scene_, state_, eye, centre);
  }
  // Moves the eye and the point it looks at steps tenths of their ground distance forward
  // (negative: back): a step in proportion to the view, not one grid cell.
  void Walk(int steps) {
    float eye[3], centre[3];
    GetEyeCenterPosition(scene_, state_, eye, centre);
    const float dx = centre[0] - eye[0], dy = centre[1] - eye[1];
    const float share = 0.1f * float(steps);
    eye[0] += share * dx;
    eye[1] += share * dy;
    centre[0] += share * dx;
    centre[1] += share * dy;
    SetEyeCenterPosition(scene_, state_, eye, centre);
  }
  void Click(int x, int y) {
    int point[2] = {x, y};
    double mapX = 0, mapY = 0, height = 0;
    if (GetCurMousePos(scene_, state_, point, &mapX, &mapY) == TN_OK &&
        HeightAt(session_.gridPath(), mapX, mapY, height))
      std::printf("pixel %d,%d: map point %.3f, %.3f, height %.2f\n", x, y, mapX, mapY,
                  height / session_.heightRatio());
    else if (GetCurMousePos(scene_, state_, point, &mapX, &mapY) == TN_OK)
      std::printf("pixel %d,%d: map point %.3f, %.3f, no height there\n", x, y, mapX, mapY);
    else
      std::printf("pixel %d,%d: no ground point\n", x, y);
    std::fflush(stdout);
  }

  void Reshape(int width, int height) {
    width_ = width;
    height_ = height;
    tnReshape(scene_, state_, width, height);
  }

  bool Screenshot(const std::string& path) {
    XSync(window_.display(), False);
    XImage* image = XGetImage(window_.display(), window_.window(), 0, 0, unsigned(width_),
                              unsigned(height_), AllPlanes, ZPixmap);
    if (image == nullptr) return false;
    Picture picture;
    picture.width = width_;
    picture.height = height_;
    picture.bgra.resize(size_t(width_) * size_t(height_) * 4);
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) {
        const unsigned long pixel = XGetPixel(image, x, y);
        uint8_t* p = &picture.bgra[(size_t(y) * size_t(width_) + size_t(x)) * 4];
        p[0] = uint8_t(pixel & 0xff);
        p[1] = uint8_t((pixel >> 8) & 0xff);
        p[2] = uint8_t((pixel >> 16) & 0xff);
        p[3] = 255;
      }
    XDestroyImage(image);
    std::string error;
    if (!WritePicture(path, picture, error)) {
      std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
      return false;
    }
    std::printf("screenshot %s\n", path.c_str());
    std::fflush(stdout);
    return true;
  }

  // Handles the window's pending events; false when the viewer should end.
  bool HandleEvents() {
    Display* display = window_.display();
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      switch (event.type) {
        case Expose:
          if (event.xexpose.count == 0) Draw();
          break;
        case ConfigureNotify:
          if (event.xconfigure.width != width_ || event.xconfigure.height != height_) {
            Reshape(event.xconfigure.width, event.xconfigure.height);
            Draw();
          }
          break;
        case KeyPress: {
          const KeySym key = XLookupKeysym(&event.xkey, 0);
          const bool shift = (event.xkey.state & ShiftMask) != 0;
          KeySym shifted = key;
          char text[8];
          if (XLookupString(&event.xkey, text, sizeof text, &shifted, nullptr) > 0 && text[0] == '+')
            shifted = XK_plus;
          if (!Key(shifted == XK_plus ? XK_plus : key, shift)) return false;
          break;
        }
        case ButtonPress:
          if (event.xbutton.button == Button1) Click(event.xbutton.x, event.xbutton.y);
          break;
        default: break;
      }
    }
    return true;
  }

  int RunInteractive() {
    Draw();
    for (;;) {
      if (!HandleEvents()) return 0;
      if (Flying()) {
        Draw();
      } else {
        // Wait for the next event without spinning.
        XEvent event;
        XPeekEvent(window_.display(), &event);
      }
    }
  }

  int RunScript(std::istream& in) {
    Draw();
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      std::string command;
      if (!(words >> command) || command[0] == '#') continue;
      if (!HandleEvents()) return 0;
      if (command == "quit") return 0;
      if (command == "key") {
        std::string name, modifier;
        words >> name >> modifier;
        const KeySym key = KeyOf(name);
        if (key == NoSymbol) {
          std::fprintf(stderr, "terrain3d: unknown key '%s'\n", name.c_str());
          return 2;
        }
        if (!Key(key, modifier == "shift")) return 0;
      } else if (command == "eye") {
        float eye[3], centre[3];
        GetEyeCenterPosition(scene_, state_, eye, centre);
        std::printf("eye %.3f %.3f %.3f look %.3f %.3f %.3f\n", eye[0], eye[1], eye[2],
                    centre[0], centre[1], centre[2]);
        std::fflush(stdout);
      } else if (command == "title") {
        char* title = nullptr;
        XFetchName(window_.display(), window_.window(), &title);
        std::printf("title %s\n", title != nullptr ? title : "");
        std::fflush(stdout);
        if (title != nullptr) XFree(title);
      } else if (command == "frames") {
        int count = 0;
        words >> count;
        for (int i = 0; i < count; ++i) Draw();
      } else if (command == "click") {
        int x = 0, y = 0;
        words >> x >> y;
        Click(x, y);
      } else if (command == "screenshot") {
        std::string path;
        words >> path;
        if (!Screenshot(path)) return 1;
      } else if (command == "reshape") {
        int width = 0, height = 0;
        words >> width >> height;
        // The window cannot be larger than the screen: a larger size is clamped to it (the X
        // server would refuse sides past 16 bits, and nothing larger could be shown).
        Screen* screen = DefaultScreenOfDisplay(window_.display());
        if (width > WidthOfScreen(screen) || height > HeightOfScreen(screen)) {
          width = std::min(width, WidthOfScreen(screen));
          height = std::min(height, HeightOfScreen(screen));
          std::fprintf(stderr, "terrain3d: reshape clamped to the screen, %dx%d\n", width, height);
        }
        if (width > 0 && height > 0) {
          XResizeWindow(window_.display(), window_.window(), unsigned(width), unsigned(height));
          XSync(window_.display(), False);
          Reshape(width, height);
          Draw();
        }
      } else {
        std::fprintf(stderr, "terrain3d: unknown script command '%s'\n", command.c_str());
        return 2;
      }
    }
    return 0;
  }

 private:
  static KeySym KeyOf(const std::string& name) {
    static const struct {
      const char* name;
      KeySym key;
    } keys[] = {{"Up", XK_Up},         {"Down", XK_Down},           {"Left", XK_Left},
                {"Right", XK_Right},   {"PageUp", XK_Page_Up},      {"PageDown", XK_Page_Down},
                {"F", XK_F},           {"R", XK_R},                 {"P", XK_P},
                {"plus", XK_plus},     {"minus", XK_minus},         {"Q", XK_Q},
                {"W", XK_W},           {"C", XK_C}};
    for (const auto& k : keys)
      if (name == k.name) return k.key;
    return NoSymbol;
  }

  XHostWindow window_;
  TnNativeWindow record_{};
  SceneSession session_;  // after the window and its record: released while they are in place
  LoadedRegions regions_;  // after the session: unloaded while the scene is there
  LoadedNotes notes_;      // likewise
  LoadedRoads roads_;      // the same
  void* scene_ = nullptr;  // the session's scene and state block, for the calls that need them
  void* state_ = nullptr;
  int width_ = 0, height_ = 0;
  bool plan_ = false;
  bool waterOn_ = false;
  double waterLevel_ = 0;  // library height units
  std::string title_;
  bool desktopDialogs_ = false;
};

}  // namespace

int RunViewer(int argc, char** argv) {
  const char* demPath = nullptr;
  const char* script = nullptr;
  const char* displayName = nullptr;
  int width = 800, height = 600;
  DialogAnswers answers;
  LineOptions lines;
  RegionOptions regionOptions;
  NoteOptions noteOptions;
  CommandLine line("view", [](std::FILE* to) {
    std::fputs(kViewerHelp, to);
    std::fputs(kRegionHelp, to);
    std::fputs(kNoteHelp, to);
    std::fputs(kRoadHelp, to);
  });
  RoadOptions roadOptions;
  line.Size(&width, &height, 16384)
      .Also([&](CommandLine& l) { AddLineOptions(l, lines); })
      .Also([&](CommandLine& l) { AddRegionOptions(l, regionOptions); })
      .Also([&](CommandLine& l) { AddNoteOptions(l, noteOptions); })
      .Also([&](CommandLine& l) { AddRoadOptions(l, roadOptions); })
      .Text("--script", &script)
      .Text("--display", &displayName)
      .GridOptions(&answers.keepHeights, &answers.keepCrs, &answers.exaggeration)
      .File(&demPath);
  if (const auto status = line.Parse(argc, argv)) return *status;
  if (demPath == nullptr) return line.Refuse("a DEM file is needed");
  const ScopedDialogAnswers dialogs(answers);
  Viewer viewer;
  if (!viewer.Open(displayName, width, height, demPath, lines)) return 1;
  if (!viewer.LoadRegions(regionOptions)) return 1;
  if (!viewer.LoadNotes(noteOptions)) return 1;
  if (!viewer.LoadRoads(roadOptions)) return 1;
  if (script == nullptr) return viewer.RunInteractive();
  if (std::string(script) == "-") return viewer.RunScript(std::cin);
  std::ifstream file(script);
  if (!file) {
    std::fprintf(stderr, "terrain3d: cannot read the script '%s'\n", script);
    return 1;
  }
  return viewer.RunScript(file);
}

}  // namespace t3dhost
