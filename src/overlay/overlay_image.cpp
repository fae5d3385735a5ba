// BMP reading and power-of-two scaling of overlay images.
#include "overlay/overlay_image.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "base/messages.h"
#include "platform/gl_device.h"
#include "terrain3d/terrain3d.h"

namespace t3d {
namespace {

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;
constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionBitFields = 3;

bool HasBmpExtension(const std::string& name) {
  // The extension of the last path component only: "dir.bmp/picture" has none.
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  const std::string ext = name.substr(dot);
  if (ext.size() != 4) return false;
  const char* want = ".bmp";
  for (size_t i = 0; i < 4; ++i) {
    if (std::tolower(static_cast<unsigned char>(ext[i])) != want[i]) return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& name, std::vector<uint8_t>* bytes) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return false;
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(file) : -1;
  ok = ok && size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    try {
      bytes->resize(size_t(size));
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  ok = ok && (size == 0 || std::fread(bytes->data(), 1, size_t(size), file) == size_t(size));
  std::fclose(file);
  return ok;
}

// Makes a GL context current for the scaling when none is, and releases it afterwards: a
// headless window device of one pixel, its pixel format set as for a scene window.
class TemporaryContext {
 public:
  // False when no context could be made; the message has been shown then.
  bool Make() {
    window_ = TnNativeWindow{};
    window_.kind = TN_WINDOW_HEADLESS;
    window_.width = 1;
    window_.height = 1;
    device_ = platform::OpenWindowDevice(&window_);
    if (device_ == nullptr) {
      ShowMessage(MessageId::kCreateContext);
      return false;
    }
    const MessageId format = device_->SetPixelFormat(platform::PixelFormatRequest{});
    if (format != MessageId::kNone) {
      ShowMessage(format);
      return false;
    }
    context_ = device_->CreateContext();
    if (context_ == nullptr) {
      ShowMessage(MessageId::kCreateContext);
      return false;
    }
    if (!device_->MakeCurrent(context_.get())) {
      ShowMessage(MessageId::kMakeCurrent);
      return false;
    }
    current_ = true;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    return true;
  }
  ~TemporaryContext() {
    if (current_) device_->MakeCurrent(nullptr);
    context_.reset();
    device_.reset();
  }

 private:
  TnNativeWindow window_{};
  std::unique_ptr<platform::DeviceContext> device_;
  std::unique_ptr<platform::GlContext> context_;
  bool current_ = false;
};

bool ScaleToPowerOfTwo(OverlayImage* image) {
  const uint16_t newWidth = PowerOfTwoBelow(image->width);
  const uint16_t newHeight = PowerOfTwoBelow(image->height);
  if (newWidth == image->width && newHeight == image->height) return true;
  std::unique_ptr<uint8_t[]> scaled(new (std::nothrow) uint8_t[size_t(newWidth) * newHeight * 3]);
  if (scaled == nullptr) return false;
  TemporaryContext temporary;
  if (glGetString(GL_VERSION) == nullptr && !temporary.Make()) return false;
  // Rows are packed tightly (3 bytes a texel): alignment 1 both ways, whatever the context had.
  GLint unpackAlignment = 4, packAlignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpackAlignment);
  glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, image->width);
  glPixelStorei(GL_PACK_ROW_LENGTH, newWidth);
  const GLint result = gluScaleImage(GL_RGB, image->width, image->height, GL_UNSIGNED_BYTE,
                                     image->texels.get(), newWidth, newHeight, GL_UNSIGNED_BYTE,
                                     scaled.get());
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_ALIGNMENT, unpackAlignment);
  glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
  if (result != 0) return false;
  image->texels = std::move(scaled);
  image->width = newWidth;
  image->height = newHeight;
  return true;
}

}  // namespace

uint16_t PowerOfTwoBelow(uint16_t n) {
  uint16_t p = 1;
  while (p <= n / 2) p = uint16_t(p * 2);
  return p;
}

bool DecodeOverlayBmp(const uint8_t* data, size_t size, OverlayImage* out) {
  *out = OverlayImage{};
  if (data == nullptr || size < kFileHeaderBytes + kInfoHeaderBytes) return false;
  if (data[0] != 'B' || data[1] != 'M') return false;
  const uint8_t* info = data + kFileHeaderBytes;
  const uint32_t headerSize = U32(info);
  const int32_t width = int32_t(U32(info + 4));
  const int32_t rawHeight = int32_t(U32(info + 8));
  const uint16_t planes = U16(info + 12);
  const uint16_t bits = U16(info + 14);
  const uint32_t compression = U32(info + 16);
  uint32_t imageSize = U32(info + 20);
  const uint32_t coloursUsed = U32(info + 32);
  if (uint32_t(planes) * bits <= 15) return false;
  if (bits != 16 && bits != 24 && bits != 32) return false;
  if (compression != kCompressionNone && compression != kCompressionBitFields) return false;
  if (headerSize < kInfoHeaderBytes) return false;
  // A negative height marks rows stored top-down.
  const bool topDown = rawHeight < 0;
  const int64_t height = topDown ? -int64_t(rawHeight) : int64_t(rawHeight);
  if (width <= 0 || width > 65535 || height <= 0 || height > 65535) return false;
  uint64_t offset = U32(data + 10);
  if (offset == 0) offset = kFileHeaderBytes + uint64_t(headerSize) + 4ull * coloursUsed;
  const uint64_t rowBytes = (uint64_t(width) * bits + 31) / 32 * 4;
  const uint64_t needed = rowBytes * uint64_t(height);
  if (imageSize == 0) imageSize = uint32_t(needed > 0xFFFFFFFFull ? 0xFFFFFFFFull : needed);
  // The pixel data must be in the file, whole: no row is read past its end.
  if (imageSize < needed || offset > size || size - offset < needed) return false;

  const size_t texelBytes = size_t(width) * size_t(height) * 3;
  std::unique_ptr<uint8_t[]> texels(new (std::nothrow) uint8_t[texelBytes]);
  if (texels == nullptr) return false;
  const int bytesPerPixel = bits / 8;
  for (int64_t row = 0; row < height; ++row) {
    // Output row `row` counts from the top of the picture.
    const int64_t stored = topDown ? row : height - 1 - row;
    const uint8_t* source = data + offset + uint64_t(stored) * rowBytes;
    uint8_t* target = texels.get() + size_t(row) * size_t(width) * 3;
    for (int32_t x = 0; x < width; ++x, source += bytesPerPixel, target += 3) {
      if (bits == 16) {
        const uint16_t v = U16(source);
        target[0] = uint8_t((v & 0x7C00) >> 7);
        target[1] = uint8_t((v & 0x3E0) >> 2);
        target[2] = uint8_t((v & 0x1F) << 3);
      } else {
        target[0] = source[2];
        target[1] = source[1];
        target[2] = source[0];
      }
    }
  }
  out->width = uint16_t(width);
  out->height = uint16_t(height);
  out->texels = std::move(texels);
  return true;
}

bool ReadOverlayImage(const std::string& fileName, OverlayImage* out) {
  *out = OverlayImage{};
  if (!HasBmpExtension(fileName)) return false;
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(fileName, &bytes)) return false;
  OverlayImage image;
  if (!DecodeOverlayBmp(bytes.data(), bytes.size(), &image)) return false;
  if (!ScaleToPowerOfTwo(&image)) return false;
  *out = std::move(image);
  return true;
}

}  // namespace t3d
