// The scene object on headless GL: defaults and GL state after binding, frames presented into the
// host's buffer, off-screen bitmaps, the message table and the trace.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/trace.h"
#include "model/mesh_inputs.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "terrain3d/terrain3d.h"

namespace t3d {
namespace {

std::vector<int> g_messageIds;
int g_answer = TN_IDNO;

int TN_CALL Capture(void*, int id, unsigned, const char*, const char*) {
  g_messageIds.push_back(id);
  return g_answer;
}

struct StateDeleter {
  void operator()(SceneState* state) const { std::free(state); }
};

// A scene object with its zero-filled state block, bound to a headless window with a host buffer.
class HeadlessScene : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messageIds.clear();
    tnSetMessageHandler(&Capture, nullptr);
    state.reset(static_cast<SceneState*>(std::calloc(1, sizeof(SceneState))));
    ASSERT_TRUE(state);
    scene = std::make_unique<SceneObject>();
  }
  void TearDown() override {
    if (scene) scene->Release(*state);
    scene.reset();
    tnSetMessageHandler(nullptr, nullptr);
  }
  void Bind(int width, int height, int pitch = 0) {
    pixels.assign(size_t(pitch != 0 ? pitch : width * 4) * size_t(height) + 64, 0xAB);
    window = TnNativeWindow{};
    window.kind = TN_WINDOW_HEADLESS;
    window.width = width;
    window.height = height;
    window.pixels = pixels.data();
    window.pitch = pitch;
    ASSERT_TRUE(scene->Initialise(*state, &window));
  }
  // Clears the frame to bottom colour, then its top half (by scissor) to top colour.
  static void ClearHalves(int width, int height, const float bottom[3], const float top[3]) {
    glViewport(0, 0, width, height);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(bottom[0], bottom[1], bottom[2], 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, height / 2, width, height - height / 2);
    glClearColor(top[0], top[1], top[2], 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
  }

  std::unique_ptr<SceneState, StateDeleter> state;
  std::unique_ptr<SceneObject> scene;
  TnNativeWindow window{};
  std::vector<uint8_t> pixels;
};

const float kRed[3] = {1, 0, 0};
const float kBlue[3] = {0, 0, 1};

TEST_F(HeadlessScene, DefaultsAndFixedStateAfterBinding) {
  Bind(64, 48);
  const SceneState& s = *state;
  EXPECT_EQ(s.glReady, 1);
  EXPECT_EQ(s.hWnd, &window);
  EXPECT_EQ(scene->clientRect.right, 64);
  EXPECT_EQ(scene->clientRect.bottom, 48);
  EXPECT_FLOAT_EQ(s.lightAmbient[0], 0.5f);
  EXPECT_FLOAT_EQ(s.materialDiffuse[1], 0.8f);
  EXPECT_FLOAT_EQ(s.backColor[1], 0.87f);
  EXPECT_NEAR(s.fogColor[0], 0.7977, 1e-4);
  EXPECT_NEAR(s.fogColor[1], 0.7982, 1e-4);
  EXPECT_NEAR(s.fogColor[2], 0.9991, 1e-4);
  EXPECT_FLOAT_EQ(s.fogDensity, 0.6f);
  EXPECT_STREQ(s.fontFace, "楷体_GB2312");
  EXPECT_EQ(s.fontSize, 12);
  EXPECT_FLOAT_EQ(s.flyDirection[1], 1.0f);
  EXPECT_EQ(s.displayMethod, 1);
  EXPECT_EQ(s.surfaceDisplayMode, 1);
  EXPECT_EQ(s.lightFlag, 1);
  EXPECT_FLOAT_EQ(s.reduceLineCoefficient, 1.25f);
  EXPECT_EQ(s.heightColours.layerCount, 256);
  EXPECT_EQ(s.heightColours.tableNumber, 5);
  EXPECT_EQ(scene->skyDrift, -3.0f);
  // Focal length: half the client height over tan(22.5 degrees).
  EXPECT_NEAR(s.focalLength, 24.0 / std::tan(22.5 * M_PI / 180.0), 1e-9);
  // The colour tables come from their files: table 5, the grey table 11, map areas 32 to 38.
  ColourTable expected{};
  ASSERT_TRUE(LoadColourTable(5, expected));
  EXPECT_EQ(std::memcmp(&expected, &s.heightColours.heightColourTable, sizeof expected), 0);
  ASSERT_TRUE(LoadColourTable(11, expected));
  EXPECT_EQ(std::memcmp(&expected, &s.greyTable, sizeof expected), 0);
  ASSERT_TRUE(LoadColourTable(38, expected));
  EXPECT_EQ(std::memcmp(&expected, &s.mapAreaTables[6], sizeof expected), 0);
  EXPECT_EQ(ColouringOf(s).table, &s.heightColours.heightColourTable);

  EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
  EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_DITHER));
  GLint value = 0;
  glGetIntegerv(GL_DEPTH_FUNC, &value);
  EXPECT_EQ(value, GL_LEQUAL);
  glGetIntegerv(GL_FRONT_FACE, &value);
  EXPECT_EQ(value, GL_CW);
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &value);
  EXPECT_EQ(value, 1);
  glGetIntegerv(GL_DEPTH_BITS, &value);
  EXPECT_GE(value, 24);  // the deepest depth buffer offered
  EXPECT_EQ(scene->packedPixelsExt, 1);  // Mesa lists GL_EXT_packed_pixels
  EXPECT_TRUE(g_messageIds.empty());
}

