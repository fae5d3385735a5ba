// The exported interface as a host sees it: result conventions, the scene object's life, device
// and GL information, and messages through the host's handler.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "terrain3d/terrain3d.h"

namespace {

struct Captured {
  int id;
  unsigned style;
  std::string caption;
  std::string text;
};

std::vector<Captured>* g_messages = nullptr;
int g_answer = TN_IDNO;

int TN_CALL Capture(void*, int id, unsigned style, const char* caption, const char* text) {
  if (g_messages != nullptr) g_messages->push_back({id, style, caption, text});
  return g_answer;
}

class ApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages = &messages;
    tnSetMessageHandler(&Capture, nullptr);
    ASSERT_EQ(tnCreateTin3DDraw(&scene, &state), TN_OK);
    ASSERT_NE(scene, nullptr);
    ASSERT_NE(state, nullptr);
  }
  void TearDown() override {
    tnRelease3DScene(scene, state);
    EXPECT_EQ(tnDeleteTin3DDraw(scene, state), TN_OK);
    tnSetMessageHandler(nullptr, nullptr);
    g_messages = nullptr;
  }
  // The host keeps its window record alive until tnRelease3DScene: the fixture holds it.
  TnNativeWindow& Headless(int width, int height, int depth = 0) {
    windows.emplace_back();
    TnNativeWindow& window = windows.back();
    window.kind = TN_WINDOW_HEADLESS;
    window.width = width;
    window.height = height;
    window.depth = depth;
    return window;
  }

  void* scene = nullptr;
  void* state = nullptr;
  std::vector<Captured> messages;
  std::deque<TnNativeWindow> windows;
};

TEST_F(ApiTest, HeadlessWindowReportsGLAndDevice) {
  TnNativeWindow& window = Headless(64, 48);
  ASSERT_EQ(tnInitial3DScene(scene, state, &window), TN_OK);
  EXPECT_TRUE(messages.empty());
  const char* vendor = tnGetGLInfo(scene, state, 0);
  const char* renderer = tnGetGLInfo(scene, state, 1);
  const char* version = tnGetGLInfo(scene, state, 2);
  ASSERT_NE(vendor, nullptr);
  ASSERT_NE(renderer, nullptr);
  ASSERT_NE(version, nullptr);
  EXPECT_GT(std::string(vendor).size(), 0u);
  EXPECT_NE(std::string(version).find("Compatibility"), std::string::npos) << version;

  int info[3] = {-1, -1, -1};
  ASSERT_EQ(tnGetDeviceInfo(scene, state, info), TN_OK);
  EXPECT_EQ(info[0], 4);  // 32 bits per pixel
  EXPECT_EQ(info[1], 64);
  EXPECT_EQ(info[2], 48);
}

TEST_F(ApiTest, DepthClassFollowsTheDisplayDepth) {
  const int depths[] = {16, 24, 32};
  const int classes[] = {2, 3, 4};
  for (int i = 0; i < 3; ++i) {
    TnNativeWindow& window = Headless(20, 10, depths[i]);
    ASSERT_EQ(tnInitial3DScene(scene, state, &window), TN_OK) << depths[i];
    int info[3] = {-1, 0, 0};
    ASSERT_EQ(tnGetDeviceInfo(scene, state, info), TN_OK);
    EXPECT_EQ(info[0], classes[i]) << depths[i];
  }
  // A depth without a class (30 bits) leaves the class alone but still gives the screen size.
  TnNativeWindow& window = Headless(20, 10, 30);
  ASSERT_EQ(tnInitial3DScene(scene, state, &window), TN_OK);
  int info[3] = {-7, 0, 0};
  ASSERT_EQ(tnGetDeviceInfo(scene, state, info), TN_OK);
  EXPECT_EQ(info[0], -7);
  EXPECT_EQ(info[1], 20);
  EXPECT_EQ(info[2], 10);
}

TEST_F(ApiTest, LowColourDisplaysAreRefusedWithMessage11) {
  for (int depth : {8, 15}) {
    messages.clear();
    TnNativeWindow& window = Headless(64, 48, depth);
    EXPECT_EQ(tnInitial3DScene(scene, state, &window), TN_E_FAIL) << depth;
    ASSERT_EQ(messages.size(), 1u) << depth;
    EXPECT_EQ(messages[0].id, 11);
    EXPECT_EQ(messages[0].style, unsigned(TN_MB_EXCLAMATION_OK));
    EXPECT_EQ(messages[0].caption, "系统信息提示");
    EXPECT_EQ(messages[0].text, "当前显示模式应设置为高彩色或真彩色!");
    EXPECT_EQ(tnGetGLInfo(scene, state, 0), nullptr);  // glReady stays 0
  }
}

