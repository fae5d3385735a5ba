// Framebuffer read-back into host buffers and off-screen bitmaps.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <new>
#include <vector>

#include "platform/gl_device.h"

namespace t3d::platform {
namespace {

// Saves the pack state that glReadPixels depends on and restores it when done, so that the
// library's read-back never disturbs state the drawing code set.
class PackStateGuard {
 public:
  PackStateGuard() {
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment_);
    glGetIntegerv(GL_PACK_ROW_LENGTH, &rowLength_);
    glGetIntegerv(GL_PACK_SKIP_ROWS, &skipRows_);
    glGetIntegerv(GL_PACK_SKIP_PIXELS, &skipPixels_);
    glGetIntegerv(GL_PACK_SWAP_BYTES, &swapBytes_);
    glGetIntegerv(GL_PACK_LSB_FIRST, &lsbFirst_);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_PACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_PACK_LSB_FIRST, GL_FALSE);
  }
  ~PackStateGuard() {
    glPixelStorei(GL_PACK_ALIGNMENT, alignment_);
    glPixelStorei(GL_PACK_ROW_LENGTH, rowLength_);
    glPixelStorei(GL_PACK_SKIP_ROWS, skipRows_);
    glPixelStorei(GL_PACK_SKIP_PIXELS, skipPixels_);
    glPixelStorei(GL_PACK_SWAP_BYTES, swapBytes_);
    glPixelStorei(GL_PACK_LSB_FIRST, lsbFirst_);
  }
  PackStateGuard(const PackStateGuard&) = delete;
  PackStateGuard& operator=(const PackStateGuard&) = delete;

 private:
  GLint alignment_ = 4, rowLength_ = 0, skipRows_ = 0, skipPixels_ = 0, swapBytes_ = 0,
        lsbFirst_ = 0;
};

}  // namespace

bool ReadFramebufferToDib(int width, int height, int bitCount, uint8_t* bits) {
  if (width <= 0 || height <= 0 || bits == nullptr) return false;
  GLenum format = 0, type = GL_UNSIGNED_BYTE;
  switch (bitCount) {
    case 32: format = GL_BGRA; break;
    case 24: format = GL_BGR; break;
    case 16: format = GL_BGRA; type = GL_UNSIGNED_SHORT_1_5_5_5_REV; break;  // X1R5G5B5
    default: return false;
  }
  glFinish();
  PackStateGuard guard;
  glPixelStorei(GL_PACK_ALIGNMENT, 4);  // DIB rows are padded to 4 bytes
  while (glGetError() != GL_NO_ERROR) {
  }
  glReadPixels(0, 0, width, height, format, type, bits);
  if (bitCount == 16) {
    // The top bit of a 5-5-5 DIB pixel is unused; GL puts alpha there.
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<uint16_t*>(bits + DibRowBytes(width, 16) * y);
      for (int x = 0; x < width; ++x) row[x] &= 0x7fff;
    }
  }
  return glGetError() == GL_NO_ERROR;
}

bool ReadFramebufferTopDown(int width, int height, uint8_t* pixels, int64_t pitch) {
  if (width <= 0 || height <= 0 || pixels == nullptr) return false;
  const int64_t rowBytes = int64_t(width) * 4;
  if (pitch < rowBytes) return false;
  std::vector<uint8_t> frame(size_t(rowBytes) * size_t(height));
  glFinish();
  {
    PackStateGuard guard;
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    while (glGetError() != GL_NO_ERROR) {
    }
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, frame.data());
    if (glGetError() != GL_NO_ERROR) return false;
  }
  // GL rows run bottom-up; the host wants the top row first.
  for (int y = 0; y < height; ++y)
    std::memcpy(pixels + pitch * y, frame.data() + rowBytes * (height - 1 - y), size_t(rowBytes));
  return true;
}

std::unique_ptr<uint8_t[]> AllocateDibBits(int width, int height, int bitCount, MessageId& message) {
  // The DIB header records the image size in 32 bits.
  constexpr int64_t kMaxDibBytes = int64_t(0x7fffffff);
  message = MessageId::kNone;
  if (width <= 0 || height <= 0) {
    message = MessageId::kOutputTooLarge;
    return nullptr;
  }
  if (bitCount != 16 && bitCount != 24 && bitCount != 32) {
    message = MessageId::kChoosePixelFormat;
    return nullptr;
  }
  // Row bytes are compared with the limit per row first: the product of an int width's row
  // bytes and an int height does not fit in 64 bits.
  const int64_t rowBytes = DibRowBytes(width, bitCount);
  if (rowBytes > kMaxDibBytes / height) {
    message = MessageId::kOutputTooLarge;
    return nullptr;
  }
  const int64_t bytes = rowBytes * int64_t(height);
  std::unique_ptr<uint8_t[]> bits(new (std::nothrow) uint8_t[size_t(bytes)]);
  if (!bits) message = MessageId::kOutputTooLarge;
  return bits;
}

DibInfo MakeDibInfo(int width, int height, int bitCount) {
  DibInfo info{};
  info.header.biSize = sizeof(DibHeader);
  info.header.biWidth = width;
  info.header.biHeight = height;
  info.header.biPlanes = 1;
  info.header.biBitCount = uint16_t(bitCount);
  info.header.biCompression = 0;  // BI_RGB
  info.header.biSizeImage = uint32_t(DibRowBytes(width, bitCount) * height);
  return info;
}

}  // namespace t3d::platform
