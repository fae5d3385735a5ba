// What the suites that write grids set up before their first test: the scratch directories (a
// global test environment, registered once per test program), the source tree's path, and host
// handlers that answer every message No (recording its id, or not) and every dialog with its
// default.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "terrain3d/terrain3d.h"
#include "test_grids.h"

// The source tree, for the bundled samples and the reference pictures; the build defines it.
#ifndef TERRAIN3D_SOURCE_DIR
#define TERRAIN3D_SOURCE_DIR "."
#endif

namespace testgrids {

inline const std::string kSource = TERRAIN3D_SOURCE_DIR;

// The scratch and working directories of the whole program (GoogleTest owns the environment).
inline ::testing::Environment* const kScratch =
    ::testing::AddGlobalTestEnvironment(new ScratchEnvironment);

// The ids of the messages RecordMessage answered; a test clears it before the call it checks.
inline std::vector<int> g_messages;

// A host message handler that records the message's id and answers No.
inline int TN_CALL RecordMessage(void*, int id, unsigned, const char*, const char*) {
  g_messages.push_back(id);
  return TN_IDNO;
}

// A host message handler that answers No.
inline int TN_CALL AnswerNo(void*, int, unsigned, const char*, const char*) { return TN_IDNO; }

// A host dialog handler that leaves every dialog to its starting choice.
inline int TN_CALL DefaultDialog(void*, int, void*) { return TN_DIALOG_DEFAULT; }

// A host dialog handler that keeps the grid's heights as they are (the vertical scale dialog
// answers "do not rescale") and leaves every other dialog to its starting choice.
inline int TN_CALL KeepHeightsDialog(void*, int id, void* record) {
  if (id == TN_DIALOG_VERTICAL_SCALE) {
    static_cast<TnVerticalScaleDialog*>(record)->rescale = 0;
    return 1;
  }
  return TN_DIALOG_DEFAULT;
}

// A 129 x 129 grid of 30 m cells (map x and y 0 to 3870) named `name` among the scratch grids:
// a plain at 100 m with an east-west ridge `ridge` m high along y = 1900 m (none for 0).
inline std::string RidgeGrid(const std::string& name, double ridge) {
  const std::string path = GridPath(name);
  double gt[6];
  NorthUp(gt, 0, 129 * 30, 30, 30);
  EXPECT_TRUE(WriteGrid(path, 129, 129, gt, GDT_Float32, [ridge](int line, int) {
    const double y = (128 - line) * 30.0;
    return 100 + ridge * std::exp(-std::pow((y - 1900) / 180, 2));
  }));
  return path;
}

// The plain at 100 m of RidgeGrid with a square hole of missing heights 300 m across, centred
// at (1920, 1200), prepared with holes by the scene given (the default way of storing missing
// heights comes back before this returns).
template <typename Scene>
bool PrepareWithAHole(Scene& scene, const std::string& name) {
  const std::string path = GridPath(name);
  double gt[6];
  NorthUp(gt, 0, 129 * 30, 30, 30);
  if (!WriteGrid(path, 129, 129, gt, GDT_Float32, [](int line, int pixel) {
        const double x = pixel * 30.0, y = (128 - line) * 30.0;
        return std::fabs(x - 1920) < 150 && std::fabs(y - 1200) < 150 ? std::nan("") : 100.0;
      }))
    return false;
  if (tnSetMissingHeights(TN_MISSING_AS_HOLES) != TN_OK) return false;
  const bool prepared = scene.Prepare(path);
  tnSetMissingHeights(TN_MISSING_AS_LOWEST);
  return prepared;
}

}  // namespace testgrids
