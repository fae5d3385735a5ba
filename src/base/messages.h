// The library's user messages: numbered texts of its string table, shown in message boxes with
// the caption "系统信息提示", through the host's message handler.
#pragma once

#include "terrain3d/terrain3d.h"

namespace t3d {

// The string table's ids. The numbers are the ones hosts see in their message handler.
enum class MessageId : int {
  kNone = 0,  // nothing to show
  kChoosePixelFormat = 1,
  kSetPixelFormat = 2,
  kMakeCurrent = 3,
  kCreateContext = 4,
  kOutputTooLarge = 5,  // larger than the off-screen bitmap the device can hold
  kDataTooLarge = 6,    // a grid the library cannot handle
  kNoDirectX = 7,
  kOpenRimFile = 8,
  kTextureResolutionDiffers = TN_MSG_TEXTURE_RESOLUTION_DIFFERS,  // question
  kReadTexture = 10,
  kNeedHighColour = 11,
  kLineExtentMismatch = 12,
  kTooManyLineLayers = 13,
  kSaveTextureLibrary = TN_MSG_SAVE_TEXTURE_LIBRARY,  // question
  kInvalidTextureLibrary = 15,
  kTextureLibraryMismatch = 16,
  kTooFewBands = 17,
  kTextureLibraryPixelFormat = 18,
  kNotPlaneTexture = 19,
  kNotePointsOnly = 20,
  kNo16BitTextures = 21,
  kDisplayOnly16BitTexture = 22,
  kVectorsNeedTrueColour = 23,
  kUnitsMustAgree = 24,
  kUnitsDefaultScaling = 25,
  kRegionExtentMismatch = 26,
  kRoadTextureFallback = 27,
  kTextureLibraryUnsupported = 28,
  kOutputImageTooLarge = 29,  // a raster image of 2 GB or more
};

// The caption of every message box.
extern const char* const kMessageCaption;
extern const char* const kMessageCaptionEnglish;

// Text of message id (1 to 29), or null when the table has no such string.
const char* MessageText(int id);

// English text of message id (1 to 29), or null when the table has no such string. The texts
// say what the Chinese ones say, for users whose locale is not Chinese.
const char* MessageTextEnglish(int id);

// The English of one of the library's other fixed texts: the file-writing notices, the caption,
// the progress titles and a progress line "共有N块" (N tiles in all); null for any other text.
// The result stays valid until the next call in the same thread.
const char* EnglishOfText(const char* text);

// The English of what the message box shows: message id's English text, or for id 0 the English
// of text; text itself when it has none.
const char* EnglishFor(int id, const char* text);

// True when the user's locale for messages is Chinese: the first of LC_ALL, LC_MESSAGES and LANG
// that is set and not empty starts with "zh". The default handlers then show the library's
// Chinese texts, and English otherwise.
bool UserReadsChinese();

// Shows message id as a notice (exclamation icon, OK). Nothing is shown for kNone or an unknown
// id.
void ShowMessage(MessageId id);

// Asks message id as a question (Yes and No). Returns 6 (Yes) or 7 (No); 7 without asking for
// an unknown id.
int AskMessage(MessageId id);

// Shows one of the fixed file-writing texts as a notice.
void ShowFixedMessage(const char* text);

}  // namespace t3d