TEST_F(HeadlessScene, PresentedFrameReachesTheHostBufferTopRowFirst) {
  Bind(64, 48);
  ClearHalves(64, 48, kRed, kBlue);
  ASSERT_TRUE(scene->PresentFrame(*state, kTargetWindow));
  auto pixel = [&](int x, int y) { return &pixels[size_t(y) * 64 * 4 + size_t(x) * 4]; };
  // BGRA: the top half (blue in GL's upper rows) comes first.
  EXPECT_EQ(pixel(0, 0)[0], 255);
  EXPECT_EQ(pixel(0, 0)[2], 0);
  EXPECT_EQ(pixel(63, 23)[0], 255);
  EXPECT_EQ(pixel(0, 24)[2], 255);
  EXPECT_EQ(pixel(63, 47)[2], 255);
  EXPECT_EQ(pixel(63, 47)[0], 0);
  EXPECT_EQ(pixels[64 * 48 * 4], 0xAB);  // nothing written past the buffer
}

TEST_F(HeadlessScene, HostPitchAndNewClientSizeAreHonoured) {
  Bind(10, 6, 48);  // 40 bytes of pixels, 8 of padding per row
  ClearHalves(10, 6, kRed, kRed);
  ASSERT_TRUE(scene->PresentFrame(*state, kTargetWindow));
  EXPECT_EQ(pixels[2], 255);
  EXPECT_EQ(pixels[40], 0xAB);  // padding untouched
  EXPECT_EQ(pixels[48 + 2], 255);

  // The host grows the window (and its buffer) between frames.
  std::vector<uint8_t> larger(20 * 12 * 4, 0);
  window.width = 20;
  window.height = 12;
  window.pitch = 0;
  window.pixels = larger.data();
  state->hDC->Resize(20, 12);
  ASSERT_TRUE(scene->MakeWindowCurrent(*state));
  ClearHalves(20, 12, kBlue, kBlue);
  ASSERT_TRUE(scene->PresentFrame(*state, kTargetWindow));
  EXPECT_EQ(larger[0], 255);
  EXPECT_EQ(larger[(20 * 12 - 1) * 4], 255);

  // And shrinks it: only what the smaller buffer holds is written.
  std::vector<uint8_t> smaller(4 * 3 * 4 + 16, 0xCD);
  window.width = 4;
  window.height = 3;
  window.pixels = smaller.data();
  ASSERT_TRUE(scene->PresentFrame(*state, kTargetWindow));
  EXPECT_EQ(smaller[0], 255);
  EXPECT_EQ(smaller[4 * 3 * 4], 0xCD);
}

TEST_F(HeadlessScene, OffscreenBitmapIsBottomUpWithPaddedRows) {
  Bind(64, 48);
  platform::GlContext* windowContext = state->hGLRC;
  ASSERT_TRUE(scene->BeginOffscreen(*state, 30, 20));
  EXPECT_NE(state->hGLRC, windowContext);
  EXPECT_EQ(state->hSavedGLRC, windowContext);
  const platform::DibHeader& header = state->dibInfo.header;
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biWidth, 30);
  EXPECT_EQ(header.biHeight, 20);
  EXPECT_EQ(header.biPlanes, 1);
  EXPECT_EQ(header.biBitCount, 32);  // the headless window's depth
  EXPECT_EQ(header.biSizeImage, 30u * 4 * 20);
  ASSERT_NE(state->dibBits, nullptr);

  ClearHalves(30, 20, kRed, kBlue);
  ASSERT_TRUE(scene->PresentFrame(*state, kTargetOffscreen));
  const auto* bits = static_cast<const uint8_t*>(state->dibBits);
  EXPECT_EQ(bits[2], 255);  // first row is the bottom row: red
  EXPECT_EQ(bits[0], 0);
  EXPECT_EQ(bits[size_t(19) * 120 + 0], 255);  // last row: blue

  scene->EndOffscreen(*state);
  EXPECT_EQ(state->hGLRC, windowContext);
  EXPECT_EQ(state->hSavedGLRC, nullptr);
  EXPECT_EQ(state->hMemDC, nullptr);
  EXPECT_EQ(state->dibBits, nullptr);
  // The window context is current again and presents.
  ClearHalves(64, 48, kBlue, kBlue);
  ASSERT_TRUE(scene->PresentFrame(*state, kTargetWindow));
  EXPECT_EQ(pixels[0], 255);
  EXPECT_TRUE(g_messageIds.empty());
}

