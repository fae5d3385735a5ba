// Texture library files: one raster image cut into square tiles, already in the pixel format in
// which the tiles are uploaded, with a table of the grid squares the tiles cover.
//
// File layout (little-endian, no padding):
//   0    9 bytes     tag "TEX_HEAD" and a zero byte
//   9    256 bytes   source image file name (no directory), zero-terminated, rest zero
//   265  u32         grid rows          269  u32  grid columns       273  u32  tile count
//   277  u16         tile width         279  u16  tile height (always equal to the width)
//   281  u8          pixel format 1..6  282  u8   bytes per pixel    283  u8   plane tiling 0/1
//   284  10 bytes    per tile: i16 rowFirst, rowLast, colFirst, colLast, level
//   then tile width x tile height x bytes per pixel per tile, in table order.
//
// Two tilings exist. Pyramid tiling (terrain textures): square tiles of T x T pixels spanning
// T * 2^level grid steps, neighbours sharing their edge row and column, level 0 first, the last
// level one tile over the whole grid. Plane tiling (flat scenes): non-overlapping tiles of T x T
// grid cells, row of tiles after row of tiles, black beyond the grid's top and right edges.
//
// Every library is checked whole when it is opened: the header's fields, the tile table against
// the table its header implies, and the file's length against all tiles' pixels. A library that
// fails is refused with message 15, so reading a tile of an open library never runs past the
// file and no buffer is ever sized from an unchecked field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"
#include "platform/file_mapping.h"

namespace t3d {

// ---- Pixels -------------------------------------------------------------------------------

// Pixel format codes of a library.
enum PixelFormatCode : int {
  kPixelRgb24 = 1,     // red, green, blue bytes
  kPixelRgb565 = 2,    // u16: r5 in bits 11-15, g6 in 5-10, b5 in 0-4
  kPixelArgb1555 = 3,  // u16: bit 15 set, r5 in 10-14, g5 in 5-9, b5 in 0-4
  kPixelRgba5551 = 4,  // u16: r5 in 11-15, g5 in 6-10, b5 in 1-5, bit 0 set
  kPixelRgba32 = 5,    // red, green, blue, 255
  kPixelBgra32 = 6,    // blue, green, red, 255
};

// Bytes per pixel of a format: 3, 2 or 4; 0 for an unknown code.
int BytesPerPixel(int pixelFormat);

// Converts count pixels of red, green, blue bytes into format (count * BytesPerPixel bytes at
// out; 16-bit values little-endian). False for an unknown format.
bool PackPixels(int pixelFormat, const uint8_t* rgb, size_t count, uint8_t* out);

// Converts count pixels of format back into red, green, blue bytes; components of the 16-bit
// formats are widened by repeating their top bits. False for an unknown format.
bool UnpackPixels(int pixelFormat, const uint8_t* packed, size_t count, uint8_t* rgb);

// ---- Records ------------------------------------------------------------------------------

#pragma pack(push, 1)
// One tile of the table; rows and columns are full-resolution grid indices, both ends included.
// Grid row 0 is the row of smallest y (the last line of the source image).
struct TileEntry {
  int16_t rowFirst;
  int16_t rowLast;
  int16_t colFirst;
  int16_t colLast;
  int16_t level;
};

// What a producer or an opened library tells its caller about the tiles.
struct TextureInfo {
  uint16_t tileWidth;
  uint16_t tileHeight;
  uint8_t pixelFormat;
  uint8_t bytesPerPixel;
  uint8_t planeTiling;
};

// The header as stored at the start of the file.
struct TextureLibraryFileHeader {
  char tag[9];
  char sourceName[256];
  uint32_t gridRows;
  uint32_t gridCols;
  uint32_t tileCount;
  uint16_t tileWidth;
  uint16_t tileHeight;
  uint8_t pixelFormat;
  uint8_t bytesPerPixel;
  uint8_t planeTiling;
};
#pragma pack(pop)

static_assert(sizeof(TileEntry) == 10, "a tile entry is five 16-bit values");
static_assert(sizeof(TextureInfo) == 7, "the texture info record is 7 bytes");
static_assert(sizeof(TextureLibraryFileHeader) == 284, "the library header is 284 bytes");
static_assert(offsetof(TextureLibraryFileHeader, sourceName) == 9, "header layout");
static_assert(offsetof(TextureLibraryFileHeader, gridRows) == 265, "header layout");
static_assert(offsetof(TextureLibraryFileHeader, gridCols) == 269, "header layout");
static_assert(offsetof(TextureLibraryFileHeader, tileCount) == 273, "header layout");
static_assert(offsetof(TextureLibraryFileHeader, tileWidth) == 277, "header layout");
static_assert(offsetof(TextureLibraryFileHeader, tileHeight) == 279, "header layout");
static_assert(offsetof(TextureLibraryFileHeader, pixelFormat) == 281, "header layout");
static_assert(offsetof(TextureLibraryFileHeader, bytesPerPixel) == 282, "header layout");
static_assert(offsetof(TextureLibraryFileHeader, planeTiling) == 283, "header layout");

constexpr char kTextureLibraryTag[9] = {'T', 'E', 'X', '_', 'H', 'E', 'A', 'D', '\0'};
constexpr uint32_t kTextureHeaderSize = sizeof(TextureLibraryFileHeader);
constexpr uint32_t kTileEntrySize = sizeof(TileEntry);

// Largest tile exponent and tile edge (2^14 pixels).
constexpr int kMinTileExponent = 8;
constexpr int kMaxTileExponent = 14;
constexpr uint32_t kMaxTileSize = 1u << kMaxTileExponent;
// Tile entries are signed 16-bit, so no grid index beyond 32767 can be stored: grids have at
// most 32768 rows and columns (pyramids fewer, as their top tile reaches past the grid).
constexpr uint32_t kMaxTileCoordinate = 32767;
constexpr uint32_t kMaxGridSize = kMaxTileCoordinate + 1;

// ---- Tile tables --------------------------------------------------------------------------

struct TileTable {
  uint32_t tileSize = 0;  // T: pixels per tile edge
  bool plane = false;     // plane tiling
  uint32_t tileRows = 0;  // plane tiling: rows and columns of tiles
  uint32_t tileCols = 0;
  std::vector<TileEntry> tiles;
};

// The pyramid over a grid of rows x cols with the largest tile M = 2^maxExponent (exponent
// clamped to 8..14): a grid of at most M rows and columns is the one tile {0, M, 0, M, 0}; a
// larger grid has tiles of M halved while larger than its smaller side. Empty when the grid has
// fewer than 2 rows or columns or when a tile would reach past grid index 32767. A grid much longer
// than wide (rows above about cols^2 / 2, or the reverse) runs out of columns before its top level:
// its coarse levels hold no tiles.
std::optional<TileTable> BuildTileTable(uint32_t rows, uint32_t cols, int maxExponent);

// The plane tiling of an image of lines x cells: T = 2^maxExponent (exponent clamped to 8..14),
// halved while larger than the smaller side. Empty for an empty image or one of more than 32768
// lines or cells.
std::optional<TileTable> BuildPlaneTileTable(uint32_t lines, uint32_t cells, int maxExponent);

// The table a library of this shape holds, given its tile size; empty when no valid library has
// this shape. Used to check the tables of opened files.
std::optional<TileTable> ExpectedTileTable(uint32_t rows, uint32_t cols, uint32_t tileSize,
                                           bool plane);

// ---- Writing ------------------------------------------------------------------------------

struct TextureLibraryStart;

// Writes one library: the header and the table when it is created, then every tile's pixels in
// table order, one tile at a time. A writer destroyed before Finish succeeded deletes its file.
class TextureLibraryWriter {
 public:
  TextureLibraryWriter() = default;
  ~TextureLibraryWriter();
  TextureLibraryWriter(TextureLibraryWriter&& other) noexcept;
  TextureLibraryWriter& operator=(TextureLibraryWriter&& other) noexcept;
  TextureLibraryWriter(const TextureLibraryWriter&) = delete;
  TextureLibraryWriter& operator=(const TextureLibraryWriter&) = delete;

