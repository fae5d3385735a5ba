// Bad files and directories the library reads: colour tables and the sky picture of the data
// directory, the directories themselves, DEM rasters and texture sources. Each must end in a clear
// failure or a sound fallback, with no crash, no sanitizer report and no file left behind.
#include <ftw.h>
#include <gdal.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "scene/process_objects.h"
#include "terrain/colour_table.h"
#include "test_grids.h"
#include "test_scene.h"

namespace {

using testgrids::GridPath;
using testgrids::ListDirectory;
using testgrids::NorthUp;
using testgrids::ScratchEnvironment;
using testgrids::TestScene;

const auto* const kScratch = ::testing::AddGlobalTestEnvironment(new ScratchEnvironment);

std::vector<int> g_messages;
int TN_CALL Messages(void*, int id, unsigned, const char*, const char*) {
  g_messages.push_back(id);
  return TN_IDNO;
}
int g_tableChoice = 5;
int TN_CALL Dialogs(void*, int id, void* record) {
  if (id != TN_DIALOG_HEIGHT_COLOUR) return TN_DIALOG_DEFAULT;
  auto* dialog = static_cast<TnHeightColourDialog*>(record);
  dialog->customLayers = 0;
  dialog->tableNumber = int16_t(g_tableChoice);
  return 1;
}

// Sets an environment variable for the life of the guard; the old value (or its absence) comes
// back afterwards, and the environment block is rebuilt on both sides.
class EnvGuard {
 public:
  EnvGuard(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) had_ = true, old_ = old;
    setenv(name, value.c_str(), 1);
    BaseResetEnvironment();
  }
  ~EnvGuard() {
    if (had_) setenv(name_, old_.c_str(), 1);
    else unsetenv(name_);
    BaseResetEnvironment();
  }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

void RemoveTree(const std::string& path) {
  nftw(path.c_str(), [](const char* p, const struct stat*, int, FTW*) { return std::remove(p); },
       16, FTW_DEPTH | FTW_PHYS);
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
// The 8-byte header of an RGB image: height, then width, little-endian.
std::vector<uint8_t> RgbHeader(uint32_t height, uint32_t width) {
  std::vector<uint8_t> b(8);
  for (int i = 0; i < 4; ++i) b[size_t(i)] = uint8_t(height >> (8 * i)), b[size_t(4 + i)] = uint8_t(width >> (8 * i));
  return b;
}

// A copy of the bundled data directory, removed with everything in it when it goes.
class DataCopy {
 public:
  DataCopy() {
    std::string pattern = GridPath("data-XXXXXX");
    EXPECT_NE(mkdtemp(&pattern[0]), nullptr);
    root_ = pattern;
    mkdir(Lut("").c_str(), 0755);
    const std::string from = std::string(TERRAIN3D_SOURCE_DIR) + "/data/HeightLut/";
    for (const std::string& name : ListDirectory(from)) WriteBytes(Lut(name), ReadBytes(from + name));
  }
  ~DataCopy() { RemoveTree(root_); }
  DataCopy(const DataCopy&) = delete;
  DataCopy& operator=(const DataCopy&) = delete;
  const std::string& root() const { return root_; }
  std::string Lut(const std::string& name) const { return root_ + "/HeightLut/" + name; }
  // Replaces a file by what a fault leaves: 0 cut short, 1 empty, 2 a directory, 3 unreadable.
  void Spoil(const std::string& name, int fault) const {
    const std::string path = Lut(name);
    std::vector<uint8_t> bytes = ReadBytes(path);
    if (fault == 0) bytes.resize(bytes.size() / 2), WriteBytes(path, bytes);
    if (fault == 1) WriteBytes(path, {});
    if (fault == 2) std::remove(path.c_str()), mkdir(path.c_str(), 0755);
    if (fault == 3) chmod(path.c_str(), 0);
  }

 private:
  std::string root_;
};

std::string HillyGrid(const std::string& name) {
  double gt[6];
  NorthUp(gt, 1000, 5000, 30, 30);
  const std::string path = GridPath(name);
  EXPECT_TRUE(testgrids::WriteGrid(path, 65, 49, gt, GDT_Float32, [](int line, int pixel) {
    return 100 + 40 * std::sin(pixel * 0.3) * std::cos(line * 0.2);
  }));
  return path;
}

bool IsRamp(const t3d::ColourTable& table) {
  t3d::ColourTable ramp;
  t3d::FillFallbackRamp(ramp);
  return std::memcmp(&table, &ramp, sizeof ramp) == 0;
}

// A 3D frame with the sky dome, as the host's pixels.
std::vector<uint8_t> SkyFrame(TestScene& s) {
  EXPECT_EQ(SetSkyFlag(s.scene(), s.state(), 1), TN_OK);
  EXPECT_EQ(tnDrawScene(s.scene(), s.state()), TN_OK);
  return s.pixels();
}

class DataFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    g_tableChoice = 5;
  }
  void TearDown() override {
    EXPECT_TRUE(ListDirectory(ScratchEnvironment::workDir()).empty());
  }
};

