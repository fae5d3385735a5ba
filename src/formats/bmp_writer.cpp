#include "formats/bmp_writer.h"

#include <cstdio>
#include <cstring>

#include "base/messages.h"

namespace t3d {
namespace {

void PutU16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
  PutU16(p, v & 0xffff);
  PutU16(p + 2, v >> 16);
}

}  // namespace

bool WriteBmpFile(const char* path, const platform::DibHeader& header, const uint8_t* bits) {
  if (path == nullptr || bits == nullptr) return false;
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    ShowFixedMessage("创建BMP文件错!");
    return false;
  }
  const uint32_t colours = header.biClrUsed;
  const uint32_t offset = 14 + header.biSize + 4 * colours;
  uint8_t fileHeader[14] = {'B', 'M'};
  PutU32(fileHeader + 2, offset + header.biSizeImage);
  PutU32(fileHeader + 6, 0);
  PutU32(fileHeader + 10, offset);
  // The information header as little-endian bytes.
  uint8_t info[40];
  PutU32(info + 0, header.biSize);
  PutU32(info + 4, uint32_t(header.biWidth));
  PutU32(info + 8, uint32_t(header.biHeight));
  PutU16(info + 12, header.biPlanes);
  PutU16(info + 14, header.biBitCount);
  PutU32(info + 16, header.biCompression);
  PutU32(info + 20, header.biSizeImage);
  PutU32(info + 24, uint32_t(header.biXPelsPerMeter));
  PutU32(info + 28, uint32_t(header.biYPelsPerMeter));
  PutU32(info + 32, header.biClrUsed);
  PutU32(info + 36, header.biClrImportant);
  bool ok = std::fwrite(fileHeader, 1, 14, file) == 14 && std::fwrite(info, 1, 40, file) == 40 &&
            std::fwrite(bits, 1, header.biSizeImage, file) == header.biSizeImage;
  ok = (std::fclose(file) == 0) && ok;
  if (!ok) {
    std::remove(path);
    ShowFixedMessage("写BMP文件错!");
  }
  return ok;
}

}  // namespace t3d
