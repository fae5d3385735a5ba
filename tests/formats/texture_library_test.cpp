// Texture library files: tile tables, pixel formats, writing and reading back, the checks of a
// library against its use, and corrupt, cut and mutated files.
#include "formats/texture_library.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "killed_child.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

// Tile entries compare and print field by field in the checks below.
bool operator==(const TileEntry& a, const TileEntry& b) {
  return a.rowFirst == b.rowFirst && a.rowLast == b.rowLast && a.colFirst == b.colFirst &&
         a.colLast == b.colLast && a.level == b.level;
}

std::ostream& operator<<(std::ostream& out, const TileEntry& e) {
  return out << "{" << e.rowFirst << ", " << e.rowLast << ", " << e.colFirst << ", " << e.colLast
             << ", " << e.level << "}";
}

namespace {

namespace fs = std::filesystem;

std::vector<int>* g_messages = nullptr;

int TN_CALL Capture(void*, int id, unsigned, const char*, const char*) {
  if (g_messages != nullptr) g_messages->push_back(id);
  return TN_IDNO;
}

// Opening as texture preparation does it: the problem the reader reports is shown, and the test
// sees its number among the messages.
TextureLibrary Opened(const std::string& path, int32_t* rows, int32_t* cols, bool plane) {
  MessageId problem = MessageId::kNone;
  TextureLibrary library = OpenTextureLibrary(path, rows, cols, plane, &problem);
  if (!library.valid()) ShowMessage(problem);
  return library;
}
TextureLibrary Reopened(const std::string& path) {
  MessageId problem = MessageId::kNone;
  TextureLibrary library = ReopenTextureData(path, &problem);
  if (!library.valid()) ShowMessage(problem);
  return library;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

// Little-endian fields of the file's bytes.
template <typename T>
T At(const std::vector<uint8_t>& b, size_t at) {
  T v = 0;
  for (size_t k = 0; k < sizeof(T); ++k) v = T(v | T(b[at + k]) << (8 * k));
  return v;
}
uint32_t U32At(const std::vector<uint8_t>& b, size_t at) { return At<uint32_t>(b, at); }
uint16_t U16At(const std::vector<uint8_t>& b, size_t at) { return At<uint16_t>(b, at); }

template <typename T>
void Put(std::vector<uint8_t>& b, size_t at, T v) {
  for (size_t k = 0; k < sizeof(T); ++k) b[at + k] = uint8_t(v >> (8 * k));
}
void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) { Put(b, at, v); }
void PutU16(std::vector<uint8_t>& b, size_t at, uint16_t v) { Put(b, at, v); }

// Tile width and height both.
void PutTileSize(std::vector<uint8_t>& b, uint16_t size) {
  PutU16(b, 277, size);
  PutU16(b, 279, size);
}

// A recognisable picture per tile: every pixel depends on the tile, its row and its column.
std::vector<uint8_t> TilePicture(uint32_t tileSize, size_t tile) {
  std::vector<uint8_t> rgb(size_t(tileSize) * tileSize * 3);
  for (uint32_t r = 0; r < tileSize; ++r)
    for (uint32_t c = 0; c < tileSize; ++c) {
      uint8_t* p = &rgb[(size_t(r) * tileSize + c) * 3];
      p[0] = uint8_t(r * 7 + tile * 31);
      p[1] = uint8_t(c * 5 + tile * 17);
      p[2] = uint8_t((r ^ c) + tile * 3);
    }
  return rgb;
}

class TextureLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "texlibXXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    g_messages = &messages;
    tnSetMessageHandler(&Capture, nullptr);
  }
  void TearDown() override {
    tnSetMessageHandler(nullptr, nullptr);
    g_messages = nullptr;
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }

  std::string Path(const std::string& name) const { return (fs::path(dir) / name).string(); }

  // Writes every tile of the table, each its TilePicture.
  static bool WriteTiles(TextureLibraryWriter& writer, const TileTable& table) {
    return WriteRestOfTiles(writer, table);
  }
  // Writes the tiles of the table the writer has not written yet.
  static bool WriteRestOfTiles(TextureLibraryWriter& writer, const TileTable& table) {
    for (size_t n = writer.tilesWritten(); n < table.tiles.size(); ++n) {
      const auto rgb = TilePicture(table.tileSize, n);
      if (!writer.WriteRgbTile(rgb.data(), rgb.size())) return false;
    }
    return true;
  }

  // Writes a library of the table's tiles; returns its path.
  std::string WriteLibrary(const std::string& name, uint32_t rows, uint32_t cols,
                           const TileTable& table, int format,
                           const std::string& raster = "/images/source.rim") {
    const std::string path = Path(name);
    TextureLibraryWriter writer =
        TextureLibraryWriter::Create(path, raster, rows, cols, format, table);
    EXPECT_TRUE(writer.valid());
    EXPECT_TRUE(WriteTiles(writer, table));
    EXPECT_TRUE(writer.Finish());
    return path;
  }

  // The messages shown when path is refused, opened for a terrain of rows x cols, or reopened
  // as the store's own file when rows is 0.
  std::vector<int> Refusal(const std::string& path, int32_t rows = 0, int32_t cols = 0) {
    messages.clear();
    EXPECT_FALSE(rows == 0 ? Reopened(path).valid() : Opened(path, &rows, &cols, false).valid());
    return messages;
  }

  // The smallest library: a 3 x 3 grid in one 2 x 2 tile of 24-bit pixels (306 bytes).
  std::string SmallLibrary() {
    const auto table = ExpectedTileTable(3, 3, 2, false);
    EXPECT_TRUE(table.has_value());
    return WriteLibrary("small.tex", 3, 3, *table, kPixelRgb24);
  }

  std::string dir;
  std::vector<int> messages;
};

