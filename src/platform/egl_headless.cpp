// Headless windows and off-screen bitmaps on EGL (Mesa): a desktop-GL compatibility context
// rendering into a pbuffer, with no display server.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/gl_device.h"
#include "platform/native_window.h"
#include "base/trace.h"

namespace t3d::platform {
namespace {

// The process's EGL display, initialised on first use and kept for the life of the process
// (terminating it would destroy contexts other scene objects still use).
EGLDisplay HeadlessDisplay() {
  static EGLDisplay display = [] {
    EGLDisplay d = EGL_NO_DISPLAY;
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay != nullptr) {
      d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
      EGLint major = 0, minor = 0;
      if (d != EGL_NO_DISPLAY && !eglInitialize(d, &major, &minor)) d = EGL_NO_DISPLAY;
      if (d == EGL_NO_DISPLAY) {
        // Fall back on the first EGL device (software or hardware).
        auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(
            eglGetProcAddress("eglQueryDevicesEXT"));
        EGLDeviceEXT devices[8];
        EGLint count = 0;
        if (queryDevices != nullptr && queryDevices(8, devices, &count) && count > 0) {
          d = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[0], nullptr);
          if (d != EGL_NO_DISPLAY && !eglInitialize(d, &major, &minor)) d = EGL_NO_DISPLAY;
        }
      }
    }
    if (d == EGL_NO_DISPLAY) Trace("EGL: no headless display available");
    return d;
  }();
  return display;
}

struct ChosenConfig {
  EGLConfig config = nullptr;
  PixelFormatInfo info;
  EGLint maxWidth = 0, maxHeight = 0, maxPixels = 0;
};

// Picks a pbuffer config for desktop GL with 8-bit red, green and blue: the deepest depth buffer
// offered up to the request, then the fewest stencil bits, then alpha present.
bool ChooseConfig(EGLDisplay display, const PixelFormatRequest& request, ChosenConfig& out) {
  const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                               EGL_OPENGL_BIT,   EGL_RED_SIZE,    8,
                               EGL_GREEN_SIZE,   8,               EGL_BLUE_SIZE,
                               8,                EGL_DEPTH_SIZE,  16,
                               EGL_NONE};
  EGLint count = 0;
  if (!eglChooseConfig(display, attributes, nullptr, 0, &count) || count <= 0) return false;
  std::vector<EGLConfig> configs(size_t(count), nullptr);
  if (!eglChooseConfig(display, attributes, configs.data(), count, &count)) return false;
  int bestScore = -1;
  for (int i = 0; i < count; ++i) {
    EGLint r = 0, g = 0, b = 0, a = 0, depth = 0, stencil = 0;
    eglGetConfigAttrib(display, configs[i], EGL_RED_SIZE, &r);
    eglGetConfigAttrib(display, configs[i], EGL_GREEN_SIZE, &g);
    eglGetConfigAttrib(display, configs[i], EGL_BLUE_SIZE, &b);
    eglGetConfigAttrib(display, configs[i], EGL_ALPHA_SIZE, &a);
    eglGetConfigAttrib(display, configs[i], EGL_DEPTH_SIZE, &depth);
    eglGetConfigAttrib(display, configs[i], EGL_STENCIL_SIZE, &stencil);
    if (r != 8 || g != 8 || b != 8) continue;
    const int usefulDepth = std::min<int>(depth, request.depthBits);
    const int score = usefulDepth * 1000 + (stencil == 0 ? 100 : 0) + (a == 8 ? 10 : 0);
    if (score > bestScore) {
      bestScore = score;
      out.config = configs[i];
      out.info = PixelFormatInfo{r + g + b, a, depth, false};
    }
  }
  if (bestScore < 0) return false;
  eglGetConfigAttrib(display, out.config, EGL_MAX_PBUFFER_WIDTH, &out.maxWidth);
  eglGetConfigAttrib(display, out.config, EGL_MAX_PBUFFER_HEIGHT, &out.maxHeight);
  eglGetConfigAttrib(display, out.config, EGL_MAX_PBUFFER_PIXELS, &out.maxPixels);
  return true;
}

class EglContext : public GlContext {
 public:
  EglContext(EGLDisplay display, EGLContext context) : display_(display), context_(context) {}
  ~EglContext() override {
    if (eglGetCurrentContext() == context_)
      eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
  }
  EglContext(const EglContext&) = delete;
  EglContext& operator=(const EglContext&) = delete;
  EGLContext handle() const { return context_; }

 private:
  EGLDisplay display_;
  EGLContext context_;
};

