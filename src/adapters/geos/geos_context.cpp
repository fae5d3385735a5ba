#include "adapters/geos/geos_context.h"

namespace t3d::geos {
namespace {

void Silent(const char*, void*) {}

struct ContextHolder {
  GEOSContextHandle_t context = GEOS_init_r();
  ContextHolder() {
    if (context == nullptr) return;
    GEOSContext_setErrorMessageHandler_r(context, Silent, nullptr);
    GEOSContext_setNoticeMessageHandler_r(context, Silent, nullptr);
  }
  ~ContextHolder() {
    if (context != nullptr) GEOS_finish_r(context);
  }
  ContextHolder(const ContextHolder&) = delete;
  ContextHolder& operator=(const ContextHolder&) = delete;
};

}  // namespace

GEOSContextHandle_t ThreadContext() {
  thread_local ContextHolder holder;
  return holder.context;
}

}  // namespace t3d::geos