// ---- Tile tables ----------------------------------------------------------------------------

TEST(PyramidTable, ThousandRowsBySixHundredColumns) {
  const auto table = BuildTileTable(1000, 600, 8);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(table->tileSize, 256u);
  EXPECT_FALSE(table->plane);
  // Level 0: 4 tile rows x 3 tile columns, rows outermost, neighbours sharing edges; level 1:
  // 2 x 2; level 2 one tile.
  std::vector<TileEntry> expected;
  for (int16_t level = 0, span = 256, rows = 4, cols = 3; level <= 2; ++level, span *= 2) {
    for (int16_t r = 0; r < rows; ++r)
      for (int16_t c = 0; c < cols; ++c)
        expected.push_back({int16_t(r * span), int16_t((r + 1) * span), int16_t(c * span),
                            int16_t((c + 1) * span), level});
    rows = int16_t((rows + 1) / 2);
    cols = int16_t((cols + 1) / 2);
  }
  ASSERT_EQ(expected.size(), 17u);
  EXPECT_EQ(table->tiles, expected);
}

TEST(PyramidTable, ShapeHoldsForManyGrids) {
  // Grids with the tile size, tile count and last tile expected of them (0: any), and grids
  // whose table is no more than the shape below.
  struct Case {
    uint32_t rows, cols;
    int exponent;
    uint32_t tileSize, count;
    TileEntry last;
  };
  const TileEntry kAny{0, 0, 0, 0, 0}, kOne256{0, 256, 0, 256, 0};
  const Case cases[] = {
      // A grid within the largest tile is that one tile, reaching past its last row and column;
      // 257 samples still fit one.
      {2, 2, 8, 256, 1, kOne256},
      {3, 3, 8, 256, 1, kOne256},
      {100, 100, 8, 256, 1, kOne256},
      {255, 255, 8, 256, 1, kOne256},
      {256, 256, 8, 256, 1, kOne256},
      {257, 257, 8, 256, 1, kOne256},
      {1000, 600, 10, 1024, 1, {0, 1024, 0, 1024, 0}},
      // Past the largest tile: tiles no larger than the smaller side.
      {258, 100, 8, 64, 0, kAny},
      // Three columns: tiles of 2, and from level 1 on fewer than two columns are left.
      {1000, 3, 8, 2, 500, {998, 1000, 0, 2, 0}},
      // 33 columns: tiles of 32; levels 0 to 4 have one tile column each, level 5 none.
      {4097, 33, 8, 32, 128 + 64 + 32 + 16 + 8, {3584, 4096, 0, 512, 4}},
      // The exponent is clamped to 8 .. 14.
      {1000, 600, 3, 256, 17, {0, 1024, 0, 1024, 2}},
      {16385, 9000, 40, 8192, 5, {0, 16384, 0, 16384, 1}},  // 2^14 halved while above 9000
      {12000, 9000, 40, 16384, 1, {0, 16384, 0, 16384, 0}},
      {100, 37, 8, 0, 0, kAny},
      {258, 300, 8, 0, 0, kAny},
      {515, 515, 8, 0, 0, kAny},
      {600, 1000, 8, 0, 0, kAny},
      {4097, 300, 8, 0, 0, kAny},
      {9000, 12000, 8, 0, 0, kAny},
      {16385, 16385, 8, 0, 0, kAny},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rows << " x " << c.cols << ", exponent " << c.exponent);
    const auto table = BuildTileTable(c.rows, c.cols, c.exponent);
    ASSERT_TRUE(table.has_value());
    const auto& tiles = table->tiles;
    ASSERT_FALSE(tiles.empty());
    if (c.tileSize != 0) {
      EXPECT_EQ(table->tileSize, c.tileSize);
    }
    if (c.count != 0) {
      EXPECT_EQ(tiles.size(), c.count);
    }
    if (c.last.rowLast != 0) {
      EXPECT_EQ(tiles.back(), c.last);
    }
    const int t = int(table->tileSize);
    ASSERT_GE(t, 2);
    ASSERT_LE(t, 1 << std::clamp(c.exponent, 8, 14));
    EXPECT_EQ(tiles.front().level, 0);
    // Levels rise one by one, rows outermost within a level, no tile twice; every tile spans
    // T * 2^level steps, starts on its level's grid and holds at least one grid cell.
    for (size_t n = 0; n < tiles.size(); ++n) {
      const TileEntry& e = tiles[n];
      if (n > 0) {
        const TileEntry& p = tiles[n - 1];
        EXPECT_TRUE(e.level == p.level || e.level == p.level + 1) << n;
        EXPECT_TRUE(e.level > p.level || e.rowFirst > p.rowFirst ||
                    (e.rowFirst == p.rowFirst && e.colFirst > p.colFirst))
            << p << " then " << e;
      }
      const int span = t << e.level;
      EXPECT_EQ(e.rowLast - e.rowFirst, span) << e;
      EXPECT_EQ(e.colLast - e.colFirst, span) << e;
      EXPECT_EQ(e.rowFirst % span, 0) << e;
      EXPECT_EQ(e.colFirst % span, 0) << e;
      EXPECT_GE(e.rowFirst, 0);
      EXPECT_GE(e.colFirst, 0);
      EXPECT_LT(e.rowFirst, int(c.rows) - 1) << e;
      EXPECT_LT(e.colFirst, int(c.cols) - 1) << e;
    }
    // Level 0 covers every grid row and column.
    int maxRow = 0, maxCol = 0;
    for (const TileEntry& e : tiles) {
      if (e.level != 0) continue;
      maxRow = std::max<int>(maxRow, e.rowLast);
      maxCol = std::max<int>(maxCol, e.colLast);
    }
    EXPECT_GE(maxRow, int(c.rows) - 1);
    EXPECT_GE(maxCol, int(c.cols) - 1);
    // The top level is one tile at the origin, unless the grid ran out of columns before it.
    const TileEntry& top = tiles.back();
    if (c.rows <= c.cols * c.cols / 2 && c.cols <= c.rows * c.rows / 2) {
      EXPECT_EQ(top.rowFirst, 0);
      EXPECT_EQ(std::count_if(tiles.begin(), tiles.end(),
                              [&](const TileEntry& e) { return e.level == top.level; }),
                1);
    }
    EXPECT_EQ(top.colFirst, 0);
    // The same table is what a reader expects of a library of this shape.
    const auto expected = ExpectedTileTable(c.rows, c.cols, table->tileSize, false);
    ASSERT_TRUE(expected.has_value());
    EXPECT_EQ(expected->tiles, tiles);
  }
  // The clamped exponent gives the table of the limit itself.
  EXPECT_EQ(BuildTileTable(1000, 600, 3)->tiles, BuildTileTable(1000, 600, 8)->tiles);
}

