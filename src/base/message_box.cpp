#include "base/message_box.h"

#include "base/messages.h"

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
  // The default: the library's own texts for a Chinese locale, English with the message's
  // number otherwise.
  if (UserReadsChinese()) {
    std::fprintf(stderr, "[%s] %s%s\n", caption != nullptr ? caption : "",
                 text != nullptr ? text : "", question ? " (answered: No)" : "");
  } else {
    const char* english = EnglishFor(messageId, text);
    if (messageId > 0)
      std::fprintf(stderr, "terrain3d message %d: %s%s\n", messageId,
                   english != nullptr ? english : "", question ? " (answered: No)" : "");
    else
      std::fprintf(stderr, "terrain3d: %s\n", english != nullptr ? english : "");
  }
  return question ? TN_IDNO : kIdOk;
}

void SetMessageHandler(TnMessageHandler handler, void* user) {
  g_handler = handler;
  g_user = handler != nullptr ? user : nullptr;
}

}  // namespace t3d