  // Starts the library at path (created, or replaced when Finish succeeds: until then it is
  // written as a draft in path's directory, unnamed where the system allows, and a file at path
  // stays as it was).
  // rasterPath names the source image, whose file name is recorded; gridRows and gridCols are the
  // grid the table was built for. Invalid when the format is unknown, the table does not fit the
  // grid, the name is longer than 255 bytes or the file cannot be written.
  static TextureLibraryWriter Create(const std::string& path, const std::string& rasterPath,
                                     uint32_t gridRows, uint32_t gridCols, int pixelFormat,
                                     const TileTable& table);
  // The same in a temporary file in directory: an unnamed one where the system allows (nothing
  // is left of it once closed, also when the process is killed), else "<directory>/TexXXXXXX".
  static TextureLibraryWriter CreateTemporary(const std::string& directory,
                                              const std::string& rasterPath, uint32_t gridRows,
                                              uint32_t gridCols, int pixelFormat,
                                              const TileTable& table);

  bool valid() const { return file_.valid(); }
  const std::string& path() const { return path_; }
  // True while the file is an unnamed temporary one (see CreateTemporary).
  bool unnamed() const { return file_.unnamed(); }
  TextureInfo info() const { return info_; }
  size_t tileBytes() const { return tileBytes_; }
  uint32_t tilesWritten() const { return written_; }

  // Appends the next tile, size bytes already in the library's pixel format (size must be
  // tileBytes). False when all tiles are written, the size differs or the write fails.
  bool WriteTile(const void* pixels, size_t size);
  // Appends the next tile from T x T red, green, blue pixels (size must be T * T * 3).
  bool WriteRgbTile(const uint8_t* rgb, size_t size);