TEST(PyramidTable, RefusesGridsItCannotTile) {
  EXPECT_FALSE(BuildTileTable(0, 0, 8));
  EXPECT_FALSE(BuildTileTable(1, 500, 8));
  EXPECT_FALSE(BuildTileTable(500, 1, 8));
  // The top tile of a 20000-row pyramid would end at row 32768, past a 16-bit entry.
  EXPECT_FALSE(BuildTileTable(20000, 20000, 8));
  EXPECT_FALSE(BuildTileTable(40000, 300, 8));
  EXPECT_FALSE(BuildTileTable(0xFFFFFFFFu, 0xFFFFFFFFu, 14));
}

TEST(PlaneTable, TilesRowByRowHalvedToTheSmallerSide) {
  auto table = BuildPlaneTileTable(300, 600, 8);
  ASSERT_TRUE(table.has_value());
  EXPECT_TRUE(table->plane);
  EXPECT_EQ(table->tileSize, 256u);
  EXPECT_EQ(table->tileRows, 2u);
  EXPECT_EQ(table->tileCols, 3u);
  const std::vector<TileEntry> expected = {{0, 255, 0, 255, 0},     {0, 255, 256, 511, 0},
                                           {0, 255, 512, 599, 0},   {256, 299, 0, 255, 0},
                                           {256, 299, 256, 511, 0}, {256, 299, 512, 599, 0}};
  EXPECT_EQ(table->tiles, expected);
  table = BuildPlaneTileTable(100, 50, 8);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(table->tileSize, 32u);
  EXPECT_EQ(table->tileRows, 4u);
  EXPECT_EQ(table->tileCols, 2u);
  EXPECT_EQ(table->tiles.back(), (TileEntry{96, 99, 32, 49, 0}));
  table = BuildPlaneTileTable(1, 1, 8);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(table->tiles, (std::vector<TileEntry>{{0, 0, 0, 0, 0}}));
  EXPECT_FALSE(BuildPlaneTileTable(0, 10, 8));
  EXPECT_FALSE(BuildPlaneTileTable(10, 0, 8));
  EXPECT_FALSE(BuildPlaneTileTable(40000, 300, 8));
  EXPECT_TRUE(BuildPlaneTileTable(32768, 300, 8).has_value());
}

// ---- Pixel formats --------------------------------------------------------------------------