// Every colour table the scene loads (the height table 5, the grey table 11, a map-area table)
// spoilt in turn: the table becomes the grey ramp, the others stay as read, and drawing, grey
// display, the plan view and the colour dialog go on. The dialog's first opening closes when the
// stored table cannot be read.
TEST_F(DataFilesTest, SpoiltColourTablesFallBackToTheGreyRamp) {
  const std::string grid = HillyGrid("tables.tif");
  const struct { const char* name; int number; } tables[] = {
      {"terrain.lut", 5}, {"newgrey.lut", 11}, {"map_1.lut", 32}};
  for (const auto& table : tables) {
    for (int fault = 0; fault < 4; ++fault) {
      if (fault == 3 && geteuid() == 0) continue;  // root reads unreadable files
      SCOPED_TRACE(std::string(table.name) + " fault " + std::to_string(fault));
      DataCopy data;
      data.Spoil(table.name, fault);
      EnvGuard env("TERRAIN3D_DATA_DIR", data.root());
      TestScene s(96, 72, &Dialogs, &Messages);
      ASSERT_TRUE(s.Prepare(grid));
      t3d::SceneState& b = s.block();
      EXPECT_EQ(IsRamp(b.heightColours.heightColourTable), table.number == 5);
      EXPECT_EQ(IsRamp(b.greyTable), table.number == 11);
      EXPECT_EQ(IsRamp(b.mapAreaTables[0]), table.number == 32);
      EXPECT_FALSE(IsRamp(b.mapAreaTables[1]));
      SkyFrame(s);
      EXPECT_EQ(SetGrayDisplayFlag(s.scene(), s.state(), 1), TN_OK);
      EXPECT_EQ(tnDrawScene(s.scene(), s.state()), TN_OK);
      EXPECT_EQ(SetGrayDisplayFlag(s.scene(), s.state(), 0), TN_OK);
      EXPECT_EQ(tnDraw2DScene(s.scene(), s.state()), TN_OK);
      // The dialog opens with the stored table (5): while it cannot be read the dialog closes
      // every time. Otherwise the tables chosen are loaded, a broken or unknown one as the ramp.
      const int opens = table.number == 5 ? TN_E_FAIL : TN_OK;
      for (int choice : {7, 5, 11, 32, 99, -1, table.number}) {
        g_tableChoice = choice;
        EXPECT_EQ(SetHeightLayerColor(s.scene(), s.state(), nullptr), opens);
        EXPECT_EQ(tnDrawScene(s.scene(), s.state()), TN_OK);
        EXPECT_EQ(tnDraw2DScene(s.scene(), s.state()), TN_OK);
      }
      EXPECT_TRUE(IsRamp(b.heightColours.heightColourTable));
      g_tableChoice = 7;
      EXPECT_EQ(SetHeightLayerColor(s.scene(), s.state(), nullptr), opens);
      EXPECT_EQ(IsRamp(b.heightColours.heightColourTable), table.number == 5);
    }
  }
}