std::unique_ptr<GlContext> CreateEglContext(EGLDisplay display, EGLConfig config) {
  if (display == EGL_NO_DISPLAY || config == nullptr) return nullptr;
  if (!eglBindAPI(EGL_OPENGL_API)) return nullptr;
  const EGLint compatibility[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                  EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, compatibility);
  if (context == EGL_NO_CONTEXT) context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
  if (context == EGL_NO_CONTEXT) return nullptr;
  return std::make_unique<EglContext>(display, context);
}

// A pbuffer surface with its size; destroyed with the object.
class Pbuffer {
 public:
  Pbuffer() = default;
  Pbuffer(EGLDisplay display, EGLConfig config, int width, int height)
      : display_(display), width_(width), height_(height) {
    const EGLint attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    surface_ = eglCreatePbufferSurface(display, config, attributes);
  }
  ~Pbuffer() { reset(); }
  Pbuffer(Pbuffer&& other) noexcept { *this = std::move(other); }
  Pbuffer& operator=(Pbuffer&& other) noexcept {
    if (this != &other) {
      reset();
      std::swap(display_, other.display_);
      std::swap(surface_, other.surface_);
      std::swap(width_, other.width_);
      std::swap(height_, other.height_);
    }
    return *this;
  }
  void reset() {
    if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
    surface_ = EGL_NO_SURFACE;
  }
  EGLSurface surface() const { return surface_; }
  int width() const { return width_; }
  int height() const { return height_; }
  bool valid() const { return surface_ != EGL_NO_SURFACE; }

 private:
  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLSurface surface_ = EGL_NO_SURFACE;
  int width_ = 0, height_ = 0;
};

bool MakeEglCurrent(EGLDisplay display, const Pbuffer& surface, GlContext* context) {
  if (display == EGL_NO_DISPLAY) return false;
  if (context == nullptr)
    return eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT) == EGL_TRUE;
  auto* egl = dynamic_cast<EglContext*>(context);
  if (egl == nullptr || !surface.valid()) return false;
  if (!eglBindAPI(EGL_OPENGL_API)) return false;
  return eglMakeCurrent(display, surface.surface(), surface.surface(), egl->handle()) == EGL_TRUE;
}

// An off-screen bitmap rendered through its own pbuffer.
class EglMemoryDevice : public MemoryDevice {
 public:
  EglMemoryDevice(int width, int height, int bitCount, std::unique_ptr<uint8_t[]> bits)
      : info_(MakeDibInfo(width, height, bitCount)), bits_(std::move(bits)) {}

  int BitsPerPixel() const override { return info_.header.biBitCount; }
  void ClientSize(int& width, int& height) const override {
    width = info_.header.biWidth;
    height = info_.header.biHeight;
  }
  void ScreenSize(int& width, int& height) const override { ClientSize(width, height); }

  MessageId SetPixelFormat(const PixelFormatRequest& request) override {
    EGLDisplay display = HeadlessDisplay();
    if (display == EGL_NO_DISPLAY || !ChooseConfig(display, request, chosen_))
      return MessageId::kChoosePixelFormat;
    const int width = info_.header.biWidth, height = info_.header.biHeight;
    if (width > chosen_.maxWidth || height > chosen_.maxHeight ||
        (chosen_.maxPixels > 0 && int64_t(width) * height > chosen_.maxPixels))
      return MessageId::kOutputTooLarge;
    surface_ = Pbuffer(display, chosen_.config, width, height);
    if (!surface_.valid()) return MessageId::kSetPixelFormat;
    // The bitmap is cleared only now that it is known to be drawable: a refused size costs no
    // pass over memory.
    std::memset(bits_.get(), 0, info_.header.biSizeImage);
    return MessageId::kNone;
  }
  PixelFormatInfo DescribePixelFormat() const override { return chosen_.info; }
  std::unique_ptr<GlContext> CreateContext() override {
    return CreateEglContext(HeadlessDisplay(), chosen_.config);
  }
  bool MakeCurrent(GlContext* context) override {
    return MakeEglCurrent(HeadlessDisplay(), surface_, context);
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
  DibInfo info_;
  std::unique_ptr<uint8_t[]> bits_;
  ChosenConfig chosen_;
  Pbuffer surface_;
};

std::unique_ptr<MemoryDevice> MakeEglMemoryDevice(int width, int height, int bitCount,
                                                  MessageId& message) {
  std::unique_ptr<uint8_t[]> bits = AllocateDibBits(width, height, bitCount, message);
  if (!bits) return nullptr;
  return std::make_unique<EglMemoryDevice>(width, height, bitCount, std::move(bits));
}

std::unique_ptr<MemoryDevice> EglMemoryDevice::CreateCompatibleDevice(int width, int height,
                                                                      MessageId& message) {
  return MakeEglMemoryDevice(width, height, BitsPerPixel(), message);
}

// A headless host window: the client size and the frame buffer come from the host's record.
class HeadlessWindowDevice : public DeviceContext {
 public:
  explicit HeadlessWindowDevice(const TnNativeWindow* window) : window_(window) {}