TEST(PixelFormats, PackedLayouts) {
  const int bytes[8] = {0, 3, 2, 2, 2, 4, 4, 0};
  for (int format = 0; format < 8; ++format) EXPECT_EQ(BytesPerPixel(format), bytes[format]);
  // Black, red, green, blue, white and one mixed colour (0xC8, 0x64, 0x3C).
  const uint8_t rgb[] = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0xC8, 0x64, 0x3C};
  const size_t count = sizeof rgb / 3;
  uint8_t out[4 * count];
  EXPECT_FALSE(PackPixels(0, rgb, 1, out));
  EXPECT_FALSE(UnpackPixels(9, out, 1, out));
  const uint16_t expected16[3][6] = {{0x0000, 0xF800, 0x07E0, 0x001F, 0xFFFF, 0xCB27},   // 5-6-5
                                     {0x8000, 0xFC00, 0x83E0, 0x801F, 0xFFFF, 0xE587},   // 1-5-5-5
                                     {0x0001, 0xF801, 0x07C1, 0x003F, 0xFFFF, 0xCB0F}};  // 5-5-5-1
  for (int format = 2; format <= 4; ++format) {
    ASSERT_TRUE(PackPixels(format, rgb, count, out));
    for (size_t k = 0; k < count; ++k) {
      EXPECT_EQ(out[2 * k] | out[2 * k + 1] << 8, expected16[format - 2][k])
          << "format " << format << " pixel " << k;
    }
  }
  ASSERT_TRUE(PackPixels(kPixelRgb24, rgb, count, out));
  EXPECT_EQ(0, std::memcmp(out, rgb, sizeof rgb));
  ASSERT_TRUE(PackPixels(kPixelRgba32, rgb, count, out));
  EXPECT_EQ(std::vector<uint8_t>(out + 20, out + 24),
            (std::vector<uint8_t>{0xC8, 0x64, 0x3C, 255}));
  EXPECT_EQ(out[3], 255);
  ASSERT_TRUE(PackPixels(kPixelBgra32, rgb, count, out));
  EXPECT_EQ(std::vector<uint8_t>(out + 20, out + 24),
            (std::vector<uint8_t>{0x3C, 0x64, 0xC8, 255}));
  EXPECT_EQ(std::vector<uint8_t>(out + 4, out + 8), (std::vector<uint8_t>{0, 0, 255, 255}));
}

TEST(PixelFormats, UnpackKeepsTheStoredBits) {
  std::vector<uint8_t> rgb;
  for (int v = 0; v < 256; ++v) {
    rgb.insert(rgb.end(), {uint8_t(v), uint8_t(255 - v), uint8_t(v * 3)});
  }
  const size_t count = rgb.size() / 3;
  for (int format = 1; format <= 6; ++format) {
    std::vector<uint8_t> packed(count * BytesPerPixel(format)), back(rgb.size());
    ASSERT_TRUE(PackPixels(format, rgb.data(), count, packed.data()));
    ASSERT_TRUE(UnpackPixels(format, packed.data(), count, back.data()));
    for (size_t k = 0; k < rgb.size(); ++k) {
      const int channel = int(k % 3);
      const int bits = (format == 1 || format >= 5) ? 8 : (format == 2 && channel == 1) ? 6 : 5;
      const int mask = (0xFF << (8 - bits)) & 0xFF;
      ASSERT_EQ(back[k] & mask, rgb[k] & mask) << "format " << format << " byte " << k;
      // Full-scale values widen to full scale.
      if (rgb[k] == 255) {
        ASSERT_EQ(back[k], 255) << "format " << format;
      }
    }
  }
}

// ---- Writing and reading back ---------------------------------------------------------------

class FormatRoundTrip : public TextureLibraryTest, public ::testing::WithParamInterface<int> {};

