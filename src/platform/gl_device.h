// Device contexts and OpenGL rendering contexts: the library's stand-in for the window device
// context, pixel formats, memory device contexts with their DIB sections, and WGL.
//
// The core sees only these classes; EGL, GLX and Xlib stay inside src/platform. A device context
// is made for a host window (headless or X11) or off screen; a rendering context is made on a
// device context after its pixel format is set, and made current on it.
#pragma once

#include <cstdint>
#include <memory>

#include "base/messages.h"

namespace t3d::platform {


// The wanted pixel format: RGBA with colorBits colour bits and depthBits depth bits.
struct PixelFormatRequest {
  int colorBits = 24;
  int depthBits = 32;
  bool doubleBuffer = true;
};

// What the chosen format gives.
struct PixelFormatInfo {
  int colorBits = 0;
  int alphaBits = 0;
  int depthBits = 0;
  bool doubleBuffer = false;
};

// A rendering context (the stand-in for an HGLRC). Destroying it deletes the context; it must
// not be current then (the owner makes none current first).
class GlContext {
 public:
  virtual ~GlContext() = default;
};

// A device context (the stand-in for an HDC): a window's, or an off-screen bitmap's.
class DeviceContext {
 public:
  virtual ~DeviceContext() = default;

  // Colour depth of the device in bits per pixel (bits per pixel times planes).
  virtual int BitsPerPixel() const = 0;
  // Client size of the window, or the bitmap size.
  virtual void ClientSize(int& width, int& height) const = 0;
  // Size of the screen the device belongs to (the device's own size when it has no screen).
  virtual void ScreenSize(int& width, int& height) const = 0;

  // Chooses and sets the pixel format. Returns MessageId::kNone, or the id of the message the failure
  // shows (choosing: MessageId::kChoosePixelFormat, setting: MessageId::kSetPixelFormat, a size the device
  // cannot hold: MessageId::kOutputTooLarge).
  virtual MessageId SetPixelFormat(const PixelFormatRequest& request) = 0;
  // The format in use after SetPixelFormat.
  virtual PixelFormatInfo DescribePixelFormat() const = 0;

  // Creates a rendering context for this device; null on failure.
  virtual std::unique_ptr<GlContext> CreateContext() = 0;
  // Makes context current on this device (null makes none current). False on failure.
  virtual bool MakeCurrent(GlContext* context) = 0;

  // Ends a frame: shows the back buffer of a window (and hands it to the host), or copies an
  // off-screen frame into the bitmap. The context must be current on this device.
  virtual bool Present() = 0;

  // Called when the host reports a new client size; windows that own a drawable of their own
  // (a child window, a pbuffer) follow it.
  virtual void Resize(int width, int height) {
    (void)width;
    (void)height;
  }

  // Makes an off-screen device compatible with this one: a width x height bitmap with this
  // device's bit count (see CreateMemoryDevice).
  virtual std::unique_ptr<class MemoryDevice> CreateCompatibleDevice(int width, int height,
                                                                     MessageId& message) = 0;
};

// Bit count and layout of an off-screen bitmap, as a BITMAPINFOHEADER records them.
#pragma pack(push, 1)
struct DibHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(DibHeader) == 40, "BITMAPINFOHEADER is 40 bytes");

// The header of the off-screen bitmap and one more 32-bit word, as the scene state keeps it.
struct DibInfo {
  DibHeader header;
  uint32_t extra;
};
static_assert(sizeof(DibInfo) == 44, "DIB info is 44 bytes");

// Bytes of one DIB row: padded to 4 bytes.
inline int64_t DibRowBytes(int64_t width, int bitCount) { return (width * bitCount + 31) / 32 * 4; }

// An off-screen device with its bitmap: rows bottom-up, padded to 4 bytes, bit count 24 or 32
// (BGR or BGRA). Present() reads the GL framebuffer into the bitmap.
class MemoryDevice : public DeviceContext {
 public:
  virtual const DibInfo& Info() const = 0;
  virtual uint8_t* Bits() = 0;
};

// Opens the device context of a host window (the window argument of tnInitial3DScene). Returns
// null when the window record is unusable (null, unknown kind, display cannot be opened).
std::unique_ptr<DeviceContext> OpenWindowDevice(const void* window);

// Makes an off-screen device compatible with window: a width x height bitmap with the window's
// bit count. On failure returns null and sets message to the id to show (MessageId::kOutputTooLarge when
// the bitmap cannot be allocated); message stays MessageId::kNone when nothing is to be shown.
inline std::unique_ptr<MemoryDevice> CreateMemoryDevice(DeviceContext& window, int width,
                                                        int height, MessageId& message) {
  return window.CreateCompatibleDevice(width, height, message);
}

// Reads the current framebuffer (width x height from the origin) into a bottom-up DIB of
// bitCount 16, 24 or 32 bits with rows padded to 4 bytes. Leaves the GL pack state as it found it.
bool ReadFramebufferToDib(int width, int height, int bitCount, uint8_t* bits);

// Reads the current framebuffer into BGRA rows, top row first, pitch bytes apart.
bool ReadFramebufferTopDown(int width, int height, uint8_t* pixels, int64_t pitch);

// Checks the size and bit count of an off-screen bitmap and allocates its pixels (not cleared).
// On failure returns null and sets message: MessageId::kOutputTooLarge for a size the bitmap cannot hold
// (not positive, 2 GB or more, or no memory), MessageId::kChoosePixelFormat for a bit count other than
// 16, 24 or 32.
std::unique_ptr<uint8_t[]> AllocateDibBits(int width, int height, int bitCount, MessageId& message);

// Builds the header of a bottom-up RGB bitmap of the given size and bit count.
DibInfo MakeDibInfo(int width, int height, int bitCount);

}  // namespace t3d::platform
