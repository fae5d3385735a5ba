// The note exports given bad input in every state a host can leave a scene in: handles without
// a window, a window without a grid, a prepared grid and a released scene; bad slots, null and
// hostile descriptors, font records with sizes out of range and names that are not text. Each
// call comes back (no crash, no sanitizer report) with the documented result.
#include <gdal.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "test_grids.h"

namespace {

constexpr int kWidth = 96, kHeight = 72;

class NoteAbuseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tnSetMessageHandler(&testgrids::RecordMessage, nullptr);
    ASSERT_EQ(tnCreateTin3DDraw(&scene, &state), TN_OK);
    pixels.assign(size_t(kWidth) * kHeight * 4, 0);
    window.kind = TN_WINDOW_HEADLESS;
    window.width = kWidth;
    window.height = kHeight;
    window.pixels = pixels.data();
    const std::string points = testgrids::GridPath("abuse_notes.geojson");
    FILE* f = std::fopen(points.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("{\"type\":\"FeatureCollection\",\"features\":["
               "{\"type\":\"Feature\",\"properties\":{\"name\":\"高程\"},"
               "\"geometry\":{\"type\":\"Point\",\"coordinates\":[1300,4700]}},"
               "{\"type\":\"Feature\",\"properties\":{\"name\":\"\\u0001\\u00ff\\ud83d\\ude00\"},"
               "\"geometry\":{\"type\":\"Point\",\"coordinates\":[1400,4600]}}]}", f);
    std::fclose(f);
    slot = tnMapOpen(points.c_str(), nullptr, nullptr, nullptr);
    ASSERT_GT(slot, 0) << tnMapLastError();
  }
  void TearDown() override {
    tnRelease3DScene(scene, state);
    EXPECT_EQ(tnDeleteTin3DDraw(scene, state), TN_OK);
    if (dem > 0) tnDemClose(dem);
    tnMapClose(slot);
    tnSetMessageHandler(nullptr, nullptr);
  }
  void Prepare() {
    const std::string path = testgrids::GridPath("abuse_notes.tif");
    double gt[6];
    testgrids::NorthUp(gt, 1000, 5000, 30, 30);
    ASSERT_TRUE(testgrids::WriteGrid(path, 33, 25, gt, GDT_Float32, [](int line, int pixel) {
      return 100 + 40 * std::sin(pixel * 0.3) * std::cos(line * 0.2);
    }));
    dem = tnDemOpen(path.c_str());
    ASSERT_GT(dem, 0) << tnDemLastError();
    ASSERT_EQ(tnPrepare3DScene(scene, state, dem), TN_OK);
  }
  void Draw() {
    const int r = tnDrawScene(scene, state);
    EXPECT_TRUE(r == TN_OK || r == TN_E_FAIL);
  }

  // Every bad load, font and unload in the current state, with frames drawn between them.
  void Sweep(bool loadable) {
    std::vector<TnNoteDescriptor> notes = {
        {1, 0, 1, 1e30},
        {INT_MIN, std::numeric_limits<float>::quiet_NaN(), 1, std::nan("")},
        {2, std::numeric_limits<float>::infinity(), 255, -1},
        {INT_MAX, -3e38f, 1, std::numeric_limits<double>::infinity()},
        {2, 1e30f, 1, 1e300},
        {-1, 0, 0, 0}};
    for (unsigned short bad : {0, 0xffff, 12345})
      EXPECT_EQ(tnLoadMapNote(scene, state, bad, notes.data(), int(notes.size())), TN_E_FAIL);
    EXPECT_EQ(tnLoadMapNote(scene, state, slot, nullptr, 3), TN_E_FAIL);
    for (int count : {0, -1, INT_MIN})
      EXPECT_EQ(tnLoadMapNote(scene, state, slot, notes.data(), count), TN_E_FAIL);
    const int loaded = tnLoadMapNote(scene, state, slot, notes.data(), int(notes.size()));
    EXPECT_EQ(loaded, loadable ? TN_OK : TN_E_FAIL);
    Draw();
    for (int size : {SHRT_MIN, -1, 0, 31, SHRT_MAX}) {
      TnFontParams font{};
      std::memset(font.face, 0xFF, sizeof font.face);  // no zero, not text
      font.flags = 0xFF;
      font.size = int16_t(size);
      EXPECT_EQ(SetFontParam(scene, state, &font), TN_OK);
      TnFontParams back{};
      EXPECT_EQ(GetFontParam(scene, state, &back), TN_OK);
      EXPECT_EQ(std::memcmp(back.face, font.face, sizeof font.face), 0);
      EXPECT_GE(int(back.size), loadable ? 0 : int(SHRT_MIN));
      EXPECT_LE(int(back.size), loadable ? 30 : int(SHRT_MAX));
      Draw();
    }
    TnFontParams plain{};
    std::strcpy(plain.face, "楷体_GB2312");
    plain.size = 12;
    EXPECT_EQ(SetFontParam(scene, state, &plain), TN_OK);
    EXPECT_EQ(SetFontParam(scene, state, nullptr), TN_OK);
    EXPECT_EQ(GetFontParam(scene, state, nullptr), TN_OK);
    // The host closes the file under the loaded layer: its notes are no longer drawn.
    if (loadable) {
      tnMapClose(slot);
      Draw();
    }
    EXPECT_EQ(tnUnLoadMapNote(scene, state, 0), loadable ? TN_OK : TN_E_FAIL);
    EXPECT_EQ(tnUnLoadMapNote(scene, state, 0), TN_E_FAIL);
    Draw();
  }

  void* scene = nullptr;
  void* state = nullptr;
  TnNativeWindow window{};
  std::vector<uint8_t> pixels;
  int dem = 0;
  unsigned short slot = 0;
};

TEST_F(NoteAbuseTest, WithoutAWindowOrAGrid) {
  // Without a grid the extent check refuses every file (the grid's extent is empty).
  Sweep(false);
  ASSERT_EQ(tnInitial3DScene(scene, state, &window), TN_OK);
  Sweep(false);
}

TEST_F(NoteAbuseTest, PreparedAndReleased) {
  ASSERT_EQ(tnInitial3DScene(scene, state, &window), TN_OK);
  Prepare();
  Sweep(true);
  // Loaded when the scene is released: the layer goes, and nothing is drawn with it after.
  std::vector<TnNoteDescriptor> notes = {{1, 0, 1, 1e30}};
  const std::string points = testgrids::GridPath("abuse_notes.geojson");
  slot = tnMapOpen(points.c_str(), nullptr, nullptr, nullptr);
  ASSERT_EQ(tnLoadMapNote(scene, state, slot, notes.data(), 1), TN_OK);
  EXPECT_EQ(tnRelease3DScene(scene, state), TN_OK);
  Draw();
  EXPECT_EQ(tnUnLoadMapNote(scene, state, 0), TN_E_FAIL);
  EXPECT_EQ(tnLoadMapNote(scene, state, slot, notes.data(), 1), TN_E_FAIL);
}

}  // namespace
