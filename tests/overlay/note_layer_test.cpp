// The note layer through the exported functions: load checks and their message, the font
// record, unloading and release leaving nothing behind, pictures of notes (Chinese and Latin,
// bold and italic, a face nothing matches, a character GBK cannot hold) on the window and off
// screen compared with references, and notes hidden behind a ridge.
//
// TERRAIN3D_UPDATE_REFERENCES=1 rewrites the reference pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "geojson.h"
#include "image_files.h"
#include "map_layer_scene.h"
#include "model/process_objects.h"
#include "overlay/note_layer.h"
#include "platform/environment.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_pictures.h"
#include "test_scene.h"

namespace t3d {
namespace {

using testgrids::g_messages;
using testgrids::GridPath;
using testgrids::ExpectLikeReference;


// A plain at 100 m with, when `ridge` is set, an east-west ridge 300 m high along y = 1900 m.
std::string RidgeGrid(bool ridge) {
  return testgrids::RidgeGrid(ridge ? "note_ridge.tif" : "note_plain.tif", ridge ? 300 : 0);
}

struct Point {
  double x, y;
  std::string properties;
};

std::string WritePoints(const std::string& name, const std::vector<Point>& points) {
  std::vector<std::string> features;
  for (const Point& p : points)
    features.push_back(testgrids::JsonFeature("Point", testgrids::JsonPoint(p.x, p.y), p.properties));
  return testgrids::WriteFeatures(GridPath(name + ".geojson"), features);
}

// Pixels close to a colour (the antialiased edges of thin strokes are darker and not counted).
size_t CountColour(const t3dhost::Picture& picture, int r, int g, int b, int tolerance = 60) {
  return testgrids::CountColour(picture, r, g, b, tolerance);
}

std::vector<TnNoteDescriptor> Descriptors(int count, float offset = 0, double far = 1e9) {
  std::vector<TnNoteDescriptor> notes(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) notes[size_t(i)] = TnNoteDescriptor{i + 1, offset, 1, far};
  return notes;
}

TnFontParams Font(const char* face, int16_t size, uint8_t flags = 0) {
  TnFontParams font{};
  std::strncpy(font.face, face, sizeof font.face - 1);
  font.flags = flags;
  font.size = size;
  return font;
}

size_t FilesIn(const std::string& dir) { return testgrids::ListDirectory(dir).size(); }

using NoteScene = testgrids::MapLayerScene;

class NoteLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TERRAIN3D_DATA_DIR", (std::string(TERRAIN3D_SOURCE_DIR) + "/data").c_str(), 1);
    BaseResetEnvironment();
    g_messages.clear();
  }
  void TearDown() override {
    unsetenv("TERRAIN3D_DATA_DIR");
    BaseResetEnvironment();
  }
};

