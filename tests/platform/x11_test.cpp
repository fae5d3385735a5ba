// GLX on a host's X11 window: the library draws into a plain Xlib window that the test (as the
// host) made, and the host reads the presented frame back through its own connection.
// GoogleTest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <memory>

#include "host_window.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "terrain3d/terrain3d.h"

namespace t3d {
namespace {

struct StateDeleter {
  void operator()(SceneState* state) const { std::free(state); }
};

class X11Scene : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    ASSERT_TRUE(host.Open(nullptr, 64, 48, "x11_test")) << host.error();
    state.reset(static_cast<SceneState*>(std::calloc(1, sizeof(SceneState))));
    scene = std::make_unique<SceneObject>();
    window.kind = TN_WINDOW_X11;
    window.displayName = nullptr;
    window.window = host.window();
  }
  void TearDown() override {
    if (scene) scene->Release(*state);
    scene.reset();
  }

  t3dhost::XHostWindow host;
  std::unique_ptr<SceneState, StateDeleter> state;
  std::unique_ptr<SceneObject> scene;
  TnNativeWindow window{};
};

TEST_F(X11Scene, FramePresentedOnTheHostWindow) {
  ASSERT_TRUE(scene->Initialise(*state, &window));
  EXPECT_EQ(scene->clientRect.right, 64);
  EXPECT_EQ(scene->clientRect.bottom, 48);
  int info[3] = {-1, 0, 0};
  ASSERT_TRUE(scene->GetDeviceInfo(*state, info));
  EXPECT_EQ(info[0], 3);  // Xvfb's 24-bit screen
  EXPECT_EQ(info[1], WidthOfScreen(DefaultScreenOfDisplay(host.display())));
  EXPECT_NE(scene->GetGLInfo(*state, 2), nullptr);

  glViewport(0, 0, 64, 48);
  glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  // A red band over the top quarter tells top from bottom.
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 36, 64, 12);
  glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  ASSERT_TRUE(scene->PresentFrame(*state, kTargetWindow));

  unsigned long rgb = 0;
  ASSERT_TRUE(host.ReadPixel(10, 2, rgb));
  EXPECT_EQ(rgb, 0xff0000ul);
  ASSERT_TRUE(host.ReadPixel(50, 40, rgb));
  EXPECT_EQ(rgb, 0x00ff00ul);
}

TEST_F(X11Scene, OffscreenBitmapTakesTheWindowDepth) {
  ASSERT_TRUE(scene->Initialise(*state, &window));
  ASSERT_TRUE(scene->BeginOffscreen(*state, 30, 10));
  EXPECT_EQ(state->dibInfo.header.biBitCount, 24);
  EXPECT_EQ(state->dibInfo.header.biSizeImage, 92u * 10);  // 90 bytes padded to 92
  glViewport(0, 0, 30, 10);
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  ASSERT_TRUE(scene->PresentFrame(*state, kTargetOffscreen));
  const auto* bits = static_cast<const uint8_t*>(state->dibBits);
  EXPECT_EQ(bits[0], 255);       // BGR: blue first
  EXPECT_EQ(bits[89], 0);        // red of the last pixel of the row
  EXPECT_EQ(bits[92 * 9], 255);  // the last row starts after the padding
  scene->EndOffscreen(*state);
  EXPECT_NE(scene->GetGLInfo(*state, 0), nullptr);
}

TEST_F(X11Scene, MissingWindowFailsWithoutEndingTheProcess) {
  window.window = 0x7ffffff;  // no such window
  EXPECT_FALSE(scene->Initialise(*state, &window));
  EXPECT_EQ(state->glReady, 0);
}

}  // namespace
}  // namespace t3d
