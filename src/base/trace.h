// The debug trace: lines about internal limits, never shown to the user.
#pragma once

#include "terrain3d/terrain3d.h"

namespace t3d {

// Writes one trace line to the installed handler, or to stderr when TERRAIN3D_TRACE is set.
void Trace(const char* line);

// Installs the trace handler (null restores the default).
void SetTraceHandler(TnTraceHandler handler, void* user);

}  // namespace t3d
