// Fonts on FreeType and fontconfig: the Kai names resolved through the shipped alias file, a name
// nothing matches falling back to the Kai face, GBK characters measured and drawn, synthetic
// bold and italic, and the glyph cache.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adapters/font_face.h"

namespace {

const std::string kAliasFile = std::string(TERRAIN3D_SOURCE_DIR) + "/data/fonts/fonts.conf";

struct Closer {
  void operator()(FontFace* face) const { FontClose(face); }
};
using Face = std::unique_ptr<FontFace, Closer>;

// The number of lit texels and their bounding columns when one character is drawn alone.
struct Ink {
  size_t lit = 0;
  int left = 1 << 20, right = -1;
};
Ink Draw(FontFace* face, const char* bytes, int length, int size = 64) {
  std::vector<uint8_t> surface(size_t(size) * size * 4, 0);
  EXPECT_EQ(FontDrawChar(face, bytes, length, 4, 4, 0xFFFFFF, surface.data(), size, size), 1);
  Ink ink;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      if (surface[(size_t(y) * size + x) * 4 + 1] > 0) {
        ++ink.lit;
        ink.left = std::min(ink.left, x);
        ink.right = std::max(ink.right, x);
      }
  return ink;
}

class FontFaceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(FontSetConfigFile(kAliasFile.c_str()), 1); }
  void TearDown() override { FontSetConfigFile(nullptr); }
};

TEST_F(FontFaceTest, KaiNamesResolveThroughTheAliasFile) {
  // UTF-8 names, and the GB2312 bytes of "楷体_GB2312" as a host of the original system passes them.
  for (const char* name : {"楷体_GB2312", "楷体", "KaiTi", "kaiti", "\xBF\xAC\xCC\xE5_GB2312"}) {
    Face face(FontOpen(name, 16, 0, 0));
    ASSERT_NE(face, nullptr) << name;
    EXPECT_STREQ(FontFamilyName(face.get()), "AR PL UKai CN") << name;
    EXPECT_EQ(FontIsFallback(face.get()), 0) << name;
  }
  // A family that is installed resolves to itself.
  Face zenhei(FontOpen("WenQuanYi Zen Hei", 16, 0, 0));
  ASSERT_NE(zenhei, nullptr);
  EXPECT_EQ(FontIsFallback(zenhei.get()), 0);
  EXPECT_STRNE(FontFamilyName(zenhei.get()), "AR PL UKai CN");
}

TEST_F(FontFaceTest, UnknownNamesFallBackToTheKaiFace) {
  for (const char* name : {"No Such Face 4711", "", "\xFF\xFE"}) {
    Face face(FontOpen(name, 16, 0, 0));
    ASSERT_NE(face, nullptr) << name;
    EXPECT_STREQ(FontFamilyName(face.get()), FONT_FALLBACK_FAMILY);
    EXPECT_EQ(FontIsFallback(face.get()), 1);
    EXPECT_GT(Draw(face.get(), "A", 1).lit, 10u) << "the fallback still draws text";
  }
  EXPECT_NE(Face(FontOpen(nullptr, 16, 0, 0)), nullptr) << "a null name opens the fallback too";
  // Without the alias file the Kai names match nothing and still come out in the Kai face.
  ASSERT_EQ(FontSetConfigFile(nullptr), 1);
  Face plain(FontOpen("楷体_GB2312", 16, 0, 0));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(FontIsFallback(plain.get()), 1);
  EXPECT_STREQ(FontFamilyName(plain.get()), FONT_FALLBACK_FAMILY);
  EXPECT_EQ(FontSetConfigFile("/no/such/fonts.conf"), 0);
  EXPECT_EQ(FontSetConfigFile("relative/fonts.conf"), 0);
}

