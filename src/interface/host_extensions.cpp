// Host extensions: handlers through which the library reaches its host without blocking it.
#include "base/message_box.h"
#include "base/messages.h"
#include "base/trace.h"
#include "terrain3d/terrain3d.h"

extern "C" {

TN_API void TN_CALL tnSetMessageHandler(TnMessageHandler handler, void* user) {
  t3d::SetMessageHandler(handler, user);
}

TN_API const char* TN_CALL tnGetEnglishText(int messageId, const char* text) {
  try {
    if (messageId > 0) return t3d::MessageTextEnglish(messageId);
    return messageId == 0 ? t3d::EnglishOfText(text) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

TN_API void TN_CALL tnSetTraceHandler(TnTraceHandler handler, void* user) {
  t3d::SetTraceHandler(handler, user);
}

}  // extern "C"
