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

#include "model/process_objects.h"
#include "formats/colour_table.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_scene.h"

namespace {

using testgrids::GridPath;
using testgrids::ListDirectory;
using testgrids::NorthUp;
using testgrids::ScratchEnvironment;
using testgrids::TestScene;

using testgrids::g_messages;
using testgrids::RecordMessage;
int g_tableChoice = 5;
int TN_CALL Dialogs(void*, int id, void* record) {
  if (id != TN_DIALOG_HEIGHT_COLOUR) return TN_DIALOG_DEFAULT;
  auto* dialog = static_cast<TnHeightColourDialog*>(record);
  dialog->customLayers = 0;
  dialog->tableNumber = int16_t(g_tableChoice);
  return 1;
}

// Sets an environment variable for the life of the guard (the tests never run with it set
// beforehand), rebuilding the library's environment block on both sides.
struct EnvGuard {
  EnvGuard(const char* name, const std::string& value) : name(name) {
    setenv(name, value.c_str(), 1);
    BaseResetEnvironment();
  }
  ~EnvGuard() {
    unsetenv(name);
    BaseResetEnvironment();
  }
  const char* name;
};

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
std::vector<uint8_t> ReadBytes(const std::string& path, size_t keep = SIZE_MAX) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
  bytes.resize(std::min(keep, bytes.size()));
  return bytes;
}
// An RGB image: its 8-byte header (height, then width, little-endian), then pixelBytes of grey.
std::vector<uint8_t> RgbFile(uint32_t height, uint32_t width, size_t pixelBytes) {
  std::vector<uint8_t> b(8 + pixelBytes, 200);
  for (int i = 0; i < 4; ++i) b[size_t(i)] = uint8_t(height >> (8 * i)), b[size_t(4 + i)] = uint8_t(width >> (8 * i));
  return b;
}

// A copy of the bundled data directory in the scratch directory, removed with everything in it.
class DataCopy {
 public:
  DataCopy() : root_(GridPath("data-XXXXXX")) {
    EXPECT_NE(mkdtemp(&root_[0]), nullptr);
    mkdir(Lut("").c_str(), 0755);
    const std::string from = std::string(TERRAIN3D_SOURCE_DIR) + "/data/HeightLut/";
    for (const std::string& name : ListDirectory(from)) WriteBytes(Lut(name), ReadBytes(from + name));
  }
  ~DataCopy() {
    nftw(root_.c_str(), [](const char* p, const struct stat*, int, FTW*) { return std::remove(p); }, 16,
         FTW_DEPTH | FTW_PHYS);
  }
  const std::string& root() const { return root_; }
  std::string Lut(const std::string& name) const { return root_ + "/HeightLut/" + name; }
  // Replaces a file by what a fault leaves: 0 cut short, 1 empty, 2 a directory, 3 unreadable.
  void Spoil(const std::string& name, int fault) const {
    const std::string path = Lut(name);
    if (fault == 0) WriteBytes(path, ReadBytes(path, ReadBytes(path).size() / 2));
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

// The frames a scene draws in 3D and in plan view.
void ExpectFrames(TestScene& s) {
  EXPECT_EQ(tnDrawScene(s.scene(), s.state()), TN_OK);
  EXPECT_EQ(tnDraw2DScene(s.scene(), s.state()), TN_OK);
}

// The reason the DEM store gives contains the words.
bool ReasonHas(const char* words) { return std::string(tnDemLastError()).find(words) != std::string::npos; }

class DataFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    g_tableChoice = 5;
  }
  void TearDown() override { EXPECT_TRUE(ListDirectory(ScratchEnvironment::workDir()).empty()); }
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
      TestScene s(96, 72, &Dialogs, &RecordMessage);
      ASSERT_TRUE(s.Prepare(grid));
      t3d::SceneState& b = s.block();
      EXPECT_EQ(IsRamp(b.heightColours.heightColourTable), table.number == 5);
      EXPECT_EQ(IsRamp(b.greyTable), table.number == 11);
      EXPECT_EQ(IsRamp(b.mapAreaTables[0]), table.number == 32);
      EXPECT_FALSE(IsRamp(b.mapAreaTables[1]));
      SkyFrame(s);
      EXPECT_EQ(SetGrayDisplayFlag(s.scene(), s.state(), 1), TN_OK);
      ExpectFrames(s);
      EXPECT_EQ(SetGrayDisplayFlag(s.scene(), s.state(), 0), TN_OK);
      // The dialog opens with the stored table (5): while it cannot be read the dialog closes
      // every time. Otherwise the tables chosen are loaded, a broken one as the ramp; a number
      // beyond the list is no answer the dialog could give, and counts as Cancel.
      const int opens = table.number == 5 ? TN_E_FAIL : TN_OK;
      for (int choice : {7, 5, 11, 32, 99, -1, table.number}) {
        g_tableChoice = choice;
        const bool listed = choice >= 0 && choice <= 38;
        EXPECT_EQ(SetHeightLayerColor(s.scene(), s.state(), nullptr), listed ? opens : TN_E_FAIL);
        ExpectFrames(s);
      }
      EXPECT_TRUE(IsRamp(b.heightColours.heightColourTable));
      g_tableChoice = 7;
      EXPECT_EQ(SetHeightLayerColor(s.scene(), s.state(), nullptr), opens);
      EXPECT_EQ(IsRamp(b.heightColours.heightColourTable), table.number == 5);
    }
  }
}