// A sky picture that cannot be used, for whatever reason, leaves the frame exactly as without the
// file; a usable one shows.
TEST_F(DataFilesTest, UnusableSkyPictureIsSkipped) {
  const std::string grid = HillyGrid("sky.tif");
  std::vector<uint8_t> withoutSky, withSky;
  {
    DataCopy data;
    EnvGuard env("TERRAIN3D_DATA_DIR", data.root());
    TestScene s(96, 72, nullptr, &Messages);
    ASSERT_TRUE(s.Prepare(grid));
    withSky = SkyFrame(s);
    std::remove(data.Lut("Cloud.rgb").c_str());
    TestScene t(96, 72, nullptr, &Messages);
    ASSERT_TRUE(t.Prepare(grid));
    withoutSky = SkyFrame(t);
  }
  ASSERT_NE(withSky, withoutSky) << "the sky picture does not show";
  // 4: a header claiming a 16384 x 16384 picture and nothing after it; 5: a picture wider than GL
  // can hold as one texture; 6: a picture whose pixels run short; 7: height 0.
  for (int fault = 0; fault < 8; ++fault) {
    if (fault == 3 && geteuid() == 0) continue;
    SCOPED_TRACE("fault " + std::to_string(fault));
    DataCopy data;
    if (fault < 4) data.Spoil("Cloud.rgb", fault);
    std::vector<uint8_t> bytes;
    if (fault == 4) bytes = RgbHeader(16384, 16384);
    if (fault == 5) bytes = RgbHeader(1, 70000), bytes.resize(8 + 3 * 70000, 200);
    if (fault == 6) bytes = RgbHeader(256, 256), bytes.resize(8 + 3 * 256 * 100, 200);
    if (fault == 7) bytes = RgbHeader(0, 256), bytes.resize(8 + 3 * 256, 200);
    if (fault >= 4) WriteBytes(data.Lut("Cloud.rgb"), bytes);
    EnvGuard env("TERRAIN3D_DATA_DIR", data.root());
    TestScene s(96, 72, nullptr, &Messages);
    ASSERT_TRUE(s.Prepare(grid));
    EXPECT_EQ(SkyFrame(s), withoutSky);
    EXPECT_EQ(SkyFrame(s), withoutSky);  // and again, with no texture left from the first try
  }
}

// Data and work directories that are missing, files, read-only or too long for the environment
// block. A missing data directory gives the grey ramp; a working directory where no file can be
// made refuses preparation; nothing is written anywhere else.
TEST_F(DataFilesTest, BadDirectories) {
  const std::string grid = HillyGrid("dirs.tif");
  const std::string file = GridPath("plain-file");
  std::ofstream(file) << "x";
  const std::string longPath = "/tmp/" + std::string(300, 'd');
  for (const std::string& dir : {std::string("/nonexistent/t3d"), file, longPath}) {
    SCOPED_TRACE("data directory " + dir.substr(0, 40));
    EnvGuard env("TERRAIN3D_DATA_DIR", dir);
    TestScene s(96, 72, &Dialogs, &Messages);
    ASSERT_TRUE(s.Prepare(grid));
    EXPECT_TRUE(IsRamp(s.block().heightColours.heightColourTable));
    EXPECT_TRUE(IsRamp(s.block().greyTable));
    SkyFrame(s);
    EXPECT_EQ(tnDraw2DScene(s.scene(), s.state()), TN_OK);
    EXPECT_EQ(SetHeightLayerColor(s.scene(), s.state(), nullptr), TN_E_FAIL);
  }
  std::string readOnly = GridPath("readonly-XXXXXX");
  ASSERT_NE(mkdtemp(&readOnly[0]), nullptr);
  chmod(readOnly.c_str(), 0555);
  for (const std::string& dir : {std::string("/nonexistent/t3d"), file, readOnly, longPath}) {
    if (dir == readOnly && geteuid() == 0) continue;
    SCOPED_TRACE("work directory " + dir.substr(0, 40));
    EnvGuard env("TERRAIN3D_WORK_DIR", dir);
    TestScene s(96, 72, &Dialogs, &Messages);
    EXPECT_FALSE(s.Prepare(grid));
    EXPECT_EQ(tnDrawScene(s.scene(), s.state()), TN_E_FAIL);
  }
  EXPECT_TRUE(ListDirectory(readOnly).empty());
  rmdir(readOnly.c_str());
  std::remove(file.c_str());
}