// Named points over the plain, south to north: a red Chinese name, a Latin one in orange, one
// with a colour nobody defined (blue), and a green one with a character GBK cannot hold ("?").
std::vector<Point> PlainNotes() {
  return {{900, 1100, R"({"name":"高程点","colour":"#FF0000"})"},
          {2000, 1500, R"({"name":"Pisgah","colour":"#FF8000"})"},
          {1300, 2500, R"({"name":"北峰","colour":99})"},
          {2500, 3000, R"({"name":"A😀B","colour":"#00FF00"})"}};
}

TEST_F(NoteLayerTest, LoadChecksFontRecordAndUnloading) {
  NoteScene s(64, 48);
  ASSERT_TRUE(s.Prepare(RidgeGrid(false)));
  void* sc = s.scene();
  void* st = s.state();
  const std::string work = BaseGetEnvironment() + BASE_ENV_WORK_DIRECTORY;
  const size_t filesBefore = FilesIn(work);
  EXPECT_EQ(tnUnLoadMapNote(sc, st, 0), TN_E_FAIL) << "nothing loaded yet";

  // The default font record, and the record copied in and out whole.
  TnFontParams font{};
  ASSERT_EQ(GetFontParam(sc, st, &font), TN_OK);
  EXPECT_STREQ(font.face, "楷体_GB2312");
  EXPECT_EQ(int(font.flags), 0);
  EXPECT_EQ(int(font.size), 12);
  TnFontParams big = Font("KaiTi", 40, 3);
  ASSERT_EQ(SetFontParam(sc, st, &big), TN_OK);
  ASSERT_EQ(GetFontParam(sc, st, &font), TN_OK);
  EXPECT_EQ(int(font.size), 40) << "kept as given until a font is made from it";
  EXPECT_EQ(SetFontParam(sc, st, nullptr), TN_OK);
  EXPECT_EQ(GetFontParam(sc, st, nullptr), TN_OK);

  std::vector<TnNoteDescriptor> notes = Descriptors(4);
  const uint16_t inside = s.Open(WritePoints("inside", PlainNotes()));
  const uint16_t outside = s.Open(WritePoints("outside", {{5000, 100, R"({"name":"x"})"}}));
  // Silent refusals: no file in the slot, no descriptors, no count.
  EXPECT_EQ(tnLoadMapNote(sc, st, 0, notes.data(), 4), TN_E_FAIL);
  EXPECT_EQ(tnLoadMapNote(sc, st, 999, notes.data(), 4), TN_E_FAIL);
  EXPECT_EQ(tnLoadMapNote(sc, st, inside, nullptr, 4), TN_E_FAIL);
  EXPECT_EQ(tnLoadMapNote(sc, st, inside, notes.data(), 0), TN_E_FAIL);
  EXPECT_EQ(tnLoadMapNote(sc, st, inside, notes.data(), -2), TN_E_FAIL);
  EXPECT_TRUE(g_messages.empty());
  // A file beside the grid: message 12.
  EXPECT_EQ(tnLoadMapNote(sc, st, outside, notes.data(), 1), TN_E_FAIL);
  EXPECT_EQ(g_messages, std::vector<int>{12});
  EXPECT_EQ(s.object().noteLoaded, 0);

  ASSERT_EQ(tnLoadMapNote(sc, st, inside, notes.data(), 4), TN_OK);
  EXPECT_EQ(s.object().noteLoaded, 1);
  EXPECT_EQ(NoteFileIndex(s.block()), inside);
  ASSERT_EQ(GetFontParam(sc, st, &font), TN_OK);
  EXPECT_EQ(int(font.size), 30) << "the size the font was made with is written back";
  EXPECT_EQ(g_process.overlayStore->notes.surface.size, 512);
  // A record that does not exist is loaded but never drawn.
  notes.push_back(TnNoteDescriptor{77, 0, 1, 1e9});
  ASSERT_EQ(tnLoadMapNote(sc, st, inside, notes.data(), 5), TN_OK);
  EXPECT_EQ(g_process.overlayStore->notes.anchors[4].read, 0);
  s.Frame();
  EXPECT_EQ(LastNotePassStats().drawn + LastNotePassStats().skipped + LastNotePassStats().hidden, 5u);
  // Changing the font while loaded makes the surface again at once.
  TnFontParams small = Font("KaiTi", 9);
  ASSERT_EQ(SetFontParam(sc, st, &small), TN_OK);
  EXPECT_EQ(s.object().noteLoaded, 1);
  EXPECT_EQ(g_process.overlayStore->notes.surface.size, 128);
  const GLuint texture = s.object().textureIds[kTextureNote][kWindowContext];
  EXPECT_NE(texture, 0u) << "the frame made the note texture";

  EXPECT_EQ(tnUnLoadMapNote(sc, st, 12345), TN_OK);
  EXPECT_EQ(s.object().noteLoaded, 0);
  EXPECT_EQ(NoteFileIndex(s.block()), 0);
  EXPECT_FALSE(g_process.overlayStore->notes.loaded());
  EXPECT_TRUE(g_process.overlayStore->notes.anchors.empty());
  EXPECT_EQ(s.object().textureIds[kTextureNote][kWindowContext], 0u);
  EXPECT_EQ(tnUnLoadMapNote(sc, st, 0), TN_E_FAIL);
  EXPECT_EQ(tnLoadMapNote(nullptr, st, inside, notes.data(), 4), TN_E_FAIL);
  EXPECT_EQ(tnUnLoadMapNote(sc, nullptr, 0), TN_E_FAIL);
  EXPECT_EQ(SetFontParam(nullptr, st, &small), TN_E_FAIL);
  EXPECT_EQ(GetFontParam(sc, nullptr, &font), TN_E_FAIL);

  // Release with a layer loaded: the layer goes with the scene data.
  ASSERT_EQ(tnLoadMapNote(sc, st, inside, notes.data(), 4), TN_OK);
  ASSERT_EQ(tnRelease3DScene(sc, st), TN_OK);
  EXPECT_EQ(s.object().noteLoaded, 0);
  EXPECT_EQ(g_process.overlayStore, nullptr);
  EXPECT_EQ(FilesIn(work), filesBefore) << "the note layer leaves no file behind";
}

TEST_F(NoteLayerTest, NotesOnTheWindowAndOffScreen) {
  NoteScene s(256, 192);
  ASSERT_TRUE(s.Prepare(RidgeGrid(false)));
  s.Look(1920, -1500, 1500, 1920, 1900);
  const t3dhost::Picture bare = s.Frame();
  std::vector<TnNoteDescriptor> notes = Descriptors(4, 20);
  TnFontParams font = Font("楷体_GB2312", 12);
  ASSERT_EQ(SetFontParam(s.scene(), s.state(), &font), TN_OK);
  ASSERT_EQ(tnLoadMapNote(s.scene(), s.state(), s.Open(WritePoints("plain", PlainNotes())),
                          notes.data(), 4), TN_OK);
  const t3dhost::Picture picture = s.Frame();
  EXPECT_EQ(LastNotePassStats().drawn, 4u);
  ExpectLikeReference(picture, "notes_plain");
  EXPECT_GT(CountColour(picture, 255, 0, 0), 15u);
  EXPECT_GT(CountColour(picture, 255, 128, 0), 15u);
  EXPECT_GT(CountColour(picture, 0, 0, 255), 15u);
  EXPECT_GT(CountColour(picture, 0, 255, 0), 15u);
  EXPECT_EQ(CountColour(bare, 255, 0, 0), 0u);
  const size_t regularRed = CountColour(picture, 255, 0, 0);

  const t3dhost::Picture offscreen = s.Offscreen("notes_plain");
  ExpectLikeReference(offscreen, "notes_plain_offscreen");
  EXPECT_GT(CountColour(offscreen, 255, 0, 0), 15u);

  // A note not shown, or farther from the eye than its distance, is not drawn.
  notes[0].shown = 0;
  notes[1].maxEyeDistance = 100;
  const t3dhost::Picture fewer = s.Frame();
  EXPECT_EQ(LastNotePassStats().drawn, 2u);
  EXPECT_EQ(CountColour(fewer, 255, 0, 0), 0u);
  EXPECT_EQ(CountColour(fewer, 255, 128, 0), 0u);
  notes[0].shown = 1;
  notes[1].maxEyeDistance = 1e9;

  // Bold italic, made from the regular Kai face.
  font = Font("KaiTi", 12, 3);
  ASSERT_EQ(SetFontParam(s.scene(), s.state(), &font), TN_OK);
  const t3dhost::Picture boldItalic = s.Frame();
  ExpectLikeReference(boldItalic, "notes_bold_italic");
  EXPECT_GT(CountColour(boldItalic, 255, 0, 0), regularRed * 6 / 5) << "bold strokes are heavier";

  // A face name nothing matches: the Kai face still draws the text.
  font = Font("No Such Face 4711", 12);
  ASSERT_EQ(SetFontParam(s.scene(), s.state(), &font), TN_OK);
  EXPECT_EQ(s.object().noteLoaded, 1);
  const t3dhost::Picture fallback = s.Frame();
  EXPECT_EQ(LastNotePassStats().drawn, 4u);
  EXPECT_LE(testgrids::Differing(fallback, picture), 20u) << "the same Kai face as the default";
  EXPECT_GT(CountColour(fallback, 255, 0, 0), 15u);

  // In the textured surface mode the labels keep their colours and the frame's state.
  ASSERT_EQ(SetSurfaceDispMode(s.scene(), s.state(), 0), TN_OK);
  const t3dhost::Picture lit = s.Frame();
  EXPECT_GT(CountColour(lit, 255, 0, 0), 15u);
  EXPECT_EQ(testgrids::Differing(lit, s.Frame()), 0u);
  ASSERT_EQ(SetSurfaceDispMode(s.scene(), s.state(), 1), TN_OK);

  ASSERT_EQ(tnUnLoadMapNote(s.scene(), s.state(), 0), TN_OK);
  EXPECT_EQ(testgrids::Differing(s.Frame(), bare), 0u) << "unloaded, the bare terrain again";
}

TEST_F(NoteLayerTest, ANoteInAHoleIsNotDrawn) {
  // One note on the plain and one whose point lies in the hole: only the first is drawn.
  NoteScene s(160, 120);
  ASSERT_TRUE(testgrids::PrepareWithAHole(s, "note_hole.tif"));
  s.Look(1920, -1500, 1500, 1920, 1900);
  std::vector<TnNoteDescriptor> notes = Descriptors(2);
  ASSERT_EQ(tnLoadMapNote(s.scene(), s.state(),
                          s.Open(WritePoints("hole", {{1920, 2400, R"({"name":"Plain"})"},
                                                      {1920, 1200, R"({"name":"Hole"})"}})),
                          notes.data(), 2),
            TN_OK);
  s.Frame();
  EXPECT_EQ(LastNotePassStats().drawn, 1u);
  EXPECT_EQ(LastNotePassStats().skipped, 1u);
}

TEST_F(NoteLayerTest, LabelsAreWholeInPicturesDrawnInTiles) {
  // A long red label whose point lies left of the middle: it reaches across the seam between
  // the left and right tiles of a picture drawn as 2 x 2 tiles, which shows as much of it as the
  // picture drawn whole does.
  NoteScene s(100, 75);
  ASSERT_TRUE(s.Prepare(RidgeGrid(false)));
  s.Look(1920, -1500, 1500, 1920, 1900);
  std::vector<TnNoteDescriptor> notes = Descriptors(1);
  ASSERT_EQ(tnLoadMapNote(s.scene(), s.state(),
                          s.Open(WritePoints("seam", {{1750, 1900, R"({"name":"WWWWWWWWWW","colour":"#FF0000"})"}})),
                          notes.data(), 1),
            TN_OK);
  auto redIn = [&](const std::string& name, int width, int height, int tiles) {
    const std::string path = GridPath(name);
    TnOutputRequest request = testgrids::OutputRequest(TN_OUTPUT_RASTER, path, width, height, tiles, tiles);
    EXPECT_EQ(tnOutput3DScene(s.scene(), s.state(), &request), TN_OK);
    testgrids::RasterPicture picture;
    EXPECT_TRUE(testgrids::ReadRaster(path, picture));
    size_t red = 0;
    for (int y = 0; y < picture.height; ++y)
      for (int x = 0; x < picture.width; ++x)
        red += picture.Rgb(x, y, 0) > 180 && picture.Rgb(x, y, 1) < 80 && picture.Rgb(x, y, 2) < 80;
    std::remove(path.c_str());
    return red;
  };
  const size_t whole = redIn("seam_whole.rim", 200, 150, 1);
  const size_t tiled = redIn("seam_tiled.rim", 100, 75, 2);
  ASSERT_GT(whole, 40u);
  EXPECT_GE(10 * tiled, 9 * whole) << tiled << " red pixels in the tiles, " << whole << " whole";
}

TEST_F(NoteLayerTest, NotesBehindARidgeAreHidden) {
  // Two notes south of the ridge (one at its foot) and two on the plain behind it.
  const std::vector<Point> points = {{1500, 900, R"({"name":"South","colour":"#FF0000"})"},
                                     {2300, 1500, R"({"name":"Foot","colour":"#FF0000"})"},
                                     {1400, 2900, R"({"name":"Behind","colour":99})"},
                                     {2400, 3200, R"({"name":"北","colour":99})"}};
  for (bool ridge : {false, true}) {
    NoteScene s(320, 240);
    ASSERT_TRUE(s.Prepare(RidgeGrid(ridge)));
    s.Look(1920, -1500, 600, 1920, 1900);
    std::vector<TnNoteDescriptor> notes = Descriptors(4);
    ASSERT_EQ(tnLoadMapNote(s.scene(), s.state(), s.Open(WritePoints("ridge", points)),
                            notes.data(), 4), TN_OK);
    const t3dhost::Picture picture = s.Frame();
    EXPECT_GT(CountColour(picture, 255, 0, 0), 15u) << "the notes before the ridge show";
    if (ridge) {
      EXPECT_EQ(LastNotePassStats().hidden, 2u);
      EXPECT_EQ(LastNotePassStats().drawn, 2u);
      EXPECT_EQ(CountColour(picture, 0, 0, 255), 0u) << "the notes behind the ridge are hidden";
      ExpectLikeReference(picture, "notes_ridge");
      const t3dhost::Picture offscreen = s.Offscreen("notes_ridge");
      EXPECT_EQ(CountColour(offscreen, 0, 0, 255), 0u);
      EXPECT_GT(CountColour(offscreen, 255, 0, 0), 15u);
      ExpectLikeReference(offscreen, "notes_ridge_offscreen");
      // Lifted 400 m above the ground, the labels behind the ridge clear its crest.
      for (TnNoteDescriptor& note : notes) note.heightOffset = 400;
      ASSERT_EQ(tnLoadMapNote(s.scene(), s.state(), s.Open(WritePoints("ridge_high", points)),
                              notes.data(), 4), TN_OK);
      s.Frame();
      EXPECT_EQ(LastNotePassStats().hidden, 0u);
    } else {
      EXPECT_EQ(LastNotePassStats().hidden, 0u);
      EXPECT_EQ(LastNotePassStats().drawn, 4u);
      EXPECT_GT(CountColour(picture, 0, 0, 255), 15u) << "without the ridge they show";
    }
  }
}

}  // namespace
}  // namespace t3d