// A sky picture that cannot be used, for whatever reason, leaves the frame exactly as without the
// file, on the first frame and the next (no texture is left from the first try); a usable one
// shows. Faults 0 to 3 are those of Spoil; then a header claiming 16384 x 16384 pixels and none
// after it (no memory may be taken for them), a picture wider than GL can hold as one texture
// (the dome was drawn in a flat colour), pixels that run short, and height 0.
TEST_F(DataFilesTest, UnusableSkyPictureIsSkipped) {
  const std::string grid = HillyGrid("sky.tif");
  std::vector<uint8_t> withoutSky, withSky;
  {
    DataCopy data;
    EnvGuard env("TERRAIN3D_DATA_DIR", data.root());
    TestScene s(96, 72, nullptr, &RecordMessage);
    ASSERT_TRUE(s.Prepare(grid));
    withSky = SkyFrame(s);
    std::remove(data.Lut("Cloud.rgb").c_str());
    TestScene t(96, 72, nullptr, &RecordMessage);
    ASSERT_TRUE(t.Prepare(grid));
    withoutSky = SkyFrame(t);
  }
  ASSERT_NE(withSky, withoutSky) << "the sky picture does not show";
  const std::vector<uint8_t> files[] = {RgbFile(16384, 16384, 0), RgbFile(1, 70000, 3 * 70000),
                                        RgbFile(256, 256, 3 * 256 * 100), RgbFile(0, 256, 3 * 256)};
  for (int fault = 0; fault < 8; ++fault) {
    if (fault == 3 && geteuid() == 0) continue;
    SCOPED_TRACE("fault " + std::to_string(fault));
    DataCopy data;
    if (fault < 4) data.Spoil("Cloud.rgb", fault);
    else WriteBytes(data.Lut("Cloud.rgb"), files[fault - 4]);
    EnvGuard env("TERRAIN3D_DATA_DIR", data.root());
    TestScene s(96, 72, nullptr, &RecordMessage);
    ASSERT_TRUE(s.Prepare(grid));
    EXPECT_EQ(SkyFrame(s), withoutSky);
    EXPECT_EQ(SkyFrame(s), withoutSky);
  }
}

// Data and work directories that are missing, files, read-only or too long for the environment
// block. A data directory that cannot serve (one too long is stored empty) gives the grey ramp and
// preparation goes on; a working directory where no file can be made refuses preparation.
TEST_F(DataFilesTest, BadDirectories) {
  const std::string grid = HillyGrid("dirs.tif"), file = GridPath("plain-file");
  std::ofstream(file) << "x";
  const std::string longPath = "/tmp/" + std::string(300, 'd');
  for (const std::string& dir : {std::string("/nonexistent/t3d"), file, longPath}) {
    SCOPED_TRACE("data directory " + dir.substr(0, 40));
    EnvGuard env("TERRAIN3D_DATA_DIR", dir);
    TestScene s(96, 72, &Dialogs, &RecordMessage);
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
    TestScene s(96, 72, &Dialogs, &RecordMessage);
    EXPECT_FALSE(s.Prepare(grid));
    EXPECT_EQ(tnDrawScene(s.scene(), s.state()), TN_E_FAIL);
  }
  EXPECT_TRUE(ListDirectory(readOnly).empty());
  rmdir(readOnly.c_str());
}

