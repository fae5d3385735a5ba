// terrain3d: the host program. It drives the library through its exported interface as a GIS
// host would.
//
//   terrain3d info [--x11] [--display NAME] [--size WxH]
//       Initialises a scene on a window (headless by default, or an X11 window of its own) and
//       prints the GL vendor, renderer and version and the device record.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host_window.h"
#include "terrain3d/terrain3d.h"

namespace {

int TN_CALL PrintMessage(void*, int id, unsigned style, const char* caption, const char* text) {
  std::fprintf(stderr, "message %d [%s]: %s\n", id, caption, text);
  return style == TN_MB_QUESTION_YESNO ? TN_IDNO : 1;
}

void Usage(FILE* to) {
  std::fputs(
      "usage: terrain3d info [--x11] [--display NAME] [--size WxH]\n"
      "  info   initialise a scene on a window and print the GL and device information\n"
      "         (headless by default; --x11 opens an X11 window on $DISPLAY or NAME)\n",
      to);
}

// Owns a scene object and its state block for the life of a command.
class Scene {
 public:
  Scene() {
    if (tnCreateTin3DDraw(&scene_, &state_) != TN_OK) scene_ = state_ = nullptr;
  }
  ~Scene() {
    if (scene_ != nullptr) {
      tnRelease3DScene(scene_, state_);
      tnDeleteTin3DDraw(scene_, state_);
    }
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;
  bool ok() const { return scene_ != nullptr; }
  void* scene() const { return scene_; }
  void* state() const { return state_; }

 private:
  void* scene_ = nullptr;
  void* state_ = nullptr;
};

int Info(int argc, char** argv) {
  bool x11 = false;
  const char* displayName = nullptr;
  int width = 640, height = 480;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--x11") {
      x11 = true;
    } else if (arg == "--display" && i + 1 < argc) {
      displayName = argv[++i];
      x11 = true;
    } else if (arg == "--size" && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
        std::fprintf(stderr, "terrain3d: bad size '%s'\n", argv[i]);
        return 2;
      }
    } else {
      Usage(stderr);
      return 2;
    }
  }

  TnNativeWindow window{};
  t3dhost::XHostWindow hostWindow;
  std::vector<unsigned char> pixels;
  if (x11) {
    if (!hostWindow.Open(displayName, width, height, "terrain3d")) {
      std::fprintf(stderr, "terrain3d: %s\n", hostWindow.error().c_str());
      return 1;
    }
    window.kind = TN_WINDOW_X11;
    window.displayName = displayName;
    window.window = hostWindow.window();
  } else {
    pixels.resize(size_t(width) * size_t(height) * 4);
    window.kind = TN_WINDOW_HEADLESS;
    window.width = width;
    window.height = height;
    window.pixels = pixels.data();
  }

  Scene scene;
  if (!scene.ok()) {
    std::fprintf(stderr, "terrain3d: cannot create a scene\n");
    return 1;
  }
  if (tnInitial3DScene(scene.scene(), scene.state(), &window) != TN_OK) {
    std::fprintf(stderr, "terrain3d: cannot initialise the scene on the %s window\n",
                 x11 ? "X11" : "headless");
    return 1;
  }
  const char* labels[] = {"GL vendor", "GL renderer", "GL version"};
  for (int which = 0; which < 3; ++which) {
    const char* text = tnGetGLInfo(scene.scene(), scene.state(), which);
    std::printf("%-12s %s\n", labels[which], text != nullptr ? text : "(not available)");
  }
  int info[3] = {-1, 0, 0};
  if (tnGetDeviceInfo(scene.scene(), scene.state(), info) == TN_OK) {
    static const int depths[] = {4, 8, 16, 24, 32};
    std::printf("%-12s %s window, colour depth class %d (%d bits per pixel), screen %d x %d\n",
                "device", x11 ? "X11" : "headless", info[0],
                info[0] >= 0 && info[0] <= 4 ? depths[info[0]] : 0, info[1], info[2]);
  } else {
    std::printf("%-12s (not available)\n", "device");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  tnSetMessageHandler(&PrintMessage, nullptr);
  if (argc < 2) {
    Usage(stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "info") return Info(argc - 2, argv + 2);
  if (command == "--help" || command == "-h" || command == "help") {
    Usage(stdout);
    return 0;
  }
  std::fprintf(stderr, "terrain3d: unknown command '%s'\n", command.c_str());
  Usage(stderr);
  return 2;
}
