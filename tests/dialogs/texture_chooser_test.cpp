// The texture file chooser's preview rules and its copy into the host's buffer, and the video
// player's answers, on a stand-in view.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dialogs/texture_chooser.h"
#include "test_grids.h"
#include "suite_setup.h"

using namespace t3d::dialogs;
using testgrids::GridPath;

namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = uint8_t(v >> (8 * k));
}

// A BMP of width x height at bpp 8, 16 (5-5-5), 24 or 32; pixel (x, y) from the top gets the
// colour f(x, y) as 0xRRGGBB. topDown writes a negative height.
void WriteBmp(const std::string& path, int width, int height, int bpp,
              uint32_t (*f)(int, int), bool topDown = false) {
  const int palette = bpp == 8 ? 1024 : 0;
  const size_t stride = (size_t(width) * bpp / 8 + 3) / 4 * 4;
  std::vector<uint8_t> b(54 + palette + stride * height, 0);
  b[0] = 'B', b[1] = 'M';
  Put32(b, 2, uint32_t(b.size()));
  Put32(b, 10, 54 + palette);
  Put32(b, 14, 40);
  Put32(b, 18, uint32_t(width));
  Put32(b, 22, uint32_t(topDown ? -height : height));
  b[26] = 1;
  b[28] = uint8_t(bpp);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = b.data() + 54 + palette + stride * size_t(topDown ? y : height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const uint32_t c = f(x, y);
      const uint8_t r = c >> 16, g = c >> 8, bl = uint8_t(c);
      if (bpp == 24) row[x * 3] = bl, row[x * 3 + 1] = g, row[x * 3 + 2] = r;
      if (bpp == 32) row[x * 4] = bl, row[x * 4 + 1] = g, row[x * 4 + 2] = r;
      if (bpp == 16) {
        const uint16_t p = uint16_t((r >> 3) << 10 | (g >> 3) << 5 | bl >> 3);
        row[x * 2] = uint8_t(p), row[x * 2 + 1] = uint8_t(p >> 8);
      }
      if (bpp == 8) row[x] = uint8_t(x);
    }
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(b.data(), 1, b.size(), file);
  std::fclose(file);
}

uint32_t Quadrants(int x, int y) {
  return x < 128 ? (y < 128 ? 0xff0000u : 0x00ff00u) : (y < 128 ? 0x0000ffu : 0xffffffu);
}

std::vector<uint8_t> Pixel(const PreviewPicture& p, int x, int y) {
  const uint8_t* c = p.rgb.data() + (size_t(y) * p.width + x) * 3;
  return {c[0], c[1], c[2]};
}

TEST(TexturePreview, SmallTrueColourImagesArePreviewed) {
  PreviewPicture picture;
  for (bool topDown : {false, true}) {
    const std::string path = GridPath(topDown ? "down.bmp" : "square.bmp");
    WriteBmp(path, 256, 256, 24, Quadrants, topDown);
    ASSERT_EQ(PreviewFor(path, picture), T3D_PREVIEW_PICTURE);
    ASSERT_EQ(picture.width, 256);
    ASSERT_EQ(picture.height, 256);
    EXPECT_EQ(Pixel(picture, 10, 10), (std::vector<uint8_t>{255, 0, 0})) << topDown;  // top left
    EXPECT_EQ(Pixel(picture, 10, 250), (std::vector<uint8_t>{0, 255, 0})) << topDown;
    EXPECT_EQ(Pixel(picture, 250, 10), (std::vector<uint8_t>{0, 0, 255})) << topDown;
  }
  const std::string sixteen = GridPath("sixteen.BMP");  // the extension in any case
  WriteBmp(sixteen, 300, 20, 16, [](int, int) { return 0xff0000u; });
  ASSERT_EQ(PreviewFor(sixteen, picture), T3D_PREVIEW_PICTURE);
  EXPECT_EQ(Pixel(picture, 299, 19), (std::vector<uint8_t>{255, 0, 0}));
  const std::string edge = GridPath("edge.bmp");
  WriteBmp(edge, 511, 3, 32, [](int, int) { return 0x102030u; });
  ASSERT_EQ(PreviewFor(edge, picture), T3D_PREVIEW_PICTURE);
  EXPECT_EQ(Pixel(picture, 0, 0), (std::vector<uint8_t>{0x10, 0x20, 0x30}));
}

TEST(TexturePreview, LargePalettedAndBrokenImagesShowThePanelText) {
  PreviewPicture picture;
  const std::string wide = GridPath("wide.bmp");
  WriteBmp(wide, 600, 400, 24, [](int, int) { return 0u; });
  EXPECT_EQ(PreviewFor(wide, picture), T3D_PREVIEW_TEXT);
  EXPECT_EQ(picture.width, 600);  // read from the header alone
  const std::string tall = GridPath("tall.bmp");
  WriteBmp(tall, 4, 512, 24, [](int, int) { return 0u; });
  EXPECT_EQ(PreviewFor(tall, picture), T3D_PREVIEW_TEXT);
  const std::string paletted = GridPath("paletted.bmp");
  WriteBmp(paletted, 64, 64, 8, [](int, int) { return 0u; });
  EXPECT_EQ(PreviewFor(paletted, picture), T3D_PREVIEW_TEXT);
  // Cut short after the header: no picture, and no read past the file.
  const std::string cut = GridPath("cut.bmp");
  WriteBmp(cut, 100, 100, 24, [](int, int) { return 0u; });
  ASSERT_EQ(truncate(cut.c_str(), 54 + 300), 0);
  EXPECT_EQ(PreviewFor(cut, picture), T3D_PREVIEW_TEXT);
  EXPECT_EQ(PreviewFor(GridPath("missing.bmp"), picture), T3D_PREVIEW_TEXT);
  EXPECT_EQ(PreviewFor("", picture), T3D_PREVIEW_TEXT);
  // Another extension leaves the panel empty.
  EXPECT_EQ(PreviewFor(GridPath("square.png"), picture), T3D_PREVIEW_EMPTY);
  EXPECT_EQ(PreviewFor("/some.bmp.dir/file", picture), T3D_PREVIEW_EMPTY);
}