  // Closes the file once every tile is written; the file then stays (under the path given to
  // Create). False otherwise, and when the finished file cannot be put in place. An unnamed
  // temporary file stays open until the writer is destroyed, since closing it ends it: it can
  // be opened again by path() meanwhile.
  bool Finish();

 private:
  static TextureLibraryWriter Start(platform::File file, const TextureLibraryStart& start);
  void Discard();

  platform::File file_;
  std::string path_;
  TextureInfo info_{};
  size_t tileBytes_ = 0;
  uint32_t tileCount_ = 0;
  uint32_t written_ = 0;
  bool failed_ = false;
  std::vector<uint8_t> packed_;
  std::string target_;  // Create's path, which the finished file replaces
};

// ---- Reading ------------------------------------------------------------------------------

// The header of a library, decoded.
struct TextureLibraryHeader {
  std::string sourceName;
  uint32_t gridRows = 0;
  uint32_t gridCols = 0;
  uint32_t tileCount = 0;
  uint16_t tileWidth = 0;
  uint16_t tileHeight = 0;
  uint8_t pixelFormat = 0;
  uint8_t bytesPerPixel = 0;
  uint8_t planeTiling = 0;
};

// An open library: the file stays open and tiles are read from it by number.
class TextureLibrary {
 public:
  bool valid() const { return file_.valid(); }
  const std::string& path() const { return file_.path(); }
  const TextureLibraryHeader& header() const { return header_; }
  TextureInfo info() const;
  // The source image: the library's directory joined with the recorded file name.
  const std::string& rasterPath() const { return rasterPath_; }
  const std::vector<TileEntry>& tiles() const { return tiles_; }
  uint32_t tileCount() const { return uint32_t(tiles_.size()); }
  size_t tileBytes() const { return tileBytes_; }
  uint64_t dataOffset() const { return dataOffset_; }
  // Plane tiling: rows and columns of tiles (0 for a pyramid).
  uint32_t tileRows() const { return tileRows_; }
  uint32_t tileCols() const { return tileCols_; }

  // Reads tile n's pixels into buffer (at least tileBytes bytes). False with no open library,
  // for a tile number outside the table, a smaller buffer or a failed read.
  bool ReadTile(int n, void* buffer, size_t bufferSize) const;

  void Close();

 private:
  friend TextureLibrary OpenTextureLibrary(const std::string& path, int32_t* rows, int32_t* cols,
                                           bool plane, MessageId* problem);
  friend TextureLibrary ReopenTextureData(const std::string& path, MessageId* problem);
  // Opens and checks the library at path; with checkFit also its fit for plane or for a
  // terrain of rows x cols.
  static TextureLibrary Load(const std::string& path, bool checkFit, bool plane, int32_t* rows,
                             int32_t* cols, MessageId* problem);

  platform::File file_;
  TextureLibraryHeader header_;
  std::string rasterPath_;
  std::vector<TileEntry> tiles_;
  size_t tileBytes_ = 0;
  uint64_t dataOffset_ = 0;
  uint32_t tileRows_ = 0;
  uint32_t tileCols_ = 0;
};

// Whether a library suits its use: for a plane (flat) scene it must have plane tiling, else
// kNotPlaneTexture (message 19); for a terrain it must have pyramid tiling over exactly the
// terrain's grid, else kTextureLibraryMismatch (message 16). kNone when it suits.
MessageId LibraryFitProblem(const TextureLibraryHeader& header, bool plane, int32_t rows,
                            int32_t cols);

// kNone when a library's pixel format is the one asked for, else kTextureLibraryPixelFormat
// (message 18).
MessageId LibraryPixelFormatProblem(const TextureInfo& info, int requestedFormat);

// Whether path names a texture library by its extension (".tex", any case).
bool IsTextureLibraryPath(const std::string& path);

// Opens a library for a terrain of rows x cols (plane false) or for a plane scene (plane true,
// rows and cols are then set to the library's grid). Nothing is shown: when the library is
// invalid, *problem (when not null) is the message that tells the user why: kNone when the file
// cannot be opened; kInvalidTextureLibrary (message 15) for a file that is not a valid library
// (wrong tag, short, corrupt fields or table, pixels missing); LibraryFitProblem's message when
// it does not suit.
TextureLibrary OpenTextureLibrary(const std::string& path, int32_t* rows, int32_t* cols,
                                  bool plane, MessageId* problem = nullptr);

// Opens a library the store has just written, without comparing it to any grid; *problem as
// above.
TextureLibrary ReopenTextureData(const std::string& path, MessageId* problem = nullptr);

// Reads tile n of library into buffer of bufferSize bytes: false with no open library or when
// the tile cannot be read.
bool ReadTile(const TextureLibrary* library, int n, void* buffer, size_t bufferSize);

}  // namespace t3d