TEST_F(HeadlessScene, OffscreenOf16BitsPacksFiveFiveFive) {
  window = TnNativeWindow{};
  window.kind = TN_WINDOW_HEADLESS;
  window.width = 8;
  window.height = 8;
  window.depth = 16;
  ASSERT_TRUE(scene->Initialise(*state, &window));
  ASSERT_TRUE(scene->BeginOffscreen(*state, 3, 2));
  EXPECT_EQ(state->dibInfo.header.biBitCount, 16);
  EXPECT_EQ(state->dibInfo.header.biSizeImage, 8u * 2);  // 6 bytes padded to 8 per row
  ClearHalves(3, 2, kRed, kRed);
  ASSERT_TRUE(scene->PresentFrame(*state, kTargetOffscreen));
  uint16_t first = 0;
  std::memcpy(&first, state->dibBits, 2);
  EXPECT_EQ(first, 0x7C00);  // red in bits 10 to 14, top bit clear
  scene->EndOffscreen(*state);
}

TEST_F(HeadlessScene, OffscreenSizesThatCannotBeHeldGiveMessage5) {
  Bind(32, 32);
  platform::GlContext* windowContext = state->hGLRC;
  for (auto size : {std::pair<int, int>{20000, 20000}, {0, 10}, {-5, 5}, {100000, 1}}) {
    g_messageIds.clear();
    EXPECT_FALSE(scene->BeginOffscreen(*state, size.first, size.second));
    ASSERT_EQ(g_messageIds.size(), 1u) << size.first << "x" << size.second;
    EXPECT_EQ(g_messageIds[0], 5);
    EXPECT_EQ(state->hGLRC, windowContext);
    EXPECT_EQ(state->hMemDC, nullptr);
  }
  // The window context still draws.
  ClearHalves(32, 32, kRed, kRed);
  ASSERT_TRUE(scene->PresentFrame(*state, kTargetWindow));
  EXPECT_EQ(pixels[2], 255);
}

TEST_F(HeadlessScene, OffscreenNeedsABoundWindowAndIsNotNested) {
  EXPECT_FALSE(scene->BeginOffscreen(*state, 10, 10));  // not bound
  Bind(16, 16);
  ASSERT_TRUE(scene->BeginOffscreen(*state, 10, 10));
  EXPECT_FALSE(scene->BeginOffscreen(*state, 10, 10));
  EXPECT_NE(state->hMemDC, nullptr);
  // Releasing while off screen ends the off-screen rendering too.
  scene->Release(*state);
  EXPECT_EQ(state->hMemDC, nullptr);
  EXPECT_EQ(state->hDC, nullptr);
  EXPECT_EQ(state->glReady, 0);
  EXPECT_FALSE(scene->PresentFrame(*state, kTargetWindow));
}

TEST(Messages, StringTableAndQuestions) {
  for (int id = 1; id <= 29; ++id) EXPECT_NE(MessageText(id), nullptr) << id;
  EXPECT_EQ(MessageText(0), nullptr);
  EXPECT_EQ(MessageText(30), nullptr);
  EXPECT_STREQ(MessageText(29), "输出影像大小不能超过2G!");
  EXPECT_STREQ(MessageText(5),
               "    你所选择的输出分辨率已超过了当前颜色模式所支持\n的最大分辨率!  "
               "请根据显卡的实际容量进行选择.");

  g_messageIds.clear();
  tnSetMessageHandler(&Capture, nullptr);
  g_answer = TN_IDYES;
  EXPECT_EQ(AskMessage(MessageId::kSaveTextureLibrary), TN_IDYES);
  g_answer = 12345;  // anything but Yes counts as No
  EXPECT_EQ(AskMessage(MessageId::kSaveTextureLibrary), TN_IDNO);
  EXPECT_EQ(AskMessage(MessageId(99)), TN_IDNO);  // unknown: not asked
  ShowMessage(MessageId::kNone);                     // unknown: not shown
  ShowFixedMessage("创建BMP文件错!");
  EXPECT_EQ(g_messageIds, (std::vector<int>{14, 14, 0}));
  g_answer = TN_IDNO;

  // The default handler never blocks and answers No; with a Chinese locale it prints the
  // library's own texts.
  tnSetMessageHandler(nullptr, nullptr);
  ::setenv("LC_ALL", "zh_CN.UTF-8", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(AskMessage(MessageId::kSaveTextureLibrary), TN_IDNO);
  const std::string printed = testing::internal::GetCapturedStderr();
  ::unsetenv("LC_ALL");
  EXPECT_NE(printed.find("系统信息提示"), std::string::npos);
  EXPECT_NE(printed.find("是否对当前数据建立纹理库"), std::string::npos);
}

std::vector<std::string> g_traced;
void TN_CALL CaptureTrace(void*, const char* line) { g_traced.push_back(line); }

TEST(Trace, GoesToTheInstalledHandler) {
  tnSetTraceHandler(&CaptureTrace, nullptr);
  Trace("映射失败!");
  tnSetTraceHandler(nullptr, nullptr);
  Trace("not captured");
  EXPECT_EQ(g_traced, std::vector<std::string>{"映射失败!"});
}

}  // namespace
}  // namespace t3d
