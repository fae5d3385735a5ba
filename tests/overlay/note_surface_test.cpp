// The note drawing surface without GL: sizes by font size, the clamped size written back,
// laying text out (wrapping before the character that would pass the edge, double-byte
// characters kept whole, lines past the bottom left out), alpha and 5-5-5-1 texels, the quad.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>
#include <string>

#include "adapters/font_face.h"
#include "overlay/note_surface.h"
#include "platform/environment.h"

namespace t3d {
namespace {

SceneState FontState(const char* face, int16_t size, uint8_t flags = 0) {
  SceneState state{};
  std::strncpy(state.fontFace, face, sizeof state.fontFace - 1);
  state.fontSize = size;
  state.fontFlag = flags;
  return state;
}

class NoteSurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TERRAIN3D_DATA_DIR", (std::string(TERRAIN3D_SOURCE_DIR) + "/data").c_str(), 1);
    BaseResetEnvironment();
  }
  void TearDown() override {
    unsetenv("TERRAIN3D_DATA_DIR");
    BaseResetEnvironment();
  }
};

TEST_F(NoteSurfaceTest, SizesFollowTheFontSize) {
  EXPECT_EQ(SurfaceSizeFor(10), 128);
  EXPECT_EQ(SurfaceSizeFor(11), 256);
  EXPECT_EQ(SurfaceSizeFor(20), 256);
  EXPECT_EQ(SurfaceSizeFor(21), 512);
  EXPECT_EQ(SurfaceSizeFor(30), 512);
  EXPECT_EQ(FontPixelHeight(12), 16);
  EXPECT_EQ(FontPixelHeight(9), 12);
  for (auto [given, kept, surface] : {std::tuple<int16_t, int16_t, int>{40, 30, 512},
                                      {-3, 0, 128}, {12, 12, 256}}) {
    SceneState state = FontState("楷体_GB2312", given);
    NoteSurface made;
    ASSERT_TRUE(MakeNoteSurface(state, made));
    EXPECT_EQ(state.fontSize, kept) << "the size is written back as it was used";
    EXPECT_EQ(made.size, surface);
    EXPECT_EQ(made.bgra.size(), size_t(surface) * surface * 4);
    EXPECT_STREQ(FontFamilyName(made.font.get()), "AR PL UKai CN");
  }
  // A face name that fills all 64 bytes without its zero is still read safely.
  SceneState full = FontState("", 12);
  std::memset(full.fontFace, 'X', sizeof full.fontFace);
  NoteSurface made;
  ASSERT_TRUE(MakeNoteSurface(full, made));
  EXPECT_EQ(FontIsFallback(made.font.get()), 1);
}

TEST_F(NoteSurfaceTest, TextIsLaidOutAndWrapped) {
  SceneState state = FontState("KaiTi", 12);
  NoteSurface surface;
  ASSERT_TRUE(MakeNoteSurface(state, surface));
  const int w = surface.size;
  int cx = 0, cy = 0;
  FontMeasureChar(surface.font.get(), "\xB8\xDF", 2, &cx, &cy);

  // An empty text: a quad of no size and a clear surface.
  NoteTextBox box = RenderNoteText(surface, "", 0xFFFFFF, false);
  EXPECT_EQ(box.width, 0);
  EXPECT_EQ(box.height, 0);

  // Two ideographs on one line: width 2 cx + 1 (the gap after the first), height one line.
  box = RenderNoteText(surface, "\xB8\xDF\xB3\xCC", 0x0000FF, false);
  EXPECT_EQ(box.height, cy);
  EXPECT_EQ(box.width, 2 * cx + 1);
  size_t red = 0, clear = 0;
  for (size_t k = 0; k < surface.bgra.size(); k += 4) {
    const uint8_t* t = &surface.bgra[k];
    if (t[3] == 0) {
      ++clear;
      EXPECT_EQ(t[0] | t[1] | t[2], 0) << "only black is transparent";
    } else {
      EXPECT_EQ(t[3], 255);
      if (t[2] > 100 && t[0] == 0 && t[1] == 0) ++red;
    }
  }
  EXPECT_GT(red, 30u);
  EXPECT_GT(clear, surface.bgra.size() / 8);

  // A run of ideographs that is wider than the surface wraps before the character that would
  // pass its edge, and never splits one.
  int fits = 1;  // ideographs on one line
  while (fits * (cx + 1) + 1 + cx <= w) ++fits;
  std::string text;
  for (int k = 0; k < fits + 3; ++k) text += "\xB8\xDF";
  text += "a";
  box = RenderNoteText(surface, text.c_str(), 0xFFFFFF, false);
  EXPECT_EQ(box.height, 2 * cy + 1);
  EXPECT_LE(box.width, w);
  EXPECT_EQ(box.width, fits * (cx + 1) - 1);
  // A lone byte with the high bit set at the end is one character, not half of a pair.
  box = RenderNoteText(surface, "ab\xB8", 0xFFFFFF, false);
  EXPECT_EQ(box.height, cy);

  // A text far longer than the surface holds: the lines past the bottom are left out.
  std::string flood(4000, 'W');
  box = RenderNoteText(surface, flood.c_str(), 0xFFFFFF, false);
  EXPECT_LE(box.height, w);
  EXPECT_GT(box.height, w - 2 * cy - 2);
}