  int BitsPerPixel() const override { return window_->depth != 0 ? window_->depth : 32; }
  void ClientSize(int& width, int& height) const override {
    width = std::max(0, window_->width);
    height = std::max(0, window_->height);
  }
  void ScreenSize(int& width, int& height) const override { ClientSize(width, height); }

  MessageId SetPixelFormat(const PixelFormatRequest& request) override {
    EGLDisplay display = HeadlessDisplay();
    if (display == EGL_NO_DISPLAY || !ChooseConfig(display, request, chosen_))
      return MessageId::kChoosePixelFormat;
    if (!FollowClientSize()) return MessageId::kSetPixelFormat;
    return MessageId::kNone;
  }
  PixelFormatInfo DescribePixelFormat() const override { return chosen_.info; }
  std::unique_ptr<GlContext> CreateContext() override {
    return CreateEglContext(HeadlessDisplay(), chosen_.config);
  }
  bool MakeCurrent(GlContext* context) override {
    // The pbuffer follows the client size in Resize (the host reports new sizes through
    // tnReshape), not here: releasing must not read a record the host may be tearing down.
    current_ = context;
    const bool ok = MakeEglCurrent(HeadlessDisplay(), surface_, context);
    if (!ok) current_ = nullptr;
    return ok;
  }
  bool Present() override {
    if (!surface_.valid()) return false;
    eglSwapBuffers(HeadlessDisplay(), surface_.surface());
    if (window_->pixels == nullptr) return true;
    // Copy only what both the drawn frame and the host's current buffer hold.
    int width = 0, height = 0;
    ClientSize(width, height);
    width = std::min(width, surface_.width());
    height = std::min(height, surface_.height());
    if (width <= 0 || height <= 0) return true;
    const int64_t pitch = window_->pitch > 0 ? window_->pitch : int64_t(window_->width) * 4;
    if (surface_.height() == height) {
      return ReadFramebufferTopDown(width, height, static_cast<uint8_t*>(window_->pixels), pitch);
    }
    // The host shrank the window since the frame was drawn: its top rows are the frame's.
    std::vector<uint8_t> frame(size_t(surface_.width()) * 4 * size_t(surface_.height()));
    if (!ReadFramebufferTopDown(surface_.width(), surface_.height(), frame.data(),
                                int64_t(surface_.width()) * 4))
      return false;
    for (int y = 0; y < height; ++y)
      std::memcpy(static_cast<uint8_t*>(window_->pixels) + pitch * y,
                  frame.data() + size_t(surface_.width()) * 4 * size_t(y), size_t(width) * 4);
    return true;
  }
  void Resize(int, int) override {
    if (FollowClientSize() && current_ != nullptr)
      MakeEglCurrent(HeadlessDisplay(), surface_, current_);
  }
  std::unique_ptr<MemoryDevice> CreateCompatibleDevice(int width, int height,
                                                       MessageId& message) override {
    return MakeEglMemoryDevice(width, height, BitsPerPixel(), message);
  }

 private:
  // Makes the pbuffer the size of the host's client area (at least 1 x 1). Returns true when the
  // surface is usable; rebinding a current context is the caller's business.
  bool FollowClientSize() {
    int width = 0, height = 0;
    ClientSize(width, height);
    width = std::max(1, std::min(width, std::max<int>(1, chosen_.maxWidth)));
    height = std::max(1, std::min(height, std::max<int>(1, chosen_.maxHeight)));
    if (surface_.valid() && surface_.width() == width && surface_.height() == height) return true;
    Pbuffer next(HeadlessDisplay(), chosen_.config, width, height);
    if (!next.valid()) return surface_.valid();
    if (current_ != nullptr && surface_.valid()) {
      // Move the current context onto the new surface before the old one goes.
      if (!MakeEglCurrent(HeadlessDisplay(), next, current_)) return true;
    }
    surface_ = std::move(next);
    return true;
  }

  const TnNativeWindow* window_;
  ChosenConfig chosen_;
  Pbuffer surface_;
  GlContext* current_ = nullptr;
};

}  // namespace

std::unique_ptr<DeviceContext> OpenHeadlessWindowDevice(const TnNativeWindow* window) {
  if (window == nullptr || window->kind != TN_WINDOW_HEADLESS) return nullptr;
  return std::make_unique<HeadlessWindowDevice>(window);
}

}  // namespace t3d::platform
