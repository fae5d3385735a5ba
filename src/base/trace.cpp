#include "base/trace.h"

#include <cstdio>
#include <cstdlib>

namespace t3d {
namespace {

TnTraceHandler g_handler = nullptr;
void* g_user = nullptr;

bool TraceToStderr() {
  static const bool enabled = [] {
    const char* value = std::getenv("TERRAIN3D_TRACE");
    return value != nullptr && value[0] != '\0';
  }();
  return enabled;
}

}  // namespace

void Trace(const char* line) {
  if (line == nullptr) return;
  if (g_handler != nullptr) {
    g_handler(g_user, line);
    return;
  }
  if (TraceToStderr()) std::fprintf(stderr, "terrain3d: %s\n", line);
}

void SetTraceHandler(TnTraceHandler handler, void* user) {
  g_handler = handler;
  g_user = handler != nullptr ? user : nullptr;
}

}  // namespace t3d