// DEM rasters that are empty, cut short, of the wrong kind, that name a missing source or are too
// large: refused at opening or at preparation with a reason, never prepared as a flat grid from
// unreadable heights. All nodata is refused too, with its own reason.
TEST_F(DataFilesTest, BadDemRasters) {
  TestScene s(96, 72, nullptr, &RecordMessage);
  const std::string empty = GridPath("empty.tif");
  WriteBytes(empty, {});
  EXPECT_EQ(tnDemOpen(empty.c_str()), 0);
  EXPECT_STRNE(tnDemLastError(), "");
  double gt[6];
  NorthUp(gt, 0, 1000, 10, 10);
  const std::string complex = GridPath("complex.tif");
  ASSERT_TRUE(testgrids::WriteGrid(complex, 20, 20, gt, GDT_CFloat32, [](int, int) { return 5.0; }));
  EXPECT_EQ(tnDemOpen(complex.c_str()), 0);
  EXPECT_TRUE(ReasonHas("complex"));

  // Cut short (opened when the header survived) and a VRT whose source is missing: no grid
  // header, and preparation refused because the heights cannot be read.
  const std::string whole = HillyGrid("whole.tif"), vrt = GridPath("missing.vrt");
  const size_t size = ReadBytes(whole).size();
  std::ofstream(vrt) << "<VRTDataset rasterXSize=\"20\" rasterYSize=\"20\"><VRTRasterBand dataType=\"Float32\" "
                        "band=\"1\"><SimpleSource><SourceFilename>" << GridPath("absent.tif")
                     << "</SourceFilename><SourceBand>1</SourceBand></SimpleSource></VRTRasterBand></VRTDataset>";
  for (size_t keep : {size_t(8), size_t(200), size / 2, size - 100, size_t(0)}) {
    std::string path = vrt;
    if (keep > 0) WriteBytes(path = GridPath("cut.tif"), ReadBytes(whole, keep));
    SCOPED_TRACE(path + " " + std::to_string(keep));
    const int dem = tnDemOpen(path.c_str());
    EXPECT_TRUE(dem > 0 || keep < size / 2);
    if (dem <= 0) continue;
    TnGridHeader header{};
    EXPECT_TRUE(keep == 0 || tnDemGetHeader(dem, &header) == 0);
    EXPECT_EQ(tnPrepare3DScene(s.scene(), s.state(), dem), TN_E_FAIL);
    EXPECT_TRUE(ReasonHas("cannot be read")) << tnDemLastError();
    tnDemClose(dem);
  }

  // Far larger than any grid the scene takes: refused as too large (message 6), its range not
  // computed by reading every pixel.
  const std::string huge = GridPath("huge.vrt");
  std::ofstream(huge) << "<VRTDataset rasterXSize=\"2000000000\" rasterYSize=\"2000000000\">"
                         "<VRTRasterBand dataType=\"Float32\" band=\"1\"/></VRTDataset>";
  const int dem = tnDemOpen(huge.c_str());
  ASSERT_GT(dem, 0) << tnDemLastError();
  g_messages.clear();
  EXPECT_EQ(tnPrepare3DScene(s.scene(), s.state(), dem), TN_E_FAIL);
  EXPECT_EQ(g_messages, std::vector<int>{6});
  tnDemClose(dem);

  // Every height nodata: readable, but no terrain. Refused with the store's reason, no scene.
  const double noData = 7;
  const std::string allMissing = GridPath("nodata.tif");
  ASSERT_TRUE(testgrids::WriteGrid(allMissing, 20, 20, gt, GDT_Float32, [](int, int) { return 7.0; }, &noData));
  g_messages.clear();
  EXPECT_FALSE(s.Prepare(allMissing));
  EXPECT_TRUE(ReasonHas("no valid height")) << tnDemLastError();
  EXPECT_TRUE(g_messages.empty());
  TnSceneInfo info{};
  EXPECT_EQ(tnGetSceneInfo(s.scene(), s.state(), &info), TN_E_FAIL);
}

// Texture sources that cannot serve: an empty or cut image, an image beside the grid, and .tex
// libraries that are empty, cut or a directory. No texture, and no temporary file but the
// terrain cache.
TEST_F(DataFilesTest, BadTextureSources) {
  TestScene s(96, 72, nullptr, &RecordMessage);
  ASSERT_TRUE(s.Prepare(HillyGrid("texgrid.tif")));
  double gt[6];
  NorthUp(gt, 900000, 9000000, 30, 30);
  const std::string away = GridPath("away.tif"), cut = GridPath("cut.tif"), empty = GridPath("empty.tif");
  ASSERT_TRUE(testgrids::WriteImage(away, 40, 40, 3, gt, [](int b, int l, int p) { return b * 80 + l + p; }));
  WriteBytes(cut, ReadBytes(away, ReadBytes(away).size() / 2));
  WriteBytes(empty, {});
  const std::string emptyTex = GridPath("empty.tex"), cutTex = GridPath("cut.tex"), dirTex = GridPath("dir.tex");
  WriteBytes(emptyTex, {});
  WriteBytes(cutTex, std::vector<uint8_t>(40, 0x41));
  mkdir(dirTex.c_str(), 0755);
  for (const std::string& path : {empty, cut, away, emptyTex, cutTex, dirTex}) {
    EXPECT_EQ(tnPrepareTexture(s.scene(), s.state(), path.c_str()), TN_E_FAIL) << path;
    EXPECT_EQ(s.object().textureReady, 0) << path;
    EXPECT_EQ(tnDrawScene(s.scene(), s.state()), TN_OK) << path;
    for (const std::string& name : ListDirectory(ScratchEnvironment::workDir()))
      EXPECT_EQ(name.rfind("fly", 0), 0u) << path << ": " << name;
  }
  rmdir(dirTex.c_str());
}

}  // namespace
