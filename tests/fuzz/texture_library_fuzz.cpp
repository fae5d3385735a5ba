// Fuzz target: any bytes as a texture library file. Opening must refuse or accept without a
// crash, a leak or a huge allocation, and every tile of an accepted library must read.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/message_box.h"
#include "formats/texture_library.h"

namespace {

int TN_CALL Quiet(void*, int, unsigned, const char*, const char*) { return TN_IDNO; }

std::string g_path;

void RemoveFile() {
  if (!g_path.empty()) ::unlink(g_path.c_str());
}

// One file per process, rewritten for every input.
const std::string& InputPath() {
  if (g_path.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/texlib_fuzz_XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) std::abort();
    ::close(fd);
    g_path = pattern;
    std::atexit(RemoveFile);
    t3d::SetMessageHandler(&Quiet, nullptr);
  }
  return g_path;
}

void ReadEveryTile(const t3d::TextureLibrary& library) {
  if (!library.valid()) return;
  std::vector<uint8_t> tile(library.tileBytes());
  for (uint32_t n = 0; n < library.tileCount(); ++n) {
    if (t3d::ReadTile(&library, int(n), tile.data(), tile.size()) != 1) std::abort();
  }
  // Outside the table nothing is read.
  if (t3d::ReadTile(&library, int(library.tileCount()), tile.data(), tile.size()) != 0) {
    std::abort();
  }
}

uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = InputPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  // As the store's own file, then as a plane library and as a terrain library of its grid.
  const t3d::TextureLibrary reopened = t3d::ReopenTextureData(path);
  ReadEveryTile(reopened);

  int32_t rows = 0, cols = 0;
  ReadEveryTile(t3d::OpenTextureLibrary(path, &rows, &cols, true));
  rows = size >= 269 ? int32_t(U32(data + 265)) : 2;
  cols = size >= 273 ? int32_t(U32(data + 269)) : 2;
  ReadEveryTile(t3d::OpenTextureLibrary(path, &rows, &cols, false));

  // The table builders on the first bytes as sizes.
  if (size >= 9) {
    const auto pyramid = t3d::BuildTileTable(U32(data) % 40000, U32(data + 4) % 40000, data[8]);
    const auto plane = t3d::BuildPlaneTileTable(U32(data) % 40000, U32(data + 4) % 40000, data[8]);
    if (pyramid && pyramid->tiles.empty()) std::abort();
    if (plane && plane->tiles.size() != size_t(plane->tileRows) * plane->tileCols) std::abort();
  }
  return 0;
}