// DEM rasters that are empty, cut short, of the wrong kind, all nodata, or that name a missing
// source: refused at opening or at reading the heights, with a reason; all nodata: a flat grid.
TEST_F(DataFilesTest, BadDemRasters) {
  TestScene s(96, 72, nullptr, &Messages);
  const std::string empty = GridPath("empty.tif");
  std::ofstream(empty).flush();
  EXPECT_EQ(tnDemOpen(empty.c_str()), 0);
  EXPECT_STRNE(tnDemLastError(), "");

  const std::string whole = HillyGrid("whole.tif");
  const std::vector<uint8_t> bytes = ReadBytes(whole);
  for (size_t keep : {size_t(8), size_t(200), bytes.size() / 2, bytes.size() - 100}) {
    SCOPED_TRACE("cut to " + std::to_string(keep));
    const std::string cut = GridPath("cut.tif");
    WriteBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + ptrdiff_t(keep)));
    const int dem = tnDemOpen(cut.c_str());
    // Opened when the header survived; its heights cannot all be read, so there is no grid
    // header to prepare from (not a flat grid reported as prepared).
    if (dem > 0) {
      TnGridHeader header{};
      EXPECT_EQ(tnDemGetHeader(dem, &header), 0);
      EXPECT_NE(std::string(tnDemLastError()).find("cannot be read"), std::string::npos);
      EXPECT_EQ(tnPrepare3DScene(s.scene(), s.state(), dem), TN_E_FAIL);
      tnDemClose(dem);
    }
    std::remove(cut.c_str());
  }

  double gt[6];
  NorthUp(gt, 0, 1000, 10, 10);
  const std::string complex = GridPath("complex.tif");
  ASSERT_TRUE(testgrids::WriteGrid(complex, 20, 20, gt, GDT_CFloat32, [](int, int) { return 5.0; }));
  EXPECT_EQ(tnDemOpen(complex.c_str()), 0);
  EXPECT_NE(std::string(tnDemLastError()).find("complex"), std::string::npos);

  const double noData = 7;
  const std::string allMissing = GridPath("nodata.tif");
  ASSERT_TRUE(testgrids::WriteGrid(allMissing, 20, 20, gt, GDT_Float32, [](int, int) { return 7.0; }, &noData));
  const std::string bytesGrid = GridPath("byte.tif");
  ASSERT_TRUE(testgrids::WriteGrid(bytesGrid, 20, 20, gt, GDT_Byte, [](int l, int p) { return l + p; }));
  for (const std::string& path : {allMissing, bytesGrid}) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(s.Prepare(path));
    EXPECT_EQ(tnDrawScene(s.scene(), s.state()), TN_OK);
    EXPECT_EQ(tnDraw2DScene(s.scene(), s.state()), TN_OK);
  }
  TnSceneInfo info{};
  ASSERT_EQ(tnGetSceneInfo(s.scene(), s.state(), &info), TN_OK);
  EXPECT_EQ(info.grid.zMin, 0);
  EXPECT_EQ(info.grid.zMax, 38);

  // A VRT whose source is missing, and one far larger than any grid the scene takes (its range
  // must not be computed by reading every pixel).
  const std::string vrt = GridPath("missing.vrt"), huge = GridPath("huge.vrt");
  std::ofstream(vrt) << "<VRTDataset rasterXSize=\"20\" rasterYSize=\"20\"><VRTRasterBand dataType=\"Float32\" "
                        "band=\"1\"><SimpleSource><SourceFilename>" << GridPath("absent.tif")
                     << "</SourceFilename><SourceBand>1</SourceBand></SimpleSource></VRTRasterBand></VRTDataset>";
  std::ofstream(huge) << "<VRTDataset rasterXSize=\"2000000000\" rasterYSize=\"2000000000\">"
                         "<VRTRasterBand dataType=\"Float32\" band=\"1\"/></VRTDataset>";
  for (const std::string& path : {vrt, huge}) {
    SCOPED_TRACE(path);
    const int dem = tnDemOpen(path.c_str());
    g_messages.clear();
    ASSERT_GT(dem, 0) << tnDemLastError();
    if (path == huge) {
      EXPECT_EQ(tnPrepare3DScene(s.scene(), s.state(), dem), TN_E_FAIL);
      EXPECT_EQ(g_messages, std::vector<int>{6});  // "too large"
    } else {
      EXPECT_EQ(tnPrepare3DScene(s.scene(), s.state(), dem), TN_E_FAIL);
      EXPECT_NE(std::string(tnDemLastError()).find("cannot be read"), std::string::npos);
    }
    tnDemClose(dem);
  }
  for (const std::string& path : {empty, whole, complex, allMissing, bytesGrid, vrt, huge}) std::remove(path.c_str());
}

