// The sample host engine of the block scene draws what the scene interface draws: the same
// grid seen from the same eye (lighting, fog and sky off, so that only the vertex colours and
// the level-of-detail meshes count) gives the same terrain pixels within a small tolerance.
// Both pictures are left as blockview_host.png and blockview_scene.png for a look.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "blockview_engine.h"
#include "image_files.h"
#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "test_grids.h"
#include "test_scene.h"

namespace {

bool Background(const uint8_t* p) { return p[0] < 8 && p[1] < 8 && p[2] < 8; }

TEST(BlockViewPicture, HostEngineMatchesTheSceneInterface) {
  const std::string dem = testgrids::kSource + "/data/samples/volcano.tif";
  const int width = 320, height = 240;
  t3dhost::Picture scenePicture;
  float eye[3], centre[2];
  {
    testgrids::TestScene scene(width, height, testgrids::DefaultDialog, testgrids::AnswerNo);
    ASSERT_TRUE(scene.Prepare(dem));
    void* s = scene.scene();
    void* st = scene.state();
    ASSERT_EQ(SetLightFlag(s, st, 0), TN_OK);
    ASSERT_EQ(SetFogFlag(s, st, 0), TN_OK);
    SetSkyFlag(s, st, 0);
    ASSERT_EQ(SetBackColor(s, st, 0, 0, 0), TN_OK);
    ASSERT_EQ(SetSurfaceDispMode(s, st, 1), TN_OK);
    ASSERT_EQ(SetViewFov_TiltAngle(s, st, 60, 20), TN_OK);
    const t3d::SceneState& state = scene.block();
    // South-west of the centre, half way up the heights the eye may take (scene heights).
    const float cx = (state.xMin + state.xMax) / 2, cy = (state.yMin + state.yMax) / 2;
    eye[0] = cx - 0.6f * (state.xMax - state.xMin);
    eye[1] = cy - 0.5f * (state.yMax - state.yMin);
    eye[2] = state.zMax + 0.8f * (state.zMax - state.zMin);
    centre[0] = cx;
    centre[1] = cy;
    float setEye[3] = {eye[0], eye[1], eye[2]};
    ASSERT_EQ(SetEyeCenterPosition(s, st, setEye, centre), TN_OK);
    ASSERT_FLOAT_EQ(state.eyePosition[2], eye[2]) << "the eye must lie within the scene's range";
    eye[2] *= state.zScale;  // the block scene takes heights in map units
    ASSERT_EQ(tnDrawScene(s, st), TN_OK);
    scenePicture.width = width;
    scenePicture.height = height;
    scenePicture.bgra = scene.pixels();
  }

  t3dhost::BlockViewEngine engine;
  std::string error;
  ASSERT_TRUE(engine.Open(dem, "", width, height, error)) << error;
  t3dhost::BlockViewCamera camera;
  std::copy(eye, eye + 3, camera.eye);
  camera.lookAt[0] = centre[0];
  camera.lookAt[1] = centre[1];
  camera.fieldOfView = 60;
  t3dhost::Picture hostPicture;
  ASSERT_TRUE(engine.Draw(camera, hostPicture, error)) << error;
  EXPECT_GE(engine.meshes(), 1);

  ASSERT_TRUE(t3dhost::WritePng("blockview_host.png", hostPicture, error)) << error;
  ASSERT_TRUE(t3dhost::WritePng("blockview_scene.png", scenePicture, error)) << error;

  // Terrain where either shows it; among those, pixels both show that differ by more than a
  // few steps in any channel.
  int terrain = 0, onlyOne = 0, differ = 0;
  for (size_t p = 0; p < hostPicture.bgra.size(); p += 4) {
    const uint8_t* a = &hostPicture.bgra[p];
    const uint8_t* b = &scenePicture.bgra[p];
    const bool ta = !Background(a), tb = !Background(b);
    if (!ta && !tb) continue;
    ++terrain;
    if (ta != tb) {
      ++onlyOne;
      continue;
    }
    for (int c = 0; c < 3; ++c)
      if (std::abs(int(a[c]) - int(b[c])) > 12) {
        ++differ;
        break;
      }
  }
  std::printf("terrain pixels %d, in one picture only %d, differing %d\n", terrain, onlyOne, differ);
  ASSERT_GT(terrain, width * height / 4) << "too little terrain in view to compare";
  // Edges may fall one pixel apart: a small share of the terrain.
  EXPECT_LT(onlyOne, terrain / 100) << onlyOne << " of " << terrain << " pixels show terrain in one picture only";
  EXPECT_LT(differ, terrain / 100) << differ << " of " << terrain << " terrain pixels differ";
}

}  // namespace
