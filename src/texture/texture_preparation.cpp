#include "texture/texture_preparation.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "dialogs/presenter.h"
#include "base/messages.h"
#include "model/process_objects.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "adapters/dem_store.h"
#include "base/progress.h"
#include "platform/environment.h"
#include "platform/file_mapping.h"

namespace t3d {
namespace {


constexpr const char* kLoadingTitle = "正在装入纹理数据...";
constexpr const char* kGeneratingTitle = "正在生成纹理库...";
// Largest tile exponent of generated libraries (256-pixel tiles).
constexpr int kGeneratedTileExponent = 8;

std::string WorkDirectory() {
  const char* block = BaseGetEnvironment();
  if (block == nullptr || block[BASE_ENV_WORK_DIRECTORY] == '\0') return ".";
  return std::string(block + BASE_ENV_WORK_DIRECTORY);
}

// A raster handle opened for reading (or a new image) that is closed when it goes.
class RasterGuard {
 public:
  explicit RasterGuard(bool isNew = false) : isNew_(isNew) {}
  ~RasterGuard() { Close(); }
  RasterGuard(const RasterGuard&) = delete;
  RasterGuard& operator=(const RasterGuard&) = delete;
  RasterHandle* out() { return &handle_; }
  RasterHandle get() const { return handle_; }
  bool Close() {
    if (handle_ == 0) return true;
    const int result = isNew_ ? RasterCloseNew(handle_) : RasterCloseRead(handle_);
    handle_ = 0;
    return result == RASTER_OK;
  }

 private:
  RasterHandle handle_ = 0;
  bool isNew_;
};

// Deletes a file when it goes.
class FileRemover {
 public:
  explicit FileRemover(std::string path) : path_(std::move(path)) {}
  ~FileRemover() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  FileRemover(const FileRemover&) = delete;
  FileRemover& operator=(const FileRemover&) = delete;

