// X11 host windows on GLX, and their off-screen bitmaps on GLX pbuffers.
//
// The library opens its own Display connection, so it never disturbs the host's event queue.
// The GL drawable is the host window itself when a frame-buffer configuration matches the
// window's visual; when the wanted depth buffer needs another visual, a child window with that
// visual covers the host's client area.
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/gl_device.h"
#include "platform/native_window.h"
#include "base/trace.h"

namespace t3d::platform {
namespace {

// Xlib's default error handler ends the process; while the library talks to the server it traps
// errors instead and reports them as failures.
class XErrorTrap {
 public:
  explicit XErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    error_ = 0;
    previous_ = XSetErrorHandler(&XErrorTrap::Handler);
  }
  ~XErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;
  // True when an error arrived since the trap was set (syncs first).
  bool Failed() {
    XSync(display_, False);
    return error_ != 0;
  }

 private:
  static int Handler(Display*, XErrorEvent* event) {
    error_ = event->error_code;
    return 0;
  }
  static inline int error_ = 0;
  Display* display_;
  int (*previous_)(Display*, XErrorEvent*) = nullptr;
};

// The library's connection to the X server, shared by a window device, its contexts and its
// off-screen devices so that it closes last.
class XConnection {
 public:
  explicit XConnection(Display* display) : display_(display) {}
  ~XConnection() { XCloseDisplay(display_); }
  XConnection(const XConnection&) = delete;
  XConnection& operator=(const XConnection&) = delete;
  Display* get() const { return display_; }

 private:
  Display* display_;
};
using XConnectionPtr = std::shared_ptr<XConnection>;

int ConfigAttrib(Display* display, GLXFBConfig config, int attribute) {
  int value = 0;
  glXGetFBConfigAttrib(display, config, attribute, &value);
  return value;
}

struct GlxChoice {
  GLXFBConfig config = nullptr;
  VisualID visual = 0;
  PixelFormatInfo info;
  int score = -1;
};

// Scores an RGBA configuration with 8-bit red, green and blue of the wanted buffering and
// drawable type: the depth buffer counts first (up to the request), then no stencil, then alpha.
int ScoreConfig(Display* display, GLXFBConfig config, const PixelFormatRequest& request,
                int drawableBit, bool needDoubleBuffer, PixelFormatInfo& info) {
  if (!(ConfigAttrib(display, config, GLX_RENDER_TYPE) & GLX_RGBA_BIT)) return -1;
  if (!(ConfigAttrib(display, config, GLX_DRAWABLE_TYPE) & drawableBit)) return -1;
  if (ConfigAttrib(display, config, GLX_RED_SIZE) != 8 ||
      ConfigAttrib(display, config, GLX_GREEN_SIZE) != 8 ||
      ConfigAttrib(display, config, GLX_BLUE_SIZE) != 8)
    return -1;
  const bool doubleBuffer = ConfigAttrib(display, config, GLX_DOUBLEBUFFER) != 0;
  if (needDoubleBuffer != doubleBuffer) return -1;
  const int depth = ConfigAttrib(display, config, GLX_DEPTH_SIZE);
  if (depth < 16) return -1;
  const int alpha = ConfigAttrib(display, config, GLX_ALPHA_SIZE);
  const int stencil = ConfigAttrib(display, config, GLX_STENCIL_SIZE);
  info = PixelFormatInfo{24, alpha, depth, doubleBuffer};
  return std::min(depth, request.depthBits) * 1000 + (stencil == 0 ? 100 : 0) +
         (alpha == 8 ? 10 : 0);
}

class GlxContext : public GlContext {
 public:
  GlxContext(XConnectionPtr connection, GLXContext context)
      : connection_(std::move(connection)), context_(context) {}
  ~GlxContext() override {
    Display* display = connection_->get();
    if (glXGetCurrentContext() == context_) glXMakeContextCurrent(display, None, None, nullptr);
    glXDestroyContext(display, context_);
  }
  GlxContext(const GlxContext&) = delete;
  GlxContext& operator=(const GlxContext&) = delete;
  GLXContext handle() const { return context_; }