TEST_P(FormatRoundTrip, PyramidAndPlaneTilesComeBackByteForByte) {
  const int format = GetParam();
  const int bpp = BytesPerPixel(format);
  for (const bool plane : {false, true}) {
    SCOPED_TRACE(plane ? "plane" : "pyramid");
    const uint32_t rows = 300, cols = 200;
    const auto table = plane ? BuildPlaneTileTable(rows, cols, 8) : BuildTileTable(rows, cols, 8);
    ASSERT_TRUE(table.has_value());
    const std::string path = WriteLibrary(plane ? "plane.TEX" : "pyramid.tex", rows, cols, *table,
                                          format, "/data/images/valley.rim");
    const size_t tileBytes = size_t(table->tileSize) * table->tileSize * bpp;
    const size_t count = table->tiles.size();
    const std::vector<uint8_t> file = ReadBytes(path);
    ASSERT_EQ(file.size(), 284 + 10 * count + count * tileBytes);

    // The header and the table in their fixed places.
    EXPECT_EQ(0, std::memcmp(file.data(), "TEX_HEAD", 9));
    EXPECT_STREQ(reinterpret_cast<const char*>(&file[9]), "valley.rim");
    EXPECT_TRUE(std::all_of(&file[9 + 11], &file[265], [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(U32At(file, 265), rows);
    EXPECT_EQ(U32At(file, 269), cols);
    EXPECT_EQ(U32At(file, 273), count);
    EXPECT_EQ(U16At(file, 277), table->tileSize);
    EXPECT_EQ(U16At(file, 279), table->tileSize);
    EXPECT_EQ(file[281], format);
    EXPECT_EQ(file[282], bpp);
    EXPECT_EQ(file[283], plane ? 1 : 0);
    for (size_t n = 0; n < count; ++n) {
      const size_t at = 284 + 10 * n;
      const TileEntry e{int16_t(U16At(file, at)), int16_t(U16At(file, at + 2)),
                        int16_t(U16At(file, at + 4)), int16_t(U16At(file, at + 6)),
                        int16_t(U16At(file, at + 8))};
      EXPECT_EQ(e, table->tiles[n]) << n;
    }

    int32_t gridRows = plane ? 7 : int32_t(rows), gridCols = plane ? 9 : int32_t(cols);
    const TextureLibrary library = Opened(path, &gridRows, &gridCols, plane);
    ASSERT_TRUE(library.valid());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(gridRows, int32_t(rows));
    EXPECT_EQ(gridCols, int32_t(cols));
    const TextureInfo info = library.info();
    EXPECT_EQ(info.tileWidth, table->tileSize);
    EXPECT_EQ(info.tileHeight, table->tileSize);
    EXPECT_EQ(info.pixelFormat, format);
    EXPECT_EQ(info.bytesPerPixel, bpp);
    EXPECT_EQ(info.planeTiling, plane ? 1 : 0);
    EXPECT_EQ(library.tileRows(), table->tileRows);
    EXPECT_EQ(library.tileCols(), table->tileCols);
    EXPECT_TRUE(library.tiles() == table->tiles);
    EXPECT_EQ(library.tileBytes(), tileBytes);
    EXPECT_EQ(library.dataOffset(), 284 + 10 * count);
    EXPECT_EQ(library.rasterPath(), Path("valley.rim"));

    // Tile n lies at 284 + 10 * count + n * tileBytes and holds the packed picture written.
    std::vector<uint8_t> tile(tileBytes), packed(tileBytes);
    for (size_t n = 0; n < count; ++n) {
      ASSERT_TRUE(ReadTile(&library, int(n), tile.data(), tile.size())) << n;
      const auto rgb = TilePicture(table->tileSize, n);
      ASSERT_TRUE(PackPixels(format, rgb.data(), rgb.size() / 3, packed.data()));
      ASSERT_TRUE(tile == packed) << "tile " << n;
      ASSERT_EQ(0, std::memcmp(&file[284 + 10 * count + n * tileBytes], tile.data(), tileBytes));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, FormatRoundTrip, ::testing::Range(1, 7),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "Format" + std::to_string(info.param);
                         });

// A process killed while it writes a library leaves nothing beside the library's path (its
// draft has no name there); one killed once the library is finished leaves the library alone.
TEST_F(TextureLibraryTest, AKilledWriterLeavesNoDraft) {
  const auto table = BuildTileTable(300, 200, 8);
  ASSERT_TRUE(table.has_value());
  for (const bool finished : {false, true}) {
    const testgrids::KilledChild killed = testgrids::RunAndKill([&] {
      const std::string path = std::string(std::getenv("TERRAIN3D_WORK_DIR")) + "/lib.tex";
      TextureLibraryWriter writer =
          TextureLibraryWriter::Create(path, "a.rim", 300, 200, kPixelRgb24, *table);
      const auto rgb = TilePicture(table->tileSize, 0);
      if (!writer.valid() || !writer.WriteRgbTile(rgb.data(), rgb.size())) _exit(2);
      if (finished && !(WriteRestOfTiles(writer, *table) && writer.Finish())) _exit(2);
      testgrids::TellParentAndWait();
    });
    EXPECT_TRUE(killed.reached);
    EXPECT_EQ(killed.left, finished ? std::vector<std::string>{"lib.tex"} : std::vector<std::string>{});
  }
}

TEST_F(TextureLibraryTest, WriterCountsTilesAndKeepsOnlyFinishedFiles) {
  const auto table = BuildTileTable(300, 200, 8);
  ASSERT_TRUE(table.has_value());
  const std::string path = Path("partial.tex");
  {
    TextureLibraryWriter writer =
        TextureLibraryWriter::Create(path, "a.rim", 300, 200, kPixelRgb565, *table);
    ASSERT_TRUE(writer.valid());
    EXPECT_EQ(writer.tileBytes(), 128u * 128u * 2u);
    std::vector<uint8_t> tile(writer.tileBytes());
    EXPECT_FALSE(writer.WriteTile(tile.data(), tile.size() - 1));
    EXPECT_FALSE(writer.WriteRgbTile(tile.data(), tile.size()));  // not T * T * 3 bytes
    EXPECT_TRUE(writer.WriteTile(tile.data(), tile.size()));
    EXPECT_EQ(writer.tilesWritten(), 1u);
    EXPECT_FALSE(writer.Finish());  // tiles missing
  }
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::is_empty(dir));  // nothing of the unfinished library is left

  // An unfinished library leaves a library already at its path as it was; a finished one
  // replaces it.
  std::ofstream(path, std::ios::binary) << "a library of before";
  const std::vector<uint8_t> before = ReadBytes(path);
  {
    TextureLibraryWriter writer =
        TextureLibraryWriter::Create(path, "a.rim", 300, 200, kPixelRgb24, *table);
    ASSERT_TRUE(writer.valid());
    const std::vector<uint8_t> rgb(128 * 128 * 3);
    EXPECT_TRUE(writer.WriteRgbTile(rgb.data(), rgb.size()));
    EXPECT_EQ(ReadBytes(path), before);
  }
  EXPECT_EQ(ReadBytes(path), before);
  {
    TextureLibraryWriter writer =
        TextureLibraryWriter::Create(path, "a.rim", 300, 200, kPixelRgb24, *table);
    ASSERT_TRUE(WriteTiles(writer, *table));
    ASSERT_TRUE(writer.Finish());
    EXPECT_EQ(writer.path(), path);
  }
  EXPECT_TRUE(Reopened(path).valid());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  fs::remove(path);

  // A temporary library has no name in its directory: once finished it is read by its path
  // while the writer holds it, and lives on in the reader's descriptor.
  TextureLibraryWriter writer =
      TextureLibraryWriter::CreateTemporary(dir, "/x/photo.rim", 300, 200, kPixelRgb24, *table);
  ASSERT_TRUE(writer.valid());
  EXPECT_TRUE(writer.unnamed());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 0);
  EXPECT_EQ(writer.info().tileWidth, 128);
  ASSERT_TRUE(WriteTiles(writer, *table));
  const std::vector<uint8_t> rgb(128 * 128 * 3);
  EXPECT_FALSE(writer.WriteRgbTile(rgb.data(), rgb.size()));  // one more than the table holds
  ASSERT_TRUE(writer.Finish());
  const TextureLibrary library = Reopened(writer.path());
  writer = TextureLibraryWriter();
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 0);
  ASSERT_TRUE(library.valid());
  EXPECT_EQ(library.tileCount(), table->tiles.size());
  EXPECT_EQ(fs::path(library.rasterPath()).filename(), "photo.rim");  // the name recorded
  EXPECT_TRUE(messages.empty());
}

TEST_F(TextureLibraryTest, WriterRefusesBadInputAndLeavesNoFile) {
  const auto table = BuildTileTable(300, 200, 8);
  ASSERT_TRUE(table.has_value());
  const std::string path = Path("refused.tex");
  auto create = [&](uint32_t rows, int format, const TileTable& t, const std::string& raster) {
    return TextureLibraryWriter::Create(path, raster, rows, 200, format, t).valid();
  };
  EXPECT_FALSE(create(300, 7, *table, "a.rim"));  // unknown pixel format
  // A table that is not the table of this grid.
  EXPECT_FALSE(create(600, 1, *table, "a.rim"));
  TileTable edited = *table;
  edited.tiles[3].colLast += 1;
  EXPECT_FALSE(create(300, 1, edited, "a.rim"));
  edited = *table;
  edited.tiles.pop_back();
  EXPECT_FALSE(create(300, 1, edited, "a.rim"));
  // A name that cannot be stored with its terminating zero.
  EXPECT_FALSE(create(300, 1, *table, "/d/" + std::string(256, 'n')));
  EXPECT_FALSE(fs::exists(path));
  // A directory that does not exist.
  EXPECT_FALSE(
      TextureLibraryWriter::Create(Path("no/such/dir.tex"), "a.rim", 300, 200, 1, *table).valid());
  EXPECT_FALSE(
      TextureLibraryWriter::CreateTemporary(Path("missing"), "a.rim", 300, 200, 1, *table).valid());
  // A name of 255 bytes fits.
  EXPECT_TRUE(create(300, 1, *table, "/d/" + std::string(255, 'n')));
}

// ---- Checks against the use ----------------------------------------------------------------

TEST_F(TextureLibraryTest, LibraryMustSuitItsUse) {
  const auto pyramid = BuildTileTable(300, 200, 8);
  const auto planeTable = BuildPlaneTileTable(300, 200, 8);
  ASSERT_TRUE(pyramid && planeTable);
  const std::string terrainPath = WriteLibrary("terrain.tex", 300, 200, *pyramid, kPixelRgb24);
  const std::string planePath = WriteLibrary("flat.tex", 300, 200, *planeTable, kPixelRgb24);

  // A pyramid library cannot texture a flat scene: message 19; the caller's sizes stay.
  int32_t rows = 300, cols = 200;
  EXPECT_FALSE(Opened(terrainPath, &rows, &cols, true).valid());
  EXPECT_EQ(messages, std::vector<int>{19});
  EXPECT_EQ(rows, 300);
  // A plane library cannot texture a terrain, even of the same size: message 16.
  messages.clear();
  EXPECT_FALSE(Opened(planePath, &rows, &cols, false).valid());
  EXPECT_EQ(messages, std::vector<int>{16});
  // A pyramid over another grid: message 16.
  const std::pair<int32_t, int32_t> otherGrids[] = {{301, 200}, {300, 199}, {200, 300}, {-300, 200}};
  for (const auto& [otherRows, otherCols] : otherGrids)
    EXPECT_EQ(Refusal(terrainPath, otherRows, otherCols), std::vector<int>{16}) << otherRows;
  // A file that does not exist fails without a message.
  EXPECT_TRUE(Refusal(Path("absent.tex"), rows, cols).empty());
  EXPECT_TRUE(Refusal(Path("absent.tex")).empty());
  // The store's own file reopens whatever its tiling.
  EXPECT_TRUE(Reopened(planePath).valid());
  EXPECT_TRUE(Reopened(terrainPath).valid());
  EXPECT_TRUE(messages.empty());
  // A library in another pixel format than the one asked for: message 18.
  const TextureInfo info{256, 256, kPixelRgba5551, 2, 0};
  EXPECT_EQ(LibraryPixelFormatProblem(info, kPixelRgba5551), MessageId::kNone);
  EXPECT_EQ(LibraryPixelFormatProblem(info, kPixelRgb24), MessageId::kTextureLibraryPixelFormat);
  // Reading a library shows nothing itself.
  messages.clear();
  MessageId problem = MessageId::kNone;
  EXPECT_FALSE(OpenTextureLibrary(planePath, &rows, &cols, false, &problem).valid());
  EXPECT_EQ(problem, MessageId::kTextureLibraryMismatch);
  EXPECT_TRUE(messages.empty());
}

TEST(TextureLibraryPaths, ExtensionIgnoresCase) {
  for (const char* path : {"/a/b/valley.tex", "VALLEY.TEX", "v.Tex"})
    EXPECT_TRUE(IsTextureLibraryPath(path)) << path;
  for (const char* path : {"valley.rim", "valley.tex.bak", "/dir.tex/valley", "tex"})
    EXPECT_FALSE(IsTextureLibraryPath(path)) << path;
}

// ---- Corrupt files --------------------------------------------------------------------------

TEST_F(TextureLibraryTest, ReadTileStaysInsideTheLibrary) {
  const std::string path = SmallLibrary();
  int32_t rows = 3, cols = 3;
  TextureLibrary library = Opened(path, &rows, &cols, false);
  ASSERT_TRUE(library.valid());
  ASSERT_EQ(library.tileBytes(), 12u);
  uint8_t buffer[12];
  EXPECT_TRUE(ReadTile(&library, 0, buffer, sizeof buffer));
  EXPECT_FALSE(ReadTile(&library, 1, buffer, sizeof buffer));
  EXPECT_FALSE(ReadTile(&library, -1, buffer, sizeof buffer));
  EXPECT_FALSE(ReadTile(&library, 0, buffer, sizeof buffer - 1));
  EXPECT_FALSE(ReadTile(&library, 0, nullptr, sizeof buffer));
  EXPECT_FALSE(ReadTile(nullptr, 0, buffer, sizeof buffer));
  library.Close();
  EXPECT_FALSE(library.valid());
  EXPECT_FALSE(ReadTile(&library, 0, buffer, sizeof buffer));
}

TEST_F(TextureLibraryTest, CorruptFieldsAreRefusedWithMessage15) {
  const auto table = BuildTileTable(300, 200, 8);
  ASSERT_TRUE(table.has_value());
  const std::string good = WriteLibrary("good.tex", 300, 200, *table, kPixelRgb565);
  const std::vector<uint8_t> original = ReadBytes(good);
  ASSERT_GT(table->tiles.size(), 1u);

  struct Corruption {
    const char* what;
    void (*apply)(std::vector<uint8_t>&);
  };
  const Corruption cases[] = {
      {"tag", [](std::vector<uint8_t>& b) { b[3] = '-'; }},
      {"tag without its zero", [](std::vector<uint8_t>& b) { b[8] = 'X'; }},
      {"name without terminator", [](std::vector<uint8_t>& b) { std::fill(&b[9], &b[265], 'n'); }},
      {"huge tile count", [](std::vector<uint8_t>& b) { PutU32(b, 273, 0xFFFFFFFFu); }},
      {"one tile too many", [](std::vector<uint8_t>& b) { PutU32(b, 273, U32At(b, 273) + 1); }},
      {"one tile too few", [](std::vector<uint8_t>& b) { PutU32(b, 273, U32At(b, 273) - 1); }},
      {"no tiles", [](std::vector<uint8_t>& b) { PutU32(b, 273, 0); }},
      {"tile size not a power of two", [](std::vector<uint8_t>& b) { PutTileSize(b, 100); }},
      {"tile size zero", [](std::vector<uint8_t>& b) { PutTileSize(b, 0); }},
      {"huge tiles", [](std::vector<uint8_t>& b) { PutTileSize(b, 32768); }},
      {"tiles not square", [](std::vector<uint8_t>& b) { PutU16(b, 279, 64); }},
      {"pixel format 0", [](std::vector<uint8_t>& b) { b[281] = 0; }},
      {"pixel format 7", [](std::vector<uint8_t>& b) { b[281] = 7; }},
      {"bytes per pixel wrong for format", [](std::vector<uint8_t>& b) { b[282] = 3; }},
      {"tiling 2", [](std::vector<uint8_t>& b) { b[283] = 2; }},
      {"grid rows huge", [](std::vector<uint8_t>& b) { PutU32(b, 265, 0x7FFFFFFFu); }},
      {"grid of one row", [](std::vector<uint8_t>& b) { PutU32(b, 265, 1); }},
      {"tile entry edited", [](std::vector<uint8_t>& b) { PutU16(b, 284 + 10 * 2 + 6, 4000); }},
      {"tile entry negative", [](std::vector<uint8_t>& b) { PutU16(b, 284, 0x8000); }},
      {"tile level edited", [](std::vector<uint8_t>& b) { PutU16(b, 284 + 8, 1); }},
  };
  const std::string path = Path("corrupt.tex");
  for (const Corruption& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes = original;
    c.apply(bytes);
    WriteBytes(path, bytes.data(), bytes.size());
    EXPECT_EQ(Refusal(path), std::vector<int>{15});
    // The same file opened for its terrain: still message 15 alone.
    EXPECT_EQ(Refusal(path, 300, 200), std::vector<int>{15});
  }
  // Bytes after the last tile do no harm (bytes missing there: CutFilesAreRefusedAtEveryLength).
  messages.clear();
  std::vector<uint8_t> longer = original;
  longer.resize(longer.size() + 100, 0xAB);
  WriteBytes(path, longer.data(), longer.size());
  EXPECT_TRUE(Reopened(path).valid());
  EXPECT_TRUE(messages.empty());
}

TEST_F(TextureLibraryTest, CutFilesAreRefusedAtEveryLength) {
  const std::string small = SmallLibrary();
  const std::vector<uint8_t> whole = ReadBytes(small);
  ASSERT_EQ(whole.size(), 284u + 10u + 12u);
  const std::string path = Path("cut.tex");
  for (size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    WriteBytes(path, whole.data(), length);
    EXPECT_EQ(Refusal(path, 3, 3), std::vector<int>{15});
  }
  WriteBytes(path, whole.data(), whole.size());
  EXPECT_TRUE(Reopened(path).valid());

  // A library of several tiles, cut at many lengths through its table and pixels.
  const auto table = BuildTileTable(1000, 600, 8);
  ASSERT_TRUE(table.has_value());
  const std::vector<uint8_t> big =
      ReadBytes(WriteLibrary("big.tex", 1000, 600, *table, kPixelRgb24));
  for (size_t length = 0; length < big.size(); length += 997 + length / 3) {
    SCOPED_TRACE(length);
    WriteBytes(path, big.data(), length);
    EXPECT_EQ(Refusal(path), std::vector<int>{15});
  }
}

TEST_F(TextureLibraryTest, EveryFlippedByteOutsideTheNameIsRefused) {
  const std::string small = SmallLibrary();
  const std::vector<uint8_t> whole = ReadBytes(small);
  const std::string path = Path("flipped.tex");
  const size_t pixelsAt = 284 + 10;
  for (size_t at = 0; at < whole.size(); ++at) {
    std::vector<uint8_t> bytes = whole;
    bytes[at] ^= 0xFF;
    WriteBytes(path, bytes.data(), bytes.size());
    messages.clear();
    const TextureLibrary library = Reopened(path);
    if ((at >= 9 && at < 265) || at >= pixelsAt) {
      // The recorded name and the pixels carry no structure.
      ASSERT_TRUE(library.valid()) << at;
      uint8_t tile[12];
      EXPECT_TRUE(ReadTile(&library, 0, tile, sizeof tile));
      EXPECT_TRUE(messages.empty());
    } else {
      EXPECT_FALSE(library.valid()) << at;
      EXPECT_EQ(messages, std::vector<int>{15}) << at;
    }
  }
}

TEST_F(TextureLibraryTest, RandomMutationsNeverReadPastTheFile) {
  const auto table = BuildPlaneTileTable(40, 24, 8);
  ASSERT_TRUE(table.has_value());
  const std::vector<uint8_t> whole =
      ReadBytes(WriteLibrary("plane.tex", 40, 24, *table, kPixelBgra32));
  const std::string path = Path("mutated.tex");
  std::mt19937 random(20240611);
  int opened = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> bytes = whole;
    const int edits = 1 + int(random() % 4);
    for (int e = 0; e < edits; ++e) {
      // Mostly the header and the table, where the structure is.
      const size_t span = (random() % 4 == 0)
                              ? bytes.size()
                              : std::min<size_t>(bytes.size(), 284 + 10 * table->tiles.size());
      bytes[random() % span] = uint8_t(random());
    }
    if (random() % 5 == 0) bytes.resize(random() % (bytes.size() + 1));
    WriteBytes(path, bytes.data(), bytes.size());
    int32_t rows = 0, cols = 0;
    const TextureLibrary library = Opened(path, &rows, &cols, true);
    if (!library.valid()) continue;
    ++opened;
    // Whatever opened is consistent with the file.
    ASSERT_LE(library.dataOffset() + uint64_t(library.tileCount()) * library.tileBytes(),
              bytes.size());
    ASSERT_EQ(library.tileCount(), library.tileRows() * library.tileCols());
    std::vector<uint8_t> tile(library.tileBytes());
    for (uint32_t n = 0; n < library.tileCount(); ++n) {
      ASSERT_TRUE(ReadTile(&library, int(n), tile.data(), tile.size()));
    }
  }
  EXPECT_GT(opened, 0);  // edits of the name and the pixels keep the file valid
}

}  // namespace
}  // namespace t3d
