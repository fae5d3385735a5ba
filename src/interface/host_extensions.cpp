// Host extensions: handlers through which the library reaches its host without blocking it.
#include "base/message_box.h"
#include "base/trace.h"
#include "terrain3d/terrain3d.h"

extern "C" {

TN_API void TN_CALL tnSetMessageHandler(TnMessageHandler handler, void* user) {
  t3d::SetMessageHandler(handler, user);
}

TN_API void TN_CALL tnSetTraceHandler(TnTraceHandler handler, void* user) {
  t3d::SetTraceHandler(handler, user);
}

}  // extern "C"