 private:
  XConnectionPtr connection_;
  GLXContext context_;
};

std::unique_ptr<GlContext> CreateGlxContext(const XConnectionPtr& connection, GLXFBConfig config) {
  if (config == nullptr) return nullptr;
  XErrorTrap trap(connection->get());
  GLXContext context =
      glXCreateNewContext(connection->get(), config, GLX_RGBA_TYPE, nullptr, True);
  if (trap.Failed() || context == nullptr) return nullptr;
  return std::make_unique<GlxContext>(connection, context);
}

bool MakeGlxCurrent(Display* display, GLXDrawable drawable, GlContext* context) {
  if (context == nullptr) return glXMakeContextCurrent(display, None, None, nullptr) == True;
  auto* glx = dynamic_cast<GlxContext*>(context);
  if (glx == nullptr || drawable == None) return false;
  XErrorTrap trap(display);
  const bool ok = glXMakeContextCurrent(display, drawable, drawable, glx->handle()) == True;
  return ok && !trap.Failed();
}

// An off-screen bitmap rendered through a GLX pbuffer on the window's screen.
class GlxMemoryDevice : public MemoryDevice {
 public:
  GlxMemoryDevice(XConnectionPtr connection, int screen, int width, int height, int bitCount,
                  std::unique_ptr<uint8_t[]> bits)
      : connection_(std::move(connection)),
        screen_(screen),
        info_(MakeDibInfo(width, height, bitCount)),
        bits_(std::move(bits)) {}
  ~GlxMemoryDevice() override {
    if (pbuffer_ != None) glXDestroyPbuffer(connection_->get(), pbuffer_);
  }

  int BitsPerPixel() const override { return info_.header.biBitCount; }
  void ClientSize(int& width, int& height) const override {
    width = info_.header.biWidth;
    height = info_.header.biHeight;
  }
  void ScreenSize(int& width, int& height) const override { ClientSize(width, height); }

  MessageId SetPixelFormat(const PixelFormatRequest& request) override {
    Display* display = connection_->get();
    int count = 0;
    GLXFBConfig* configs = glXGetFBConfigs(display, screen_, &count);
    int best = -1;
    for (int i = 0; i < count; ++i) {
      PixelFormatInfo info;
      // A double-buffered pbuffer: with a single-buffered one, Mesa's software rasteriser
      // pushes the front buffer to the server on every flush, which Xvfb refuses (BadMatch).
      // The frame is read back from the back buffer before anything swaps.
      const int score = ScoreConfig(display, configs[i], request, GLX_PBUFFER_BIT, true, info);
      if (score <= best) continue;
      // The software rasteriser moves pbuffer pixels with X requests of the config's visual
      // depth; a depth other than the window's makes the server refuse them.
      XVisualInfo* visual = glXGetVisualFromFBConfig(display, configs[i]);
      const bool depthMatches = visual != nullptr && visual->depth == BitsPerPixel();
      if (visual != nullptr) XFree(visual);
      if (depthMatches) {
        best = score;
        config_ = configs[i];
        info_chosen_ = info;
      }
    }
    if (configs != nullptr) XFree(configs);
    if (best < 0) return MessageId::kChoosePixelFormat;
    const int width = info_.header.biWidth, height = info_.header.biHeight;
    if (width > ConfigAttrib(display, config_, GLX_MAX_PBUFFER_WIDTH) ||
        height > ConfigAttrib(display, config_, GLX_MAX_PBUFFER_HEIGHT))
      return MessageId::kOutputTooLarge;
    const int maxPixels = ConfigAttrib(display, config_, GLX_MAX_PBUFFER_PIXELS);
    if (maxPixels > 0 && int64_t(width) * height > maxPixels) return MessageId::kOutputTooLarge;
    XErrorTrap trap(display);
    const int attributes[] = {GLX_PBUFFER_WIDTH, width, GLX_PBUFFER_HEIGHT, height,
                              GLX_PRESERVED_CONTENTS, True, None};
    pbuffer_ = glXCreatePbuffer(display, config_, attributes);
    if (trap.Failed() && pbuffer_ != None) {
      glXDestroyPbuffer(display, pbuffer_);
      pbuffer_ = None;
    }
    if (pbuffer_ == None) return MessageId::kSetPixelFormat;
    // Cleared only now that the size is known to be drawable.
    std::memset(bits_.get(), 0, info_.header.biSizeImage);
    return MessageId::kNone;
  }
  PixelFormatInfo DescribePixelFormat() const override { return info_chosen_; }
  std::unique_ptr<GlContext> CreateContext() override {
    return CreateGlxContext(connection_, config_);
  }
  bool MakeCurrent(GlContext* context) override {
    return MakeGlxCurrent(connection_->get(), pbuffer_, context);
  }
  bool Present() override {
    return ReadFramebufferToDib(info_.header.biWidth, info_.header.biHeight,
                                info_.header.biBitCount, bits_.get());
  }
  std::unique_ptr<MemoryDevice> CreateCompatibleDevice(int width, int height,
                                                       MessageId& message) override;
  const DibInfo& Info() const override { return info_; }
  uint8_t* Bits() override { return bits_.get(); }

