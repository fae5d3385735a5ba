// A scene on a headless window whose frames land in a host buffer, for the tests that draw.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "model/scene_object.h"
#include "model/scene_state.h"
#include "platform/environment.h"
#include "terrain3d/terrain3d.h"

namespace testgrids {

class TestScene {
 public:
  // Installs the handlers (null: the defaults) for the life of the scene. depth is the window's
  // bits per pixel (0: 32).
  TestScene(int width, int height, TnDialogHandler dialogs = nullptr,
            TnMessageHandler messages = nullptr, int depth = 0)
      : pixels_(size_t(width) * size_t(height) * 4, 0) {
    BaseResetEnvironment();
    tnSetDialogHandler(dialogs, nullptr);
    tnSetMessageHandler(messages, nullptr);
    EXPECT_EQ(tnCreateTin3DDraw(&scene_, &state_), TN_OK);
    window_.kind = TN_WINDOW_HEADLESS;
    window_.width = width;
    window_.height = height;
    window_.depth = depth;
    window_.pixels = pixels_.data();
    EXPECT_EQ(tnInitial3DScene(scene_, state_, &window_), TN_OK);
    EXPECT_EQ(tnReshape(scene_, state_, width, height), TN_OK);
  }
  ~TestScene() {
    tnRelease3DScene(scene_, state_);
    tnDeleteTin3DDraw(scene_, state_);
    if (dem_ > 0) tnDemClose(dem_);
    tnSetDialogHandler(nullptr, nullptr);
    tnSetMessageHandler(nullptr, nullptr);
  }
  TestScene(const TestScene&) = delete;
  TestScene& operator=(const TestScene&) = delete;

  // Prepares the grid file (opened once, reopened when another file is asked for).
  bool Prepare(const std::string& path) {
    if (dem_ > 0 && path != demPath_) {
      tnDemClose(dem_);
      dem_ = 0;
    }
    if (dem_ <= 0) {
      dem_ = tnDemOpen(path.c_str());
      demPath_ = path;
    }
    return dem_ > 0 && tnPrepare3DScene(scene_, state_, dem_) == TN_OK;
  }
  // Colour of the pixel at (column, row from the top) of the last frame presented: b, g, r.
  const uint8_t* Pixel(int column, int row) const {
    return &pixels_[(size_t(row) * size_t(window_.width) + size_t(column)) * 4];
  }
  void* scene() const { return scene_; }
  void* state() const { return state_; }
  t3d::SceneObject& object() const { return *static_cast<t3d::SceneObject*>(scene_); }
  t3d::SceneState& block() const { return *static_cast<t3d::SceneState*>(state_); }
  int width() const { return window_.width; }
  int height() const { return window_.height; }
  std::vector<uint8_t>& pixels() { return pixels_; }
  const std::vector<uint8_t>& pixels() const { return pixels_; }

 private:
  void* scene_ = nullptr;
  void* state_ = nullptr;
  TnNativeWindow window_{};
  std::vector<uint8_t> pixels_;
  int dem_ = 0;
  std::string demPath_;
};

}  // namespace testgrids
