// A scene for the map layer suites: the map files it opens are closed with it, the eye is put by
// map position and height in metres, and frames come back as pictures, on the window or off
// screen.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "image_files.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_pictures.h"
#include "test_scene.h"

namespace testgrids {

class MapLayerScene : public TestScene {
 public:
  MapLayerScene(int width, int height)
      : TestScene(width, height, &KeepHeightsDialog, &RecordMessage) {}
  ~MapLayerScene() {
    for (uint16_t slot : slots_) tnMapClose(slot);
  }
  // Opens a map file (no reprojection) into a slot closed with the scene.
  uint16_t Open(const std::string& path) {
    const uint16_t slot = tnMapOpen(path.c_str(), nullptr, nullptr, nullptr);
    EXPECT_GT(slot, 0) << tnMapLastError();
    slots_.push_back(slot);
    return slot;
  }
  // Puts the eye at map x, y and a height in metres, looking at a ground point.
  void Look(double x, double y, double metres, double atX, double atY) {
    TnSceneInfo info{};
    ASSERT_EQ(tnGetSceneInfo(scene(), state(), &info), TN_OK);
    float eye[3] = {float(x), float(y), float(metres / info.zScale)};
    float centre[2] = {float(atX), float(atY)};
    ASSERT_EQ(SetEyeCenterPosition(scene(), state(), eye, centre), TN_OK);
  }
  t3dhost::Picture Frame() { return FramePicture(*this); }
  // The same frame drawn off screen into a bitmap file (removed after reading).
  t3dhost::Picture Offscreen(const std::string& name) {
    const std::string bmp = GridPath(name + ".bmp");
    TnOutputRequest request = OutputRequest(TN_OUTPUT_BMP, bmp, width(), height());
    EXPECT_EQ(tnOutput3DScene(scene(), state(), &request), TN_OK);
    t3dhost::Picture picture;
    std::string error;
    EXPECT_TRUE(t3dhost::ReadBmp(bmp, picture, error)) << error;
    std::remove(bmp.c_str());
    return picture;
  }

 private:
  std::vector<uint16_t> slots_;
};

}  // namespace testgrids