TEST_F(FontFaceTest, MeasuresAndDrawsGbkCharacters) {
  Face face(FontOpen("KaiTi", 16, 0, 0));
  ASSERT_NE(face, nullptr);
  int cx = 0, cy = 0;
  ASSERT_EQ(FontMeasureChar(face.get(), "\xB8\xDF", 2, &cx, &cy), 1);  // 高
  EXPECT_GE(cx, 14);
  EXPECT_LE(cx, 18);
  EXPECT_GE(cy, 16);
  EXPECT_LE(cy, 24);
  int ix = 0, iy = 0;
  ASSERT_EQ(FontMeasureChar(face.get(), "i", 1, &ix, &iy), 1);
  EXPECT_LT(ix, cx) << "Latin letters are narrower than ideographs";
  EXPECT_EQ(iy, cy) << "one line height";
  const Ink gao = Draw(face.get(), "\xB8\xDF", 2);
  EXPECT_GT(gao.lit, 40u);
  // An undefined pair and a lone high byte are drawn as "?".
  const Ink question = Draw(face.get(), "?", 1);
  EXPECT_EQ(Draw(face.get(), "\xFF\xFF", 2).lit, question.lit);
  EXPECT_EQ(Draw(face.get(), "\xB8", 1).lit, question.lit);
  // Bad arguments fail without drawing.
  EXPECT_EQ(FontMeasureChar(nullptr, "a", 1, &cx, &cy), 0);
  EXPECT_EQ(cx, 0);
  EXPECT_EQ(FontMeasureChar(face.get(), "a", 3, &cx, &cy), 0);
  EXPECT_EQ(FontDrawChar(face.get(), "a", 1, 0, 0, 0xFFFFFF, nullptr, 8, 8), 0);
  // Drawn partly or wholly outside the surface: nothing is written past it.
  std::vector<uint8_t> small(8 * 8 * 4 + 64, 0xAB);
  std::fill(small.begin(), small.begin() + 8 * 8 * 4, 0);
  for (int at : {-30, -5, 3, 7, 100})
    EXPECT_EQ(FontDrawChar(face.get(), "\xB8\xDF", 2, at, at, 0xFFFFFF, small.data(), 8, 8), 1);
  for (size_t k = 8 * 8 * 4; k < small.size(); ++k) ASSERT_EQ(small[k], 0xAB);
}

TEST_F(FontFaceTest, SyntheticBoldAndItalic) {
  Face regular(FontOpen("KaiTi", 24, 0, 0));
  Face bold(FontOpen("KaiTi", 24, 1, 0));
  Face italic(FontOpen("KaiTi", 24, 0, 1));
  ASSERT_TRUE(regular && bold && italic);
  const Ink r = Draw(regular.get(), "H", 1), b = Draw(bold.get(), "H", 1), i = Draw(italic.get(), "H", 1);
  EXPECT_GT(b.lit, r.lit * 6 / 5) << "bold strokes are heavier";
  int rx = 0, bx = 0, cy = 0;
  FontMeasureChar(regular.get(), "H", 1, &rx, &cy);
  FontMeasureChar(bold.get(), "H", 1, &bx, &cy);
  EXPECT_GT(bx, rx) << "bold letters advance further";
  EXPECT_GT(i.right - i.left, r.right - r.left) << "a slanted letter is wider";
}

TEST_F(FontFaceTest, GlyphsAreRenderedOncePerCharacter) {
  Face face(FontOpen("KaiTi", 16, 0, 0));
  ASSERT_NE(face, nullptr);
  for (int k = 0; k < 50; ++k) {
    int cx = 0, cy = 0;
    FontMeasureChar(face.get(), "\xB8\xDF", 2, &cx, &cy);
    Draw(face.get(), "\xB8\xDF", 2);
    Draw(face.get(), "A", 1);
  }
  uint64_t rendered = 0, reused = 0;
  FontCacheStats(face.get(), &rendered, &reused);
  EXPECT_EQ(rendered, 2u);
  EXPECT_EQ(reused, 148u);
}

}  // namespace