 private:
  XConnectionPtr connection_;
  int screen_;
  DibInfo info_;
  std::unique_ptr<uint8_t[]> bits_;
  GLXFBConfig config_ = nullptr;
  PixelFormatInfo info_chosen_;
  GLXPbuffer pbuffer_ = None;
};

std::unique_ptr<MemoryDevice> MakeGlxMemoryDevice(const XConnectionPtr& connection, int screen,
                                                  int width, int height, int bitCount,
                                                  MessageId& message) {
  std::unique_ptr<uint8_t[]> bits = AllocateDibBits(width, height, bitCount, message);
  if (!bits) return nullptr;
  return std::make_unique<GlxMemoryDevice>(connection, screen, width, height, bitCount,
                                           std::move(bits));
}

std::unique_ptr<MemoryDevice> GlxMemoryDevice::CreateCompatibleDevice(int width, int height,
                                                                      MessageId& message) {
  return MakeGlxMemoryDevice(connection_, screen_, width, height, BitsPerPixel(), message);
}

class X11WindowDevice : public DeviceContext {
 public:
  X11WindowDevice(XConnectionPtr connection, Window window, const XWindowAttributes& attributes)
      : connection_(std::move(connection)),
        window_(window),
        screen_(XScreenNumberOfScreen(attributes.screen)),
        depth_(attributes.depth),
        visual_(XVisualIDFromVisual(attributes.visual)) {}
  ~X11WindowDevice() override {
    Display* display = connection_->get();
    if (glxWindow_ != None) glXDestroyWindow(display, glxWindow_);
    if (child_ != None) XDestroyWindow(display, child_);
    if (colormap_ != None) XFreeColormap(display, colormap_);
    XSync(display, False);
  }
  X11WindowDevice(const X11WindowDevice&) = delete;
  X11WindowDevice& operator=(const X11WindowDevice&) = delete;

  int BitsPerPixel() const override { return depth_; }
  void ClientSize(int& width, int& height) const override {
    XWindowAttributes attributes;
    XErrorTrap trap(connection_->get());
    if (XGetWindowAttributes(connection_->get(), window_, &attributes) && !trap.Failed()) {
      width = attributes.width;
      height = attributes.height;
    } else {
      width = height = 0;
    }
  }
  void ScreenSize(int& width, int& height) const override {
    Screen* screen = ScreenOfDisplay(connection_->get(), screen_);
    width = WidthOfScreen(screen);
    height = HeightOfScreen(screen);
  }

