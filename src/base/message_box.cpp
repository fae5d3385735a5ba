#include "base/message_box.h"

#include <cstdio>

namespace t3d {
namespace {

TnMessageHandler g_handler = nullptr;
void* g_user = nullptr;

constexpr int kIdOk = 1;

}  // namespace

int ShowMessageBox(int messageId, unsigned style, const char* caption, const char* text) {
  const bool question = style == TN_MB_QUESTION_YESNO;
  if (g_handler != nullptr) {
    const int answer = g_handler(g_user, messageId, style, caption, text);
    if (!question) return kIdOk;
    return answer == TN_IDYES ? TN_IDYES : TN_IDNO;
  }
  std::fprintf(stderr, "[%s] %s%s\n", caption != nullptr ? caption : "",
               text != nullptr ? text : "", question ? " (answered: No)" : "");
  return question ? TN_IDNO : kIdOk;
}

void SetMessageHandler(TnMessageHandler handler, void* user) {
  g_handler = handler;
  g_user = handler != nullptr ? user : nullptr;
}

}  // namespace t3d