TEST(TexturePreview, ANameWithoutExtensionPreviewsAsBmp) {
  EXPECT_EQ(PreviewPath("/data/stone"), "/data/stone.bmp");
  EXPECT_EQ(PreviewPath("/data/stone.bmp"), "/data/stone.bmp");
  EXPECT_EQ(PreviewPath("/data.d/stone"), "/data.d/stone.bmp");
  EXPECT_EQ(PreviewPath("/data/stone.jpg"), "/data/stone.jpg");
  EXPECT_EQ(PreviewPath(""), "");
}

// A chooser view that "picks" whatever path the test sets, and records the preview it gets.
struct ChooserView {
  static std::string pick;
  static int answer;
  static int previewed;
  static T3dDialogView View() {
    T3dDialogView view{};
    view.version = T3D_DIALOG_VIEW_VERSION;
    view.chooseFile = [](const T3dFileChooser* chooser, char* out, size_t size) {
      EXPECT_STREQ(chooser->caption, "请选择纹理数据(大小不超过256*256)");
      EXPECT_STREQ(chooser->filterName, "位图文件(*.bmp)");
      EXPECT_STREQ(chooser->panelText, "\n\n图片预览");
      EXPECT_EQ(size, kTexturePathBuffer);
      T3dPreview shown{};
      previewed = chooser->preview(chooser->self, pick.c_str(), &shown);
      if (previewed == T3D_PREVIEW_PICTURE) {
        EXPECT_NE(shown.rgb, nullptr);
      }
      // Writes as much as it is given, terminated or not.
      const size_t n = pick.size() < size ? pick.size() : size;
      std::memcpy(out, pick.data(), n);
      if (n < size) out[n] = '\0';
      return answer;
    };
    view.message = [](const char*, const char*) {};
    view.playVideo = [](const T3dVideoSource*, const char*) { return 1; };
    return view;
  }
};
std::string ChooserView::pick;
int ChooserView::answer = 1;
int ChooserView::previewed = 0;

TEST(TextureChooser, CopiesTheChosenPathWithinTheHostBuffer) {
  const T3dDialogView view = ChooserView::View();
  const std::string square = GridPath("square.bmp");
  WriteBmp(square, 256, 256, 24, Quadrants);
  std::vector<char> host(kTexturePathBuffer + 16, '#');
  ChooserView::pick = square;
  ChooserView::answer = 1;
  ASSERT_EQ(SelectTexture(&view, host.data()), 1);
  EXPECT_EQ(ChooserView::previewed, T3D_PREVIEW_PICTURE);
  EXPECT_EQ(std::string(host.data()), square);
  EXPECT_EQ(host[square.size() + 1], '#');  // nothing past the path's zero

  // A name typed without its extension previews as the BMP.
  ChooserView::pick = square.substr(0, square.size() - 4);
  ASSERT_EQ(SelectTexture(&view, host.data()), 1);
  EXPECT_EQ(ChooserView::previewed, T3D_PREVIEW_PICTURE);

  // Cancel, and paths that fill the buffer: 0, the host's buffer as it was.
  std::fill(host.begin(), host.end(), '#');
  ChooserView::answer = 0;
  EXPECT_EQ(SelectTexture(&view, host.data()), 0);
  ChooserView::answer = 1;
  ChooserView::pick = "/" + std::string(kTexturePathBuffer, 'a');
  EXPECT_EQ(SelectTexture(&view, host.data()), 0);
  for (char c : host) ASSERT_EQ(c, '#');
  // The longest path that fits: 259 bytes and the zero.
  ChooserView::pick = "/" + std::string(kTexturePathBuffer - 2, 'b');
  ASSERT_EQ(SelectTexture(&view, host.data()), 1);
  EXPECT_EQ(std::strlen(host.data()), kTexturePathBuffer - 1);
  EXPECT_EQ(host[kTexturePathBuffer], '#');
  // Without a view (no display): 0.
  EXPECT_EQ(SelectTexture(nullptr, host.data()), 0);
}

TEST(VideoPlayer, AFileThatCannotBeOpenedShowsThePlayersError) {
  static std::string caption, text;
  static int played = 0;
  T3dDialogView view{};
  view.message = [](const char* c, const char* t) { caption = c, text = t; };
  view.playVideo = [](const T3dVideoSource*, const char*) { return ++played, 1; };
  EXPECT_EQ(PlayVideo(&view, nullptr, "/no/such.avi"), 0);
  EXPECT_EQ(caption, "三维场景播放窗口");
  EXPECT_NE(text.find("/no/such.avi"), std::string::npos);
  EXPECT_EQ(played, 0);
  EXPECT_EQ(PlayVideo(nullptr, nullptr, "/no/such.avi"), 0);  // no display
  T3dVideoSource video{};
  video.width = 8;
  video.height = 6;
  EXPECT_EQ(PlayVideo(&view, &video, "x.avi"), 1);
  EXPECT_EQ(played, 1);
}

}  // namespace
