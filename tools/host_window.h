// A plain Xlib window such as a host application would make, for the host program and tests.
#pragma once

#include <X11/Xlib.h>

#include <string>

namespace t3dhost {

class XHostWindow {
 public:
  XHostWindow() = default;
  ~XHostWindow();
  XHostWindow(const XHostWindow&) = delete;
  XHostWindow& operator=(const XHostWindow&) = delete;

  // Opens the display (null: $DISPLAY), creates a mapped width x height window titled title and
  // waits until it is shown. False with a reason in error() on failure.
  bool Open(const char* displayName, int width, int height, const char* title);

  Display* display() const { return display_; }
  Window window() const { return window_; }
  const std::string& error() const { return error_; }

  // Reads the pixel at (x, y) of the window as 0xRRGGBB, through the host's own connection.
  bool ReadPixel(int x, int y, unsigned long& rgb);

 private:
  Display* display_ = nullptr;
  Window window_ = 0;
  std::string error_;
};

}  // namespace t3dhost
