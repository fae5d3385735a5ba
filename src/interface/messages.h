// The library's user messages: numbered texts of its string table, shown in message boxes with
// the caption "系统信息提示", through the host's message handler.
#pragma once

namespace t3d {

// The caption of every message box.
extern const char* const kMessageCaption;

// Text of message id (1 to 29), or null when the table has no such string.
const char* MessageText(int id);

// Shows message id as a notice (exclamation icon, OK). Nothing is shown for an unknown id.
void ShowMessage(int id);

// Asks message id as a question (Yes and No). Returns 6 (Yes) or 7 (No); 7 without asking for
// an unknown id.
int AskMessage(int id);

// Shows one of the fixed file-writing texts as a notice.
void ShowFixedMessage(const char* text);

}  // namespace t3d