TEST_F(ApiTest, UnusableWindowsFailQuietly) {
  EXPECT_EQ(tnInitial3DScene(scene, state, nullptr), TN_E_FAIL);
  TnNativeWindow unknown{};
  unknown.kind = 42;
  EXPECT_EQ(tnInitial3DScene(scene, state, &unknown), TN_E_FAIL);
  TnNativeWindow noWindow{};
  noWindow.kind = TN_WINDOW_X11;
  noWindow.displayName = ":12345";  // no such display
  noWindow.window = 1;
  EXPECT_EQ(tnInitial3DScene(scene, state, &noWindow), TN_E_FAIL);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(tnGetGLInfo(scene, state, 0), nullptr);
}

TEST_F(ApiTest, ReleaseAndBindAgain) {
  TnNativeWindow& window = Headless(32, 32);
  ASSERT_EQ(tnInitial3DScene(scene, state, &window), TN_OK);
  EXPECT_EQ(tnRelease3DScene(scene, state), TN_OK);
  EXPECT_EQ(tnGetGLInfo(scene, state, 0), nullptr);
  EXPECT_EQ(tnRelease3DScene(scene, state), TN_OK);  // twice is harmless

  ASSERT_EQ(tnInitial3DScene(scene, state, &window), TN_OK);
  EXPECT_NE(tnGetGLInfo(scene, state, 2), nullptr);
  // Binding again while bound replaces the context.
  ASSERT_EQ(tnInitial3DScene(scene, state, &window), TN_OK);
  EXPECT_NE(tnGetGLInfo(scene, state, 2), nullptr);
}

TEST_F(ApiTest, TwoScenesHaveTheirOwnContexts) {
  void* scene2 = nullptr;
  void* state2 = nullptr;
  ASSERT_EQ(tnCreateTin3DDraw(&scene2, &state2), TN_OK);
  TnNativeWindow& a = Headless(16, 16);
  TnNativeWindow& b = Headless(24, 8);
  ASSERT_EQ(tnInitial3DScene(scene, state, &a), TN_OK);
  ASSERT_EQ(tnInitial3DScene(scene2, state2, &b), TN_OK);
  int info[3] = {};
  ASSERT_EQ(tnGetDeviceInfo(scene2, state2, info), TN_OK);
  EXPECT_EQ(info[1], 24);
  // Deleting the second without releasing it still frees its context; the first keeps working.
  EXPECT_EQ(tnDeleteTin3DDraw(scene2, state2), TN_OK);
  EXPECT_NE(tnGetGLInfo(scene, state, 1), nullptr);
}

TEST_F(ApiTest, CallsWithoutTheirRecordsFailAndWriteNothing) {
  TnNativeWindow& window = Headless(16, 16);
  ASSERT_EQ(tnInitial3DScene(scene, state, &window), TN_OK);
  EXPECT_EQ(tnLoadMapArea(scene, state, 1), TN_E_FAIL);
  EXPECT_EQ(tnRecord3DScene(scene, state, nullptr), TN_E_FAIL);
  EXPECT_EQ(PlayAVIWnd(nullptr), 0);
  EXPECT_EQ(SelectTextureFile(nullptr), 0);
}

TEST(ColourTables, ComeByNumberWithTheirNamesAndColours) {
  TnColourTableInfo info{};
  ASSERT_EQ(tnGetColourTable(5, &info), 1);  // the default table
  EXPECT_STREQ(info.name, "terrain");
  EXPECT_NE(std::string(info.description).find("hypsometric"), std::string::npos);
  // Every table has a name of its own, and its colours as the file holds them.
  std::vector<std::string> names;
  for (int number = 0; number < 39; ++number) {
    TnColourTableInfo table{};
    ASSERT_EQ(tnGetColourTable(number, &table), 1) << number;
    names.push_back(table.name);
    EXPECT_NE(table.description[0], '\0') << number;
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
  ASSERT_EQ(tnGetColourTable(11, &info), 1);  // the grey display table: a ramp
  EXPECT_STREQ(info.name, "newgrey");
  EXPECT_LT(info.colours[0][0], info.colours[255][0]);
  EXPECT_EQ(info.colours[128][0], info.colours[128][1]);

  // Numbers beyond the tables and a null record leave everything alone.
  TnColourTableInfo untouched{};
  untouched.name[0] = 'x';
  EXPECT_EQ(tnGetColourTable(39, &untouched), 0);
  EXPECT_EQ(tnGetColourTable(-1, &untouched), 0);
  EXPECT_EQ(untouched.name[0], 'x');
  EXPECT_EQ(tnGetColourTable(0, nullptr), 0);
}

}  // namespace