// Texture sources that cannot serve: an empty or cut image, too few bands, an image beside the
// grid, and .tex libraries that are empty, cut or a directory. No texture, no temporary file.
TEST_F(DataFilesTest, BadTextureSources) {
  TestScene s(96, 72, nullptr, &Messages);
  ASSERT_TRUE(s.Prepare(HillyGrid("texgrid.tif")));
  double gt[6];
  NorthUp(gt, 1000, 5000, 30, 30);
  const std::string good = GridPath("good.tif"), twoBands = GridPath("two.tif"), away = GridPath("away.tif");
  ASSERT_TRUE(testgrids::WriteImage(good, 65, 49, 3, gt, [](int b, int l, int p) { return b * 80 + l + p; }));
  ASSERT_TRUE(testgrids::WriteImage(twoBands, 65, 49, 2, gt, [](int, int, int) { return 9; }));
  NorthUp(gt, 900000, 9000000, 30, 30);
  ASSERT_TRUE(testgrids::WriteImage(away, 40, 40, 3, gt, [](int, int, int) { return 200; }));
  const std::vector<uint8_t> bytes = ReadBytes(good);
  const std::string cut = GridPath("cut.tif"), empty = GridPath("empty.tif");
  WriteBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + ptrdiff_t(bytes.size() / 2)));
  WriteBytes(empty, {});
  const std::string emptyTex = GridPath("empty.tex"), cutTex = GridPath("cut.tex"), dirTex = GridPath("dir.tex");
  WriteBytes(emptyTex, {});
  WriteBytes(cutTex, std::vector<uint8_t>(40, 0x41));
  mkdir(dirTex.c_str(), 0755);
  for (const std::string& path : {empty, cut, twoBands, emptyTex, cutTex, dirTex}) {
    SCOPED_TRACE(path);
    g_messages.clear();
    EXPECT_EQ(tnPrepareTexture(s.scene(), s.state(), path.c_str()), TN_E_FAIL);
    EXPECT_EQ(s.object().textureReady, 0);
    EXPECT_EQ(tnDrawScene(s.scene(), s.state()), TN_OK);
    if (path == twoBands) {
      EXPECT_EQ(g_messages, std::vector<int>{17});
    }
    for (const std::string& name : ListDirectory(ScratchEnvironment::workDir()))
      EXPECT_EQ(name.rfind("fly", 0), 0u) << name;  // only the terrain cache
  }
  // An image beside the grid gives no texture; the grid's own image does.
  EXPECT_EQ(tnPrepareTexture(s.scene(), s.state(), away.c_str()), TN_E_FAIL);
  EXPECT_EQ(s.object().textureReady, 0);
  EXPECT_EQ(tnPrepareTexture(s.scene(), s.state(), good.c_str()), TN_OK);
  EXPECT_EQ(s.object().textureReady, 1);
  EXPECT_EQ(tnDrawScene(s.scene(), s.state()), TN_OK);
  EXPECT_EQ(tnPrepareTexture(s.scene(), s.state(), ""), TN_E_FAIL);  // drops the texture
  rmdir(dirTex.c_str());
  for (const std::string& path : {good, twoBands, away, cut, empty, emptyTex, cutTex}) std::remove(path.c_str());
}

}  // namespace
