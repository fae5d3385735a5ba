// Host extensions: handlers through which the library reaches its host without blocking it.
#include "platform/message_box.h"
#include "platform/trace.h"
#include "terrain3d/terrain3d.h"

extern "C" {

TN_API void TN_CALL tnSetMessageHandler(TnMessageHandler handler, void* user) {
  t3d::platform::SetMessageHandler(handler, user);
}

TN_API void TN_CALL tnSetTraceHandler(TnTraceHandler handler, void* user) {
  t3d::platform::SetTraceHandler(handler, user);
}

}  // extern "C"