 private:
  std::string path_;
};


// The bands shown as red, green and blue: the image's display bands, or the user's choice from
// them when the image has more than 3 bands (a cancelled dialog keeps the display bands). False
// only when the image cannot tell.
bool ChooseDisplayBands(RasterHandle image) {
  int32_t bands = 0, red = 0, green = 1, blue = 2;
  if (RasterGetBandCount(image, &bands) != RASTER_OK) return false;
  if (RasterGetDisplayBands(image, &red, &green, &blue) != RASTER_OK) return false;
  if (bands <= 3) return true;
  TnBandsDialog dialog{};
  dialog.bandCount = bands;
  dialog.red = red;
  dialog.green = green;
  dialog.blue = blue;
  if (dialogs::CurrentPresenter().Bands(dialog) != dialogs::kDialogOk) return true;
  return RasterSetDisplayRGB(image, dialog.red, dialog.green, dialog.blue) == RASTER_OK;
}

// Scales a block of 3-byte pixels (rows top-down) to size x size by bilinear interpolation of
// pixel centres.
void ScaleBlock(const uint8_t* source, int width, int height, int size, std::vector<uint8_t>& out) {
  out.assign(size_t(size) * size * 3, 0);
  for (int y = 0; y < size; ++y) {
    const double sy = std::clamp((y + 0.5) * height / size - 0.5, 0.0, double(height - 1));
    const int y0 = int(sy), y1 = std::min(y0 + 1, height - 1);
    const double fy = sy - y0;
    for (int x = 0; x < size; ++x) {
      const double sx = std::clamp((x + 0.5) * width / size - 0.5, 0.0, double(width - 1));
      const int x0 = int(sx), x1 = std::min(x0 + 1, width - 1);
      const double fx = sx - x0;
      for (int c = 0; c < 3; ++c) {
        auto at = [&](int yy, int xx) { return double(source[(size_t(yy) * width + xx) * 3 + c]); };
        const double top = at(y0, x0) * (1 - fx) + at(y0, x1) * fx;
        const double bottom = at(y1, x0) * (1 - fx) + at(y1, x1) * fx;
        out[(size_t(y) * size + x) * 3 + c] = uint8_t(std::lround(top * (1 - fy) + bottom * fy));
      }
    }
  }
}

// The directory part of a path ("." when it has none).
std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Copies the file at from to the path to. The copy is written as a draft in to's directory and
// put in place once it is complete, so that a copy that fails (a full disk, a directory that
// cannot be written) or a process killed meanwhile leaves no partial file and keeps a file that
// was at to.
bool CopyFile(const std::string& from, const std::string& to) {
  platform::File source = platform::File::Open(from, false);
  if (!source.valid()) return false;
  platform::File copy = platform::File::CreateDraft(DirectoryOf(to), ".TexSave");
  if (!copy.valid()) return false;
  const uint64_t size = source.Size();
  std::vector<uint8_t> buffer(size_t(1) << 20);
  for (uint64_t offset = 0; offset < size;) {
    const size_t piece = size_t(std::min<uint64_t>(buffer.size(), size - offset));
    if (!source.ReadAt(offset, buffer.data(), piece) || !copy.Append(buffer.data(), piece)) {
      const std::string partial = copy.unnamed() ? std::string() : copy.path();
      copy.Close();  // an unnamed draft ends with it
      if (!partial.empty()) platform::DeleteFile(partial);
      return false;
    }
    offset += piece;
  }
  return copy.ReplaceFile(to);  // deletes the copy when it cannot become to
}

// The save step: the finished temporary library at temporaryPath becomes the store's data file,
// kept as a library at a path of the user's choice when asked to and agreed. A library that
// cannot be saved there is reported with message 10; the texture is then used from the
// temporary library, which goes with the store. temporaryNamed: the temporary library has a name
// to delete once it is saved (an unnamed one ends with its writer).
void SaveStep(TextureStore& store, const std::string& temporaryPath, bool temporaryNamed,
              bool askToSave) {
  store.dataFilePath = temporaryPath;
  store.keepFile = false;
  if (!askToSave || AskMessage(MessageId::kSaveTextureLibrary) != TN_IDYES) return;
  TnSaveTextureDialog dialog{};
  if (dialogs::CurrentPresenter().SaveTexture(dialog) != dialogs::kDialogOk) return;
  // The path is read within its field only: one without its terminating zero is not a path.
  const size_t length = strnlen(dialog.path, sizeof dialog.path);
  const std::string chosen(dialog.path, length);
  if (chosen.empty() || chosen == temporaryPath) return;
  if (length == sizeof dialog.path || !CopyFile(temporaryPath, chosen)) {
    ShowMessage(MessageId::kReadTexture);
    return;
  }
  if (temporaryNamed) std::remove(temporaryPath.c_str());
  store.dataFilePath = chosen;
  store.keepFile = true;
}

// Opens the source image of a texture. False without a message when it cannot be opened, after
// message 17 when it has fewer than 3 bands (before anything is written).
bool OpenTextureImage(const std::string& path, RasterGuard& image) {
  if (RasterOpenForRead(path.c_str(), image.out()) != RASTER_OK) return false;
  int32_t bands = 0;
  if (RasterGetBandCount(image.get(), &bands) != RASTER_OK) return false;
  if (bands < 3) {
    ShowMessage(MessageId::kTooFewBands);
    return false;
  }
  return true;
}

// A cell value as a byte: truncated toward zero and limited to 0..255, NaN as 0, so that values of
// wider cell types saturate instead of wrapping around.
uint8_t CellByte(double value) {
  if (!(value > 0)) return 0;
  if (value >= 255) return 255;
  return uint8_t(value);
}

// Red, green and blue bytes of one cell from the three bands. False when a read fails.
bool ReadRgbCell(RasterHandle image, const int32_t bands[3], int32_t line, int32_t cell,
                 uint8_t* rgb) {
  for (int c = 0; c < 3; ++c) {
    double value = 0;
    if (RasterGetCell(image, RASTER_CELL_ADDRESS, bands[c], line, cell, &value) != RASTER_OK)
      return false;
    rgb[c] = CellByte(value);
  }
  return true;
}

// The ending shared by the producers that prepare a store: the written file is completed,
// offered for saving, and opened again as the store's data.
bool CompleteTextureData(TextureStore& store, TextureLibraryWriter& writer, TextureInfo* info,
                         bool askToSave) {
  if (!writer.Finish()) return false;  // the writer deletes its unfinished file
  store.dataReady = true;
  const bool named = !writer.unnamed();
  SaveStep(store, writer.path(), named, askToSave);
  MessageId problem = MessageId::kNone;
  store.library = ReopenTextureData(store.dataFilePath, &problem);
  // An unnamed temporary library lives on in the store's own descriptor: its path (a link to
  // the writer's descriptor) ends with the writer, and there is no file to delete.
  if (!named && !store.keepFile) store.dataFilePath.clear();
  if (!store.library.valid()) {
    ShowMessage(problem);
    return false;
  }
  store.info = store.library.info();
  if (info != nullptr) *info = store.info;
  return true;
}

// One plane tile as size x size red, green, blue pixels: texture row i is grid row rowFirst + i,
// which is image line lines - 1 - (rowFirst + i); cells beyond the tile's last row and column
// are black.
bool FillPlaneTile(RasterHandle image, const int32_t bands[3], int32_t lines,
                   const TileEntry& tile, int size, std::vector<uint8_t>& rgb) {
  std::fill(rgb.begin(), rgb.end(), uint8_t(0));
  for (int i = 0; i <= tile.rowLast - tile.rowFirst; ++i) {
    const int32_t line = lines - 1 - (tile.rowFirst + i);
    uint8_t* row = rgb.data() + size_t(i) * size * 3;
    for (int j = 0; j <= tile.colLast - tile.colFirst; ++j)
      if (!ReadRgbCell(image, bands, line, tile.colFirst + j, row + size_t(j) * 3)) return false;
  }
  return true;
}

// The size + 1 samples a side of one pyramid tile, every 2^level grid steps from its first row
// and column, the grid's last row and column repeated beyond it. Grid row g is image line
// rows - 1 - g.
bool SampleTile(RasterHandle image, int32_t rows, int32_t cols, const TileEntry& tile, int size,
                std::vector<uint8_t>& samples) {
  static const int32_t kRgbBands[3] = {0, 1, 2};
  const int count = size + 1, step = 1 << tile.level;
  samples.resize(size_t(count) * count * 3);
  for (int i = 0; i < count; ++i) {
    const int32_t line = rows - 1 - std::min(tile.rowFirst + i * step, rows - 1);
    uint8_t* row = samples.data() + size_t(i) * count * 3;
    for (int j = 0; j < count; ++j) {
      const int32_t cell = std::min(tile.colFirst + j * step, cols - 1);
      if (!ReadRgbCell(image, kRgbBands, line, cell, row + size_t(j) * 3)) return false;
    }
  }
  return true;
}

}  // namespace

bool TextureUploadParameters(int pixelFormat, int32_t* components, uint32_t* format,
                             uint32_t* type) {
  switch (pixelFormat) {
    case kPixelRgb24:
      *components = 3, *format = GL_RGB, *type = GL_UNSIGNED_BYTE;
      return true;
    case kPixelRgb565:
      *components = 3, *format = GL_RGB, *type = GL_UNSIGNED_SHORT_5_6_5;
      return true;
    case kPixelArgb1555:
      *components = 4, *format = GL_BGRA, *type = GL_UNSIGNED_SHORT_1_5_5_5_REV;
      return true;
    case kPixelRgba5551:
      *components = 4, *format = GL_RGBA, *type = GL_UNSIGNED_SHORT_5_5_5_1;
      return true;
    case kPixelRgba32:
      *components = 4, *format = GL_RGBA, *type = GL_UNSIGNED_BYTE;
      return true;
    case kPixelBgra32:
      *components = 4, *format = GL_BGRA, *type = GL_UNSIGNED_BYTE;
      return true;
    default:
      return false;
  }
}

bool BuildTerrainTextures(TextureStore& store, RasterHandle image, const TextureRequest& request,
                          TextureInfo* info) {
  if (request.rows < 2 || request.cols < 2) return false;
  const auto table = BuildTileTable(uint32_t(request.rows), uint32_t(request.cols), request.maxExponent);
  if (!table || table->tiles.empty()) return false;
  TextureLibraryWriter writer = TextureLibraryWriter::CreateTemporary(
      WorkDirectory(), store.rasterPath, uint32_t(request.rows), uint32_t(request.cols), request.pixelFormat, *table);
  if (!writer.valid()) return false;

  // Map units per image pixel.
  double mapX0, mapX1, mapY0, mapY1, imageX0, imageX1, imageY0, imageY1;
  if (RasterGetCoordinateRange(image, RASTER_RANGE_MAP, &mapX0, &mapX1, &mapY0, &mapY1) != RASTER_OK ||
      RasterGetCoordinateRange(image, RASTER_RANGE_IMAGE, &imageX0, &imageX1, &imageY0, &imageY1) != RASTER_OK ||
      imageX1 == imageX0 || imageY1 == imageY0)
    return false;
  const double dx = (mapX1 - mapX0) / (imageX1 - imageX0);
  const double dy = (mapY1 - mapY0) / (imageY1 - imageY0);

  const int size = int(table->tileSize);
  std::vector<uint8_t> scaled, rgb(size_t(size) * size * 3);
  bool ok = true;
  {
    ProgressScope progress(kLoadingTitle, nullptr, int(table->tiles.size()));
    if (!progress.shown()) return false;  // refused by the host: no tiles, no library
    for (const TileEntry& tile : table->tiles) {
      progress.Step();
      const double s = double(1 << tile.level);
      RasterMapRectRequest request{};
      request.image = image;
      request.xMin = mapX0 + tile.colFirst * dx;
      request.xMax = request.xMin + size * s * dx;
      request.yMin = mapY0 + tile.rowFirst * dy;
      request.yMax = request.yMin + size * s * dy;
      request.scale = std::min(size / (request.xMax - request.xMin), size / (request.yMax - request.yMin));
      if (RasterGetMapRectImage(&request) != RASTER_OK || request.pixels == nullptr) {
        ok = false;
        break;
      }
      const uint8_t* block = request.pixels;
      if (request.width != size || request.height != size) {
        ScaleBlock(request.pixels, request.width, request.height, size, scaled);
        block = scaled.data();
      }
      // Texture row r is block row size - 1 - r (texture rows run up the map); bgr to rgb.
      for (int r = 0; r < size; ++r) {
        const uint8_t* from = block + size_t(size - 1 - r) * size * 3;
        uint8_t* to = rgb.data() + size_t(r) * size * 3;
        for (int k = 0; k < size; ++k) {
          to[k * 3 + 0] = from[k * 3 + 2];
          to[k * 3 + 1] = from[k * 3 + 1];
          to[k * 3 + 2] = from[k * 3 + 0];
        }
      }
      RasterFreeMapRectImage(&request);
      if (!writer.WriteRgbTile(rgb.data(), rgb.size())) {
        ok = false;
        break;
      }
    }
  }
  return ok && CompleteTextureData(store, writer, info, request.askToSave);
}

bool PrepareFromRaster(TextureStore& store, const TextureRequest& request, TextureInfo* info) {
  store.rasterPath = request.path;
  RasterGuard source;
  if (!OpenTextureImage(request.path, source)) return false;
  int32_t bands = 0, lines = 0, cells = 0;
  if (RasterGetBandCount(source.get(), &bands) != RASTER_OK ||
      RasterGetLineCount(source.get(), &lines) != RASTER_OK ||
      RasterGetLineCells(source.get(), &cells) != RASTER_OK)
    return false;
  if (lines == request.rows && cells == request.cols) {
    // The image is the request.grid's own: used as it is.
    if (!ChooseDisplayBands(source.get())) return false;
    return BuildTerrainTextures(store, source.get(), request, info);
  }

  // Resampled onto the request.grid: one cell per request.grid node, centred on it.
  int32_t bandsInfo = RASTER_BANDS_GENERIC, cellType = RASTER_CELL_BYTE;
  if (RasterGetBandsInfo(source.get(), &bandsInfo) != RASTER_OK ||
      RasterGetCellType(source.get(), &cellType) != RASTER_OK)
    return false;
  if (request.grid.cellSizeX <= 0 || request.grid.cellSizeY <= 0) return false;
  // The resampled image is a temporary file of its own: unnamed where the system allows, so that
  // nothing is left of it even when the process is killed, and kept open (reached by its path)
  // until the texture is built; else a name made unique in the working directory, so that a file
  // of the user's there, or another process's image, is never replaced or deleted.
  platform::File reserved = platform::File::CreateReopenableTemporary(
      WorkDirectory(), kResampledImagePrefix, kResampledImageExtension);
  if (!reserved.valid()) return false;
  const std::string resampledPath = reserved.path();
  if (!reserved.unnamed()) reserved.Close();
  FileRemover removeResampled(reserved.unnamed() ? std::string() : resampledPath);
  {
    RasterGuard target(true);
    if (RasterCreateNew(resampledPath.c_str(), target.out(), cellType, request.rows, request.cols, bands,
                        bandsInfo) != RASTER_OK)
      return false;
    if (RasterResample(source.get(), target.get(), RASTER_RESAMPLE_BILINEAR, 1 / request.grid.cellSizeX,
                       1 / request.grid.cellSizeY, request.grid.xMin - request.grid.cellSizeX / 2,
                       request.grid.yMin - request.grid.cellSizeY / 2) != RASTER_OK)
      return false;
    source.Close();
    if (!ChooseDisplayBands(target.get())) return false;
    if (!target.Close()) return false;
  }
  RasterGuard resampled;
  if (RasterOpenForRead(resampledPath.c_str(), resampled.out()) != RASTER_OK) return false;
  return BuildTerrainTextures(store, resampled.get(), request, info);
}

bool BuildPlaneTextures(TextureStore& store, RasterHandle image, int32_t lines, int32_t cells,
                        const TextureRequest& request, TextureInfo* info) {
  if (lines < 1 || cells < 1) return false;
  const auto table = BuildPlaneTileTable(uint32_t(lines), uint32_t(cells), request.maxExponent);
  if (!table || table->tiles.empty()) return false;
  int32_t bands[3] = {0, 0, 0};
  if (RasterGetDisplayBands(image, &bands[0], &bands[1], &bands[2]) != RASTER_OK) return false;
  TextureLibraryWriter writer = TextureLibraryWriter::CreateTemporary(
      WorkDirectory(), store.rasterPath, uint32_t(lines), uint32_t(cells), request.pixelFormat, *table);
  if (!writer.valid()) return false;

  const int size = int(table->tileSize);
  std::vector<uint8_t> rgb(size_t(size) * size * 3);
  {
    ProgressScope progress(kLoadingTitle, nullptr, int(table->tiles.size()));
    if (!progress.shown()) return false;  // refused by the host: no tiles, no library
    for (const TileEntry& tile : table->tiles) {
      progress.Step();
      if (!FillPlaneTile(image, bands, lines, tile, size, rgb) ||
          !writer.WriteRgbTile(rgb.data(), rgb.size()))
        return false;
    }
  }
  return CompleteTextureData(store, writer, info, request.askToSave);
}

bool PreparePlaneFromRaster(TextureStore& store, TextureRequest& request, TextureInfo* info) {
  store.rasterPath = request.path;
  RasterGuard image;
  if (!OpenTextureImage(request.path, image)) return false;
  int32_t lines = 0, cells = 0;
  if (RasterGetLineCount(image.get(), &lines) != RASTER_OK ||
      RasterGetLineCells(image.get(), &cells) != RASTER_OK)
    return false;
  if (!BuildPlaneTextures(store, image.get(), lines, cells, request, info))
    return false;
  request.rows = lines;
  request.cols = cells;
  return true;
}

bool PrepareTextureSource(TextureStore& store, TextureRequest& request, TextureInfo* info) {
  return request.plane ? PreparePlaneFromRaster(store, request, info)
                       : PrepareFromRaster(store, request, info);
}

bool WriteTextureLibrary(const std::string& libraryPath, const std::string& rasterPath,
                         RasterHandle image, int32_t rows, int32_t cols, int pixelFormat,
                         int maxExponent) {
  // Grid row g is read from image line rows - 1 - g: the image must be exactly the grid, or the
  // samples would come from the wrong lines or from beyond the image. Checked before the library
  // file is created, so that a refused request leaves an existing file alone.
  int32_t bands = 0, lines = 0, cells = 0;
  if (rows < 2 || cols < 2 || RasterGetBandCount(image, &bands) != RASTER_OK ||
      RasterGetLineCount(image, &lines) != RASTER_OK ||
      RasterGetLineCells(image, &cells) != RASTER_OK || bands < 3 || lines != rows ||
      cells != cols)
    return false;
  const auto table = BuildTileTable(uint32_t(rows), uint32_t(cols), maxExponent);
  if (!table || table->tiles.empty()) return false;
  TextureLibraryWriter writer = TextureLibraryWriter::Create(
      libraryPath, rasterPath, uint32_t(rows), uint32_t(cols), pixelFormat, *table);
  if (!writer.valid()) return false;

  const int size = int(table->tileSize);
  std::vector<uint8_t> samples, rgb;
  {
    ProgressScope progress(kGeneratingTitle, nullptr, int(table->tiles.size()));
    if (!progress.shown()) return false;  // refused by the host: no tiles, no library
    for (const TileEntry& tile : table->tiles) {
      progress.Step();
      if (!SampleTile(image, rows, cols, tile, size, samples)) return false;
      // size + 1 samples a side become size pixels.
      ScaleBlock(samples.data(), size + 1, size + 1, size, rgb);
      if (!writer.WriteRgbTile(rgb.data(), rgb.size())) return false;
    }
  }
  return writer.Finish();  // a writer that did not finish deletes its file
}

bool GenerateTextureLibrary(const std::string& rasterPath, const std::string& libraryPath,
                            int32_t rows, int32_t cols, int pixelFormat) {
  RasterGuard image;
  if (RasterOpenForRead(rasterPath.c_str(), image.out()) != RASTER_OK) return false;
  return WriteTextureLibrary(libraryPath, rasterPath, image.get(), rows, cols, pixelFormat,
                             kGeneratedTileExponent);
}

bool PrepareSceneTexture(SceneObject& scene, SceneState& state, const char* path) {
  // The previous texture goes first, and with it every copy of its tile table.
  scene.textureReady = 0;
  state.textureTileTable = nullptr;
  state.textureTileCount = 0;
  g_process.textureStore.reset();
  if (path == nullptr || path[0] == '\0' || g_process.terrainArea == nullptr) return false;
  auto store = std::make_unique<TextureStore>();

  int32_t rows = state.rowCount, cols = state.columnCount;
  TextureInfo info{};
  if (IsTextureLibraryPath(path)) {
    MessageId problem = MessageId::kNone;
    store->library = OpenTextureLibrary(path, &rows, &cols, false, &problem);
    if (!store->library.valid()) {
      ShowMessage(problem);
      return false;
    }
    store->dataFilePath = path;
    store->keepFile = true;
    store->dataReady = true;
    store->rasterPath = store->library.rasterPath();
    store->info = info = store->library.info();
  } else {
    int format = kPixelRgb24;
    if (scene.packedPixelsExt != 0) {
      TnTextureFormatDialog dialog{};
      dialog.choice = 0;
      if (dialogs::CurrentPresenter().TextureFormat(dialog) != dialogs::kDialogOk) return false;
      format = dialog.choice == 0 ? kPixelRgba5551 : kPixelRgb24;
    }
    TextureRequest request;
    request.path = path;
    request.rows = rows;
    request.cols = cols;
    request.grid.xMin = state.xMin;
    request.grid.yMin = state.yMin;
    request.grid.cellSizeX = state.cellSizeX;
    request.grid.cellSizeY = state.cellSizeY;
    request.pixelFormat = format;
    request.askToSave = true;
    if (!PrepareTextureSource(*store, request, &info)) return false;
  }

  // Packed 16-bit pixels need the packed pixels extension.
  if (scene.packedPixelsExt == 0 && info.bytesPerPixel == 2) {
    ShowMessage(MessageId::kNo16BitTextures);
    return false;
  }
  int32_t components = 0;
  uint32_t format = 0, type = 0;
  if (!TextureUploadParameters(info.pixelFormat, &components, &format, &type)) return false;
  const size_t imageBytes = size_t(info.tileWidth) * info.tileHeight * info.bytesPerPixel;
  if (imageBytes == 0) return false;
  std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[imageBytes]);
  if (!image) return false;

  state.textureComponents = components;
  state.textureFormat = format;
  state.textureType = type;
  scene.textureImage = std::move(image);
  store->owner = &scene;
  g_process.textureStore = std::move(store);
  const TextureStore& kept = *g_process.textureStore;
  state.textureTileTable = const_cast<TileEntry*>(kept.library.tiles().data());
  state.textureTileCount = int32_t(kept.library.tileCount());
  scene.textureReady = 1;
  return true;
}

}  // namespace t3d
