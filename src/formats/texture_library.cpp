#include "formats/texture_library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/messages.h"

namespace t3d {
namespace {


// ---- Little-endian fields -------------------------------------------------------------------

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
uint16_t Little16(uint16_t v) { return uint16_t((v >> 8) | (v << 8)); }
uint32_t Little32(uint32_t v) { return __builtin_bswap32(v); }
#else
uint16_t Little16(uint16_t v) { return v; }
uint32_t Little32(uint32_t v) { return v; }
#endif

int16_t Little16s(int16_t v) { return int16_t(Little16(uint16_t(v))); }

TileEntry LittleEntry(const TileEntry& e) {
  return TileEntry{Little16s(e.rowFirst), Little16s(e.rowLast), Little16s(e.colFirst),
                   Little16s(e.colLast), Little16s(e.level)};
}

bool SameEntry(const TileEntry& a, const TileEntry& b) {
  return a.rowFirst == b.rowFirst && a.rowLast == b.rowLast && a.colFirst == b.colFirst &&
         a.colLast == b.colLast && a.level == b.level;
}

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

uint64_t CeilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

int ClampExponent(int e) { return std::clamp(e, kMinTileExponent, kMaxTileExponent); }

// The file name part of a path.
std::string FileNamePart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---- Table shapes ---------------------------------------------------------------------------
//
// A pyramid over H x W with tile size T: for level L = 0, 1, ... with r = H >> L, c = W >> L,
// tile starts i = 0, T, 2T, ... below r - 1 and j likewise below c - 1 give the tile
// {i 2^L, (i + T) 2^L, j 2^L, (j + T) 2^L, L}; the levels end with the first one where
// r <= T + 1 and c <= T + 1. Its tile counts and extents follow from arithmetic alone, so a
// file's claims can be checked before anything is sized from them.

// Tiles per level side: starts 0, T, 2T, ... below n - 1.
uint64_t StartsBelow(uint64_t n, uint64_t t) { return n >= 2 ? CeilDiv(n - 1, t) : 0; }

// Number of tiles of the pyramid; empty when it cannot be stored.
std::optional<uint64_t> PyramidTileCount(uint32_t rows, uint32_t cols, uint32_t tileSize) {
  if (rows < 2 || cols < 2 || rows > kMaxGridSize || cols > kMaxGridSize) return std::nullopt;
  if (!IsPowerOfTwo(tileSize) || tileSize > kMaxTileSize) return std::nullopt;
  uint64_t count = 0;
  const uint64_t t = tileSize;
  for (int level = 0;; ++level) {
    const uint64_t r = uint64_t(rows) >> level;
    const uint64_t c = uint64_t(cols) >> level;
    const uint64_t ni = StartsBelow(r, t);
    const uint64_t nj = StartsBelow(c, t);
    // The far edges of the level's last tile must still be 16-bit indices.
    if (ni > 0 && nj > 0 &&
        (((ni * t) << level) > kMaxTileCoordinate || ((nj * t) << level) > kMaxTileCoordinate)) {
      return std::nullopt;
    }
    count += ni * nj;
    if (r <= t + 1 && c <= t + 1) break;
  }
  return count;
}

std::vector<TileEntry> PyramidTiles(uint32_t rows, uint32_t cols, uint32_t tileSize, size_t count) {
  std::vector<TileEntry> tiles;
  tiles.reserve(count);
  const uint32_t t = tileSize;
  for (int level = 0;; ++level) {
    const uint32_t r = rows >> level;
    const uint32_t c = cols >> level;
    for (uint32_t i = 0; i + 1 < r; i += t) {
      for (uint32_t j = 0; j + 1 < c; j += t) {
        tiles.push_back(TileEntry{int16_t(i << level), int16_t((i + t) << level),
                                  int16_t(j << level), int16_t((j + t) << level), int16_t(level)});
      }
    }
    if (r <= t + 1 && c <= t + 1) break;
  }
  return tiles;
}

bool PlaneShapeValid(uint32_t rows, uint32_t cols, uint32_t tileSize) {
  return rows >= 1 && cols >= 1 && rows <= kMaxGridSize && cols <= kMaxGridSize &&
         IsPowerOfTwo(tileSize) && tileSize <= kMaxTileSize;
}

uint64_t PlaneTileCount(uint32_t rows, uint32_t cols, uint32_t tileSize) {
  return CeilDiv(rows, tileSize) * CeilDiv(cols, tileSize);
}

std::vector<TileEntry> PlaneTiles(uint32_t rows, uint32_t cols, uint32_t tileSize) {
  std::vector<TileEntry> tiles;
  tiles.reserve(size_t(PlaneTileCount(rows, cols, tileSize)));
  for (uint32_t i = 0; i < rows; i += tileSize) {
    for (uint32_t j = 0; j < cols; j += tileSize) {
      tiles.push_back(TileEntry{int16_t(i), int16_t(std::min(i + tileSize - 1, rows - 1)),
                                int16_t(j), int16_t(std::min(j + tileSize - 1, cols - 1)), 0});
    }
  }
  return tiles;
}

// Number of tiles a library of this shape holds; empty when no valid library has the shape.
std::optional<uint64_t> ExpectedTileCount(uint32_t rows, uint32_t cols, uint32_t tileSize,
                                          bool plane) {
  if (plane) {
    if (!PlaneShapeValid(rows, cols, tileSize)) return std::nullopt;
    return PlaneTileCount(rows, cols, tileSize);
  }
  return PyramidTileCount(rows, cols, tileSize);
}

}  // namespace

// ---- Pixels ---------------------------------------------------------------------------------

int BytesPerPixel(int pixelFormat) {
  switch (pixelFormat) {
    case kPixelRgb24:
      return 3;
    case kPixelRgb565:
    case kPixelArgb1555:
    case kPixelRgba5551:
      return 2;
    case kPixelRgba32:
    case kPixelBgra32:
      return 4;
    default:
      return 0;
  }
}

bool PackPixels(int pixelFormat, const uint8_t* rgb, size_t count, uint8_t* out) {
  if (BytesPerPixel(pixelFormat) == 0) return false;
  for (size_t k = 0; k < count; ++k, rgb += 3) {
    const unsigned r = rgb[0], g = rgb[1], b = rgb[2];
    unsigned v = 0;
    switch (pixelFormat) {
      case kPixelRgb24:
        *out++ = uint8_t(r);
        *out++ = uint8_t(g);
        *out++ = uint8_t(b);
        continue;
      case kPixelRgba32:
        *out++ = uint8_t(r);
        *out++ = uint8_t(g);
        *out++ = uint8_t(b);
        *out++ = 255;
        continue;
      case kPixelBgra32:
        *out++ = uint8_t(b);
        *out++ = uint8_t(g);
        *out++ = uint8_t(r);
        *out++ = 255;
        continue;
      case kPixelRgb565:
        v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        break;
      case kPixelArgb1555:
        v = 0x8000u | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        break;
      default:  // kPixelRgba5551
        v = ((r >> 3) << 11) | ((g >> 3) << 6) | ((b >> 3) << 1) | 1u;
        break;
    }
    *out++ = uint8_t(v & 0xff);
    *out++ = uint8_t(v >> 8);
  }
  return true;
}

bool UnpackPixels(int pixelFormat, const uint8_t* packed, size_t count, uint8_t* rgb) {
  if (BytesPerPixel(pixelFormat) == 0) return false;
  const auto five = [](unsigned v) { return uint8_t((v << 3) | (v >> 2)); };
  const auto six = [](unsigned v) { return uint8_t((v << 2) | (v >> 4)); };
  for (size_t k = 0; k < count; ++k, rgb += 3) {
    switch (pixelFormat) {
      case kPixelRgb24:
        rgb[0] = packed[0];
        rgb[1] = packed[1];
        rgb[2] = packed[2];
        packed += 3;
        continue;
      case kPixelRgba32:
        rgb[0] = packed[0];
        rgb[1] = packed[1];
        rgb[2] = packed[2];
        packed += 4;
        continue;
      case kPixelBgra32:
        rgb[0] = packed[2];
        rgb[1] = packed[1];
        rgb[2] = packed[0];
        packed += 4;
        continue;
      default:
        break;
    }
    const unsigned v = unsigned(packed[0]) | (unsigned(packed[1]) << 8);
    packed += 2;
    if (pixelFormat == kPixelRgb565) {
      rgb[0] = five((v >> 11) & 31);
      rgb[1] = six((v >> 5) & 63);
      rgb[2] = five(v & 31);
    } else if (pixelFormat == kPixelArgb1555) {
      rgb[0] = five((v >> 10) & 31);
      rgb[1] = five((v >> 5) & 31);
      rgb[2] = five(v & 31);
    } else {
      rgb[0] = five((v >> 11) & 31);
      rgb[1] = five((v >> 6) & 31);
      rgb[2] = five((v >> 1) & 31);
    }
  }
  return true;
}

// ---- Tile tables ----------------------------------------------------------------------------

std::optional<TileTable> ExpectedTileTable(uint32_t rows, uint32_t cols, uint32_t tileSize,
                                           bool plane) {
  const auto count = ExpectedTileCount(rows, cols, tileSize, plane);
  if (!count) return std::nullopt;
  TileTable table;
  table.tileSize = tileSize;
  table.plane = plane;
  if (plane) {
    table.tileRows = uint32_t(CeilDiv(rows, tileSize));
    table.tileCols = uint32_t(CeilDiv(cols, tileSize));
    table.tiles = PlaneTiles(rows, cols, tileSize);
  } else {
    table.tiles = PyramidTiles(rows, cols, tileSize, size_t(*count));
  }
  return table;
}

std::optional<TileTable> BuildTileTable(uint32_t rows, uint32_t cols, int maxExponent) {
  const uint32_t largest = 1u << ClampExponent(maxExponent);
  uint32_t tileSize = largest;
  // A grid within the largest tile is one tile of that size (which reaches past its last row
  // and column); a larger grid has tiles no larger than its smaller side.
  if (rows > largest || cols > largest) {
    while (tileSize > std::min(rows, cols)) tileSize /= 2;
  }
  return ExpectedTileTable(rows, cols, tileSize, false);
}

std::optional<TileTable> BuildPlaneTileTable(uint32_t lines, uint32_t cells, int maxExponent) {
  if (lines == 0 || cells == 0) return std::nullopt;
  uint32_t tileSize = 1u << ClampExponent(maxExponent);
  while (tileSize > std::min(lines, cells)) tileSize /= 2;
  return ExpectedTileTable(lines, cells, tileSize, true);
}

// ---- Writing --------------------------------------------------------------------------------

TextureLibraryWriter::~TextureLibraryWriter() { Discard(); }

TextureLibraryWriter::TextureLibraryWriter(TextureLibraryWriter&& other) noexcept
    : file_(std::move(other.file_)),
      path_(std::move(other.path_)),
      info_(other.info_),
      tileBytes_(other.tileBytes_),
      tileCount_(other.tileCount_),
      written_(other.written_),
      failed_(other.failed_),
      packed_(std::move(other.packed_)),
      target_(std::move(other.target_)) {
  other.path_.clear();
}

TextureLibraryWriter& TextureLibraryWriter::operator=(TextureLibraryWriter&& other) noexcept {
  if (this != &other) {
    Discard();
    file_ = std::move(other.file_);
    path_ = std::move(other.path_);
    other.path_.clear();
    info_ = other.info_;
    tileBytes_ = other.tileBytes_;
    tileCount_ = other.tileCount_;
    written_ = other.written_;
    failed_ = other.failed_;
    packed_ = std::move(other.packed_);
    target_ = std::move(other.target_);
  }
  return *this;
}

void TextureLibraryWriter::Discard() {
  if (!file_.valid()) return;
  const bool named = !file_.unnamed();  // an unnamed file ends when it is closed
  file_.Close();
  if (named) platform::DeleteFile(path_);
  path_.clear();
}

// The header and table of a library about to be written, checked so that only libraries a
// reader accepts are written.
struct TextureLibraryStart {
  TextureLibraryFileHeader raw;
  std::vector<TileEntry> stored;
  TextureInfo info;
  size_t tileBytes;
};

namespace {

std::optional<TextureLibraryStart> PrepareLibraryStart(const std::string& rasterPath,
                                                       uint32_t gridRows, uint32_t gridCols,
                                                       int pixelFormat, const TileTable& table) {
  const int bytesPerPixel = BytesPerPixel(pixelFormat);
  const std::string sourceName = FileNamePart(rasterPath);
  TextureLibraryStart start;
  if (bytesPerPixel == 0 || sourceName.size() >= sizeof(start.raw.sourceName)) {
    return std::nullopt;
  }
  const auto expected = ExpectedTileTable(gridRows, gridCols, table.tileSize, table.plane);
  if (!expected || !std::equal(table.tiles.begin(), table.tiles.end(), expected->tiles.begin(),
                               expected->tiles.end(), SameEntry)) {
    return std::nullopt;
  }

  TextureLibraryFileHeader& raw = start.raw;
  std::memset(&raw, 0, sizeof raw);
  std::memcpy(raw.tag, kTextureLibraryTag, sizeof raw.tag);
  std::memcpy(raw.sourceName, sourceName.data(), sourceName.size());
  raw.gridRows = Little32(gridRows);
  raw.gridCols = Little32(gridCols);
  raw.tileCount = Little32(uint32_t(table.tiles.size()));
  raw.tileWidth = Little16(uint16_t(table.tileSize));
  raw.tileHeight = Little16(uint16_t(table.tileSize));
  raw.pixelFormat = uint8_t(pixelFormat);
  raw.bytesPerPixel = uint8_t(bytesPerPixel);
  raw.planeTiling = table.plane ? 1 : 0;

  start.stored.resize(table.tiles.size());
  std::transform(table.tiles.begin(), table.tiles.end(), start.stored.begin(), LittleEntry);
  start.info = TextureInfo{uint16_t(table.tileSize), uint16_t(table.tileSize), uint8_t(pixelFormat),
                           uint8_t(bytesPerPixel), raw.planeTiling};
  start.tileBytes = size_t(table.tileSize) * table.tileSize * size_t(bytesPerPixel);
  return start;
}

}  // namespace

TextureLibraryWriter TextureLibraryWriter::Create(const std::string& path,
                                                  const std::string& rasterPath, uint32_t gridRows,
                                                  uint32_t gridCols, int pixelFormat,
                                                  const TileTable& table) {
  const auto start = PrepareLibraryStart(rasterPath, gridRows, gridCols, pixelFormat, table);
  if (!start || path.empty() || path.back() == '/') return {};
  // Written as a draft beside path and put over it by Finish: a library that is not finished (a
  // full disk, a failed tile, a process killed meanwhile) leaves neither a partial file nor a
  // damaged one that was at path.
  const size_t slash = path.find_last_of('/');
  const std::string directory =
      slash == std::string::npos ? std::string(".") : (slash == 0 ? std::string("/") : path.substr(0, slash));
  platform::File file = platform::File::CreateDraft(directory, ".TexPart");
  if (!file.valid()) return {};
  TextureLibraryWriter writer = Start(std::move(file), *start);
  if (writer.valid()) writer.target_ = path;
  return writer;
}

TextureLibraryWriter TextureLibraryWriter::CreateTemporary(const std::string& directory,
                                                           const std::string& rasterPath,
                                                           uint32_t gridRows, uint32_t gridCols,
                                                           int pixelFormat,
                                                           const TileTable& table) {
  const auto start = PrepareLibraryStart(rasterPath, gridRows, gridCols, pixelFormat, table);
  if (!start) return {};
  platform::File file = platform::File::CreateReopenableTemporary(directory, "Tex");
  if (!file.valid()) return {};
  return Start(std::move(file), *start);
}

TextureLibraryWriter TextureLibraryWriter::Start(platform::File file,
                                                 const TextureLibraryStart& start) {
  TextureLibraryWriter writer;
  writer.path_ = file.path();
  writer.file_ = std::move(file);
  writer.info_ = start.info;
  writer.tileBytes_ = start.tileBytes;
  writer.tileCount_ = uint32_t(start.stored.size());
  if (!writer.file_.Append(&start.raw, sizeof start.raw) ||
      !writer.file_.Append(start.stored.data(), start.stored.size() * sizeof(TileEntry))) {
    writer.Discard();  // deletes the partial file
  }
  return writer;
}

bool TextureLibraryWriter::WriteTile(const void* pixels, size_t size) {
  if (!file_.valid() || failed_ || written_ >= tileCount_ || size != tileBytes_ ||
      pixels == nullptr) {
    return false;
  }
  if (!file_.Append(pixels, size)) {
    failed_ = true;
    return false;
  }
  ++written_;
  return true;
}

bool TextureLibraryWriter::WriteRgbTile(const uint8_t* rgb, size_t size) {
  const size_t pixels = size_t(info_.tileWidth) * info_.tileHeight;
  if (!file_.valid() || rgb == nullptr || size != pixels * 3) return false;
  packed_.resize(tileBytes_);
  PackPixels(info_.pixelFormat, rgb, pixels, packed_.data());
  return WriteTile(packed_.data(), packed_.size());
}

bool TextureLibraryWriter::Finish() {
  if (!file_.valid() || failed_ || written_ != tileCount_) return false;
  if (!target_.empty()) {
    if (!file_.ReplaceFile(target_)) {  // deletes the written file
      file_.Close();
      path_.clear();
      return false;
    }
    path_ = target_;
  }
  if (!file_.unnamed()) file_.Close();
  packed_.clear();
  packed_.shrink_to_fit();
  return true;
}

// ---- Reading --------------------------------------------------------------------------------

TextureInfo TextureLibrary::info() const {
  return TextureInfo{header_.tileWidth, header_.tileHeight, header_.pixelFormat,
                     header_.bytesPerPixel, header_.planeTiling};
}

bool TextureLibrary::ReadTile(int n, void* buffer, size_t bufferSize) const {
  if (!file_.valid() || buffer == nullptr || n < 0 || size_t(n) >= tiles_.size() ||
      bufferSize < tileBytes_) {
    return false;
  }
  return file_.ReadAt(dataOffset_ + uint64_t(n) * tileBytes_, buffer, tileBytes_);
}

void TextureLibrary::Close() {
  file_.Close();
  tiles_.clear();
  tiles_.shrink_to_fit();
  tileBytes_ = 0;
  dataOffset_ = 0;
  tileRows_ = tileCols_ = 0;
}

MessageId LibraryFitProblem(const TextureLibraryHeader& header, bool plane, int32_t rows,
                            int32_t cols) {
  if (plane) return header.planeTiling == 1 ? MessageId::kNone : MessageId::kNotPlaneTexture;
  if (header.planeTiling == 0 && int64_t(header.gridRows) == rows &&
      int64_t(header.gridCols) == cols) {
    return MessageId::kNone;
  }
  return MessageId::kTextureLibraryMismatch;
}

MessageId LibraryPixelFormatProblem(const TextureInfo& info, int requestedFormat) {
  return info.pixelFormat == requestedFormat ? MessageId::kNone
                                             : MessageId::kTextureLibraryPixelFormat;
}

bool IsTextureLibraryPath(const std::string& path) {
  const std::string name = FileNamePart(path);
  if (name.size() < 4) return false;
  const char* ext = name.c_str() + name.size() - 4;
  return ext[0] == '.' && (ext[1] == 't' || ext[1] == 'T') && (ext[2] == 'e' || ext[2] == 'E') &&
         (ext[3] == 'x' || ext[3] == 'X');
}

TextureLibrary TextureLibrary::Load(const std::string& path, bool checkFit, bool plane,
                                    int32_t* rows, int32_t* cols, MessageId* problem) {
  MessageId unused = MessageId::kNone;
  if (problem == nullptr) problem = &unused;
  *problem = MessageId::kNone;
  TextureLibrary library;
  platform::File file = platform::File::Open(path, false);
  if (!file.valid()) return library;
  const auto invalid = [problem] {
    *problem = MessageId::kInvalidTextureLibrary;
    return TextureLibrary();
  };

  TextureLibraryFileHeader raw;
  if (!file.ReadAt(0, raw.tag, sizeof raw.tag) ||
      std::memcmp(raw.tag, kTextureLibraryTag, sizeof raw.tag) != 0) {
    return invalid();
  }
  if (!file.ReadAt(0, &raw, sizeof raw)) return invalid();

  TextureLibraryHeader header;
  const void* nameEnd = std::memchr(raw.sourceName, 0, sizeof raw.sourceName);
  if (nameEnd == nullptr) return invalid();
  const char* name = raw.sourceName;
  header.sourceName.assign(name, static_cast<const char*>(nameEnd));
  header.gridRows = Little32(raw.gridRows);
  header.gridCols = Little32(raw.gridCols);
  header.tileCount = Little32(raw.tileCount);
  header.tileWidth = Little16(raw.tileWidth);
  header.tileHeight = Little16(raw.tileHeight);
  header.pixelFormat = raw.pixelFormat;
  header.bytesPerPixel = raw.bytesPerPixel;
  header.planeTiling = raw.planeTiling;

  // The fields on their own.
  if (BytesPerPixel(header.pixelFormat) == 0 ||
      header.bytesPerPixel != BytesPerPixel(header.pixelFormat) || header.planeTiling > 1 ||
      header.tileWidth != header.tileHeight) {
    return invalid();
  }
  const bool planeTiling = header.planeTiling == 1;
  const auto count =
      ExpectedTileCount(header.gridRows, header.gridCols, header.tileWidth, planeTiling);
  if (!count) return invalid();

  if (checkFit) {
    *problem = LibraryFitProblem(header, plane, rows != nullptr ? *rows : 0,
                                 cols != nullptr ? *cols : 0);
    if (*problem != MessageId::kNone) return TextureLibrary();
  }

  // The table and the pixels must all be in the file before anything is sized from them.
  const uint64_t tileBytes = uint64_t(header.tileWidth) * header.tileHeight * header.bytesPerPixel;
  const uint64_t dataOffset = kTextureHeaderSize + uint64_t(kTileEntrySize) * header.tileCount;
  if (header.tileCount != *count || header.tileCount == 0 ||
      file.Size() < dataOffset + tileBytes * header.tileCount) {
    return invalid();
  }
  std::vector<TileEntry> tiles(header.tileCount);
  if (!file.ReadAt(kTextureHeaderSize, tiles.data(), tiles.size() * sizeof(TileEntry))) {
    return invalid();
  }
  std::transform(tiles.begin(), tiles.end(), tiles.begin(), LittleEntry);
  const auto expected =
      ExpectedTileTable(header.gridRows, header.gridCols, header.tileWidth, planeTiling);
  if (!expected || !std::equal(tiles.begin(), tiles.end(), expected->tiles.begin(),
                               expected->tiles.end(), SameEntry)) {
    return invalid();
  }

  if (checkFit && plane) {
    if (rows != nullptr) *rows = int32_t(header.gridRows);
    if (cols != nullptr) *cols = int32_t(header.gridCols);
  }

  // The source image lies beside the library. Only the recorded name's file part is used, so a
  // crafted name cannot point elsewhere.
  const std::string sourceFile = FileNamePart(header.sourceName);
  if (!sourceFile.empty() && sourceFile != "." && sourceFile != "..") {
    const size_t slash = path.find_last_of('/');
    library.rasterPath_ =
        slash == std::string::npos ? sourceFile : path.substr(0, slash + 1) + sourceFile;
  }
  library.file_ = std::move(file);
  library.header_ = std::move(header);
  library.tiles_ = std::move(tiles);
  library.tileBytes_ = size_t(tileBytes);
  library.dataOffset_ = dataOffset;
  library.tileRows_ = expected->tileRows;
  library.tileCols_ = expected->tileCols;
  return library;
}

TextureLibrary OpenTextureLibrary(const std::string& path, int32_t* rows, int32_t* cols,
                                  bool plane, MessageId* problem) {
  return TextureLibrary::Load(path, true, plane, rows, cols, problem);
}

TextureLibrary ReopenTextureData(const std::string& path, MessageId* problem) {
  return TextureLibrary::Load(path, false, false, nullptr, nullptr, problem);
}

bool ReadTile(const TextureLibrary* library, int n, void* buffer, size_t bufferSize) {
  return library != nullptr && library->valid() && library->ReadTile(n, buffer, bufferSize);
}

}  // namespace t3d
