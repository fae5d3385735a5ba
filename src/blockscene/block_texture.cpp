#include "blockscene/block_texture.h"

#include <cstring>
#include <string>

#include "base/messages.h"
#include "model/process_objects.h"
#include "texture/texture_preparation.h"

namespace t3d {
namespace {

bool HasExtension(const std::string& path, const char* extension) {
  if (path.size() < 4) return false;
  const std::string tail = path.substr(path.size() - 4);
  for (size_t i = 0; i < 4; ++i)
    if (std::tolower(static_cast<unsigned char>(tail[i])) != extension[i]) return false;
  return true;
}

}  // namespace

bool PrepareBlockTexture(BlockScene& s, const char* path, int format, int maxExponent,
                         bool askToSave) {
  if (!s.planeMode && s.OwnTerrain() == nullptr) return false;
  // The previous texture goes first, and with it everything copied from it.
  s.textureReady = false;
  s.tileCount = s.tileRowsCount = s.tileColsCount = 0;
  g_process.textureStore.reset();
  if (path == nullptr || path[0] == '\0') return false;
  const std::string file = path;
  const bool raster = HasExtension(file, ".rim"), library = HasExtension(file, ".tex");
  if (!raster && !library) return false;
  if (maxExponent < 1 || maxExponent > 15) return false;

  auto store = std::make_unique<TextureStore>();
  int32_t rows = s.rowCount, cols = s.columnCount;
  TextureInfo info{};
  if (raster) {
    TextureRequest request;
    request.path = file;
    request.rows = rows;
    request.cols = cols;
    request.grid.xMin = s.xMin;
    request.grid.yMin = s.yMin;
    request.grid.cellSizeX = s.cellSizeX;
    request.grid.cellSizeY = s.cellSizeY;
    request.pixelFormat = format;
    request.maxExponent = maxExponent;
    request.plane = s.planeMode;
    request.askToSave = askToSave;
    if (!PrepareTextureSource(*store, request, &info)) return false;
    rows = request.rows;
    cols = request.cols;
  } else {
    MessageId problem = MessageId::kNone;
    store->library = OpenTextureLibrary(file, &rows, &cols, s.planeMode, &problem);
    if (!store->library.valid()) {
      ShowMessage(problem);
      return false;
    }
    store->dataFilePath = file;
    store->keepFile = true;
    store->dataReady = true;
    store->rasterPath = store->library.rasterPath();
    store->info = info = store->library.info();
    if (info.pixelFormat != format) {
      ShowMessage(MessageId::kTextureLibraryPixelFormat);
      return false;
    }
  }
  if (info.tileWidth == 0 || !store->library.valid()) return false;

  s.bytesPerPixel = info.bytesPerPixel;
  s.pixelFormat = info.pixelFormat;
  s.tileCount = store->library.tileCount();
  s.tileSize = info.tileWidth;
  uint8_t exponent = 0;
  while ((2u << exponent) <= info.tileWidth) ++exponent;
  s.tileSizeExponent = exponent;
  s.halfTexel = 0.5f / float(info.tileWidth);
  if (s.planeMode) {
    s.tileRowsCount = store->library.tileRows();
    s.tileColsCount = store->library.tileCols();
    // The tiles' quads meet when each tile starts one cell back: the image's cells are spread
    // over columns - tile columns steps.
    if (cols > int32_t(s.tileColsCount) && rows > int32_t(s.tileRowsCount)) {
      s.cellSizeX = (s.xMax - s.xMin) / float(cols - int32_t(s.tileColsCount));
      s.cellSizeY = (s.yMax - s.yMin) / float(rows - int32_t(s.tileRowsCount));
    }
    s.rowCount = rows;
    s.columnCount = cols;
  }
  store->owner = &s;
  g_process.textureStore = std::move(store);
  s.textureReady = true;
  return true;
}

size_t BlockTileBytes(const BlockScene& s) {
  if (!s.TextureUsable()) return 0;
  return g_process.textureStore->library.tileBytes();
}

bool ReadBlockTile(const BlockScene& s, int n, void* buffer) {
  if (buffer == nullptr || !s.TextureUsable()) return false;
  const TextureStore& store = *g_process.textureStore;
  return store.ReadTile(n, buffer, store.library.tileBytes());
}

}  // namespace t3d