  MessageId SetPixelFormat(const PixelFormatRequest& request) override {
    Display* display = connection_->get();
    int count = 0;
    GLXFBConfig* configs = glXGetFBConfigs(display, screen_, &count);
    GlxChoice matching, any;
    for (int i = 0; i < count; ++i) {
      PixelFormatInfo info;
      const int score =
          ScoreConfig(display, configs[i], request, GLX_WINDOW_BIT, request.doubleBuffer, info);
      if (score < 0) continue;
      XVisualInfo* visual = glXGetVisualFromFBConfig(display, configs[i]);
      if (visual == nullptr) continue;
      const VisualID id = visual->visualid;
      const int visualDepth = visual->depth;
      XFree(visual);
      if (visualDepth != depth_) continue;
      if (id == visual_ && score > matching.score) matching = GlxChoice{configs[i], id, info, score};
      if (score > any.score) any = GlxChoice{configs[i], id, info, score};
    }
    if (configs != nullptr) XFree(configs);
    if (any.score < 0) return MessageId::kChoosePixelFormat;
    // Draw into the host window itself unless only another visual offers the wanted depth.
    const bool useChild = matching.score < 0 ||
                          std::min(matching.info.depthBits, request.depthBits) <
                              std::min(any.info.depthBits, request.depthBits);
    chosen_ = useChild ? any : matching;
    char line[160];
    std::snprintf(line, sizeof line, "GLX: %s, visual 0x%lx, depth buffer %d bits",
                  useChild ? "child window" : "host window", static_cast<unsigned long>(chosen_.visual),
                  chosen_.info.depthBits);
    Trace(line);
    XErrorTrap trap(display);
    GLXDrawable target = window_;
    if (useChild) {
      if (!MakeChildWindow()) return MessageId::kSetPixelFormat;
      target = child_;
    }
    glxWindow_ = glXCreateWindow(display, chosen_.config, target, nullptr);
    if (trap.Failed() || glxWindow_ == None) {
      if (glxWindow_ != None) glXDestroyWindow(display, glxWindow_);
      glxWindow_ = None;
      return MessageId::kSetPixelFormat;
    }
    return MessageId::kNone;
  }
  PixelFormatInfo DescribePixelFormat() const override { return chosen_.info; }
  std::unique_ptr<GlContext> CreateContext() override {
    return CreateGlxContext(connection_, chosen_.config);
  }
  bool MakeCurrent(GlContext* context) override {
    return MakeGlxCurrent(connection_->get(), glxWindow_, context);
  }
  bool Present() override {
    if (glxWindow_ == None) return false;
    glXSwapBuffers(connection_->get(), glxWindow_);
    // The host reads the window through its own connection: make sure the server has the frame.
    XSync(connection_->get(), False);
    return true;
  }
  void Resize(int width, int height) override {
    if (child_ == None) return;
    XResizeWindow(connection_->get(), child_, unsigned(std::max(1, width)),
                  unsigned(std::max(1, height)));
    XSync(connection_->get(), False);
  }
  std::unique_ptr<MemoryDevice> CreateCompatibleDevice(int width, int height,
                                                       MessageId& message) override {
    return MakeGlxMemoryDevice(connection_, screen_, width, height, BitsPerPixel(), message);
  }

 private:
  bool MakeChildWindow() {
    Display* display = connection_->get();
    XVisualInfo* visual = glXGetVisualFromFBConfig(display, chosen_.config);
    if (visual == nullptr) return false;
    colormap_ = XCreateColormap(display, window_, visual->visual, AllocNone);
    XSetWindowAttributes attributes{};
    attributes.colormap = colormap_;
    attributes.border_pixel = 0;
    attributes.background_pixmap = None;
    // The child selects no events, so pointer and key events propagate to the host's window.
    attributes.event_mask = 0;
    attributes.do_not_propagate_mask = 0;
    int width = 0, height = 0;
    ClientSize(width, height);
    child_ = XCreateWindow(display, window_, 0, 0, unsigned(std::max(1, width)),
                           unsigned(std::max(1, height)), 0, visual->depth, InputOutput,
                           visual->visual, CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask,
                           &attributes);
    XFree(visual);
    if (child_ == None) return false;
    XMapWindow(display, child_);
    XSync(display, False);
    return true;
  }

  XConnectionPtr connection_;
  Window window_;
  int screen_;
  int depth_;
  VisualID visual_;
  GlxChoice chosen_;
  Window child_ = None;
  Colormap colormap_ = None;
  GLXWindow glxWindow_ = None;
};

}  // namespace

std::unique_ptr<DeviceContext> OpenX11WindowDevice(const TnNativeWindow* window) {
  if (window == nullptr || window->kind != TN_WINDOW_X11 || window->window == 0) return nullptr;
  Display* display = XOpenDisplay(window->displayName);
  if (display == nullptr) {
    Trace("X11: cannot open the display");
    return nullptr;
  }
  auto connection = std::make_shared<XConnection>(display);
  XWindowAttributes attributes;
  {
    XErrorTrap trap(display);
    const Status ok = XGetWindowAttributes(display, Window(window->window), &attributes);
    if (!ok || trap.Failed()) {
      Trace("X11: the window does not exist");
      return nullptr;
    }
  }
  return std::make_unique<X11WindowDevice>(connection, Window(window->window), attributes);
}

}  // namespace t3d::platform
