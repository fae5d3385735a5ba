// The texture file chooser: an open-file dialog for BMP images with a preview panel
// ("请选择纹理数据(大小不超过256*256)"), and the video player window ("三维场景播放窗口").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/dialog_view.h"

namespace t3d::dialogs {

// The bytes of the host's buffer SelectTextureFile fills: a path of up to 259 bytes and its
// terminating zero. A longer path is not cut: the choice fails instead.
constexpr size_t kTexturePathBuffer = 260;

extern const char kChooserCaption[];
extern const char kPanelText[];  // "图片预览" after two line breaks
extern const char kPlayerCaption[];

// The path the panel previews for a selected name: ".bmp" added when the name (after the last
// '/') has no '.'.
std::string PreviewPath(const std::string& selected);

// A BMP's picture as rows of red, green, blue bytes, top row first.
struct PreviewPicture {
  std::vector<uint8_t> rgb;
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
};

// What the panel shows for a path: T3D_PREVIEW_TEXT for an empty path or a BMP that cannot be
// read, has fewer than 16 bits per pixel, or is 512 pixels or more in either direction;
// T3D_PREVIEW_EMPTY for a file whose extension is not ".bmp" (in any case); otherwise
// T3D_PREVIEW_PICTURE with the picture.
int PreviewFor(const std::string& path, PreviewPicture& picture);

// Reads an uncompressed BMP of 16, 24 or 32 bits per pixel; the header alone (bitsPerPixel,
// width, height) for other depths. False for a file that is not a readable BMP.
bool ReadPreviewBmp(const std::string& path, PreviewPicture& picture, bool& pixelsRead);

// The chooser on a view: 1 with the chosen path in out (kTexturePathBuffer bytes), 0 on cancel,
// when the path does not fit, or without a view.
int SelectTexture(const T3dDialogView* view, char* out);

// Plays video (null when the file could not be opened: the player's error is shown instead).
// 1 when the player window was shown and closed, 0 otherwise.
int PlayVideo(const T3dDialogView* view, const T3dVideoSource* video, const char* path);

}  // namespace t3d::dialogs
