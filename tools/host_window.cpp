#include "host_window.h"

#include <X11/Xutil.h>

namespace t3dhost {

XHostWindow::~XHostWindow() {
  if (display_ != nullptr) {
    if (window_ != 0) XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }
}

bool XHostWindow::Open(const char* displayName, int width, int height, const char* title) {
  display_ = XOpenDisplay(displayName);
  if (display_ == nullptr) {
    error_ = "cannot open the X display";
    return false;
  }
  const int screen = DefaultScreen(display_);
  window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0, unsigned(width),
                                unsigned(height), 0, BlackPixel(display_, screen),
                                BlackPixel(display_, screen));
  XStoreName(display_, window_, title);
  XSelectInput(display_, window_, StructureNotifyMask | ExposureMask);
  XMapWindow(display_, window_);
  for (;;) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.type == MapNotify && event.xmap.window == window_) break;
  }
  return true;
}

bool XHostWindow::ReadPixel(int x, int y, unsigned long& rgb) {
  XImage* image = XGetImage(display_, window_, x, y, 1, 1, AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  rgb = XGetPixel(image, 0, 0) & 0xffffff;
  XDestroyImage(image);
  return true;
}

}  // namespace t3dhost
