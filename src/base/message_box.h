// Modal message boxes, delivered to a handler the host installs. The default never blocks:
// it writes to stderr and answers No.
#pragma once

#include "terrain3d/terrain3d.h"

namespace t3d {

// Shows text with caption; style is TN_MB_EXCLAMATION_OK or TN_MB_QUESTION_YESNO. Returns the
// answer (TN_IDYES, TN_IDNO) for questions and 1 (OK) for notices. messageId is the
// string-table id, or 0 for fixed texts.
int ShowMessageBox(int messageId, unsigned style, const char* caption, const char* text);

void SetMessageHandler(TnMessageHandler handler, void* user);

}  // namespace t3d