TEST_F(NoteSurfaceTest, PackedTexelsAndBlackText) {
  SceneState state = FontState("KaiTi", 12);
  NoteSurface surface;
  ASSERT_TRUE(MakeNoteSurface(state, surface));
  NoteTextBox box = RenderNoteText(surface, "H", 0xFFFFFF, true);
  ASSERT_EQ(surface.packed.size(), size_t(surface.size) * surface.size);
  size_t opaque = 0;
  for (size_t k = 0; k < surface.packed.size(); ++k) {
    const uint8_t* t = &surface.bgra[4 * k];
    const uint16_t expected = uint16_t((t[2] >> 3) << 11 | (t[1] >> 3) << 6 | (t[0] >> 3) << 1 |
                                       ((t[0] | t[1] | t[2]) != 0 ? 1 : 0));
    ASSERT_EQ(surface.packed[k], expected);
    opaque += surface.packed[k] & 1;
  }
  EXPECT_GT(opaque, 10u);
  // Black text still shows (as the darkest grey), where black texels are the background.
  box = RenderNoteText(surface, "H", 0x000000, false);
  size_t shown = 0;
  for (size_t k = 3; k < surface.bgra.size(); k += 4) shown += surface.bgra[k] != 0;
  EXPECT_GT(shown, 10u);
  EXPECT_GT(box.width, 0);
}

TEST_F(NoteSurfaceTest, AnchorsOnTheViewportEdgesAreDrawn) {
  const int viewport[4] = {0, 0, 320, 240};
  EXPECT_TRUE(AnchorInViewport(320, 100, viewport)) << "exactly on the right edge";
  EXPECT_FALSE(AnchorInViewport(321, 100, viewport)) << "one pixel beyond";
  EXPECT_TRUE(AnchorInViewport(0, 240, viewport));
  EXPECT_FALSE(AnchorInViewport(-0.5f, 10, viewport));
  EXPECT_FALSE(AnchorInViewport(10, 240.5f, viewport));
  EXPECT_FALSE(AnchorInViewport(std::nanf(""), 10, viewport));
  const int tile[4] = {100, 50, 20, 20};
  EXPECT_TRUE(AnchorInViewport(120, 70, tile));
  EXPECT_FALSE(AnchorInViewport(99, 60, tile));
}

TEST_F(NoteSurfaceTest, LabelsStackedInTheSurfaceMatchOneAtATime) {
  SceneState state = FontState("KaiTi", 12);
  NoteSurface surface;
  ASSERT_TRUE(MakeNoteSurface(state, surface));
  const int w = surface.size;
  const NoteTextBox alone = RenderNoteText(surface, "Pisgah \xB8\xDF", 0x00FF00, true);
  const std::vector<uint8_t> single(surface.bgra.begin(), surface.bgra.begin() + size_t(alone.height) * w * 4);
  ClearNoteRows(surface);
  // Drawn below another label, the same text gives the same texels, shifted down.
  const NoteTextBox first = DrawNoteText(surface, "\xB1\xB1", 0x0000FF, 0);
  const int top = first.height + 1;
  const NoteTextBox second = DrawNoteText(surface, "Pisgah \xB8\xDF", 0x00FF00, top);
  EXPECT_EQ(second.width, alone.width);
  EXPECT_EQ(second.height, alone.height);
  EXPECT_EQ(MeasureNoteText(surface, "Pisgah \xB8\xDF").width, alone.width);
  FinishNoteRows(surface, surface.usedRows, true);
  EXPECT_EQ(std::memcmp(single.data(), &surface.bgra[size_t(top) * w * 4], single.size()), 0);
  // Near the bottom only the lines that fit are drawn.
  const NoteTextBox cut = DrawNoteText(surface, "\xB8\xDF", 0xFFFFFF, w - 3);
  EXPECT_EQ(cut.height, 3);
  EXPECT_EQ(DrawNoteText(surface, "a", 0xFFFFFF, w).height, 0);
  EXPECT_EQ(ClearNoteRows(surface), w);
  for (uint8_t v : surface.bgra) ASSERT_EQ(v, 0);
  // The quad of a label drawn at row `top`.
  float v[20];
  NoteQuad(NoteTextBox{64, 32}, 256, 100, 50, v, 64);
  EXPECT_FLOAT_EQ(v[0 * 5 + 1], 0.375f);
  EXPECT_FLOAT_EQ(v[1 * 5 + 1], 0.25f);
}

TEST_F(NoteSurfaceTest, QuadCornersAndTextureCoordinates) {
  float v[20];
  NoteQuad(NoteTextBox{64, 32}, 256, 100, 50, v);
  const float expected[20] = {0, 0.125f, 100, 50, 1,   0, 0, 100, 82, 1,
                              0.25f, 0.125f, 164, 50, 1, 0.25f, 0, 164, 82, 1};
  for (int k = 0; k < 20; ++k) EXPECT_FLOAT_EQ(v[k], expected[k]) << k;
  NoteQuad(NoteTextBox{}, 128, 7, 9, v);
  EXPECT_FLOAT_EQ(v[2], v[12]);
  EXPECT_FLOAT_EQ(v[3], v[8]);
}

}  // namespace
}  // namespace t3d
