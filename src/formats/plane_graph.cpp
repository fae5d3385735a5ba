#include "formats/plane_graph.h"

#include <cstdio>

#include "base/messages.h"

namespace t3d {
namespace {

void PutLe(uint8_t* p, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint32_t GetLe(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

bool WritePlaneGraphFile(const char* path, const platform::DibHeader& header, const uint8_t* bits) {
  if (path == nullptr || bits == nullptr) return false;
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    ShowFixedMessage("创建平面图文件错!");
    return false;
  }
  const uint32_t size =
      uint32_t(platform::DibRowBytes(header.biWidth, header.biBitCount) * header.biHeight);
  uint8_t head[kPlaneGraphHeaderBytes];
  PutLe(head + 0, uint32_t(header.biWidth), 4);
  PutLe(head + 4, uint32_t(header.biHeight), 4);
  PutLe(head + 8, header.biBitCount, 2);
  PutLe(head + 10, size, 4);
  bool ok = std::fwrite(head, 1, sizeof head, file) == sizeof head;
  // The rows in pieces of at most 32 KB.
  for (uint32_t at = 0; ok && at < size; at += 32768) {
    const uint32_t piece = size - at < 32768 ? size - at : 32768;
    ok = std::fwrite(bits + at, 1, piece, file) == piece;
  }
  ok = (std::fclose(file) == 0) && ok;
  // A part-written file would show a picture that is not the grid's.
  if (!ok) std::remove(path);
  return ok;
}

bool ReadPlaneGraphFile(const char* path, PlaneGraph& graph) {
  std::FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (file == nullptr) return false;
  uint8_t head[kPlaneGraphHeaderBytes];
  bool ok = std::fread(head, 1, sizeof head, file) == sizeof head;
  if (ok) {
    graph.width = int32_t(GetLe(head, 4));
    graph.height = int32_t(GetLe(head + 4, 4));
    graph.bitsPerPixel = uint16_t(GetLe(head + 8, 2));
    const uint32_t size = GetLe(head + 10, 4);
    ok = graph.width > 0 && graph.height > 0 && graph.width <= 65536 && graph.height <= 65536 &&
         (graph.bitsPerPixel == 16 || graph.bitsPerPixel == 24 || graph.bitsPerPixel == 32) &&
         int64_t(size) == platform::DibRowBytes(graph.width, graph.bitsPerPixel) * graph.height;
    if (ok) {
      graph.rows.resize(size);
      ok = std::fread(graph.rows.data(), 1, size, file) == size && std::fgetc(file) == EOF;
    }
  }
  std::fclose(file);
  return ok;
}

}  // namespace t3d
