// What the suites that write grids set up before their first test: the scratch directories (a
// global test environment, registered once per test program), the source tree's path, and host
// handlers that answer every message No (recording its id, or not) and every dialog with its
// default.
#pragma once

#include <gtest/gtest.h>

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

}  // namespace testgrids
