#include "dialogs/texture_chooser.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>

namespace t3d::dialogs {

const char kChooserCaption[] = "请选择纹理数据(大小不超过256*256)";
const char kPanelText[] = "\n\n图片预览";
const char kPlayerCaption[] = "三维场景播放窗口";

namespace {

constexpr int kPreviewLimit = 512;  // previewed only when smaller both ways

uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The shift and width of a colour mask's bits.
void MaskBits(uint32_t mask, int& shift, int& bits) {
  shift = 0;
  bits = 0;
  if (mask == 0) return;
  while ((mask >> shift & 1u) == 0) ++shift;
  while (shift + bits < 32 && (mask >> (shift + bits) & 1u) != 0) ++bits;
}

uint8_t Channel(uint32_t pixel, uint32_t mask) {
  int shift, bits;
  MaskBits(mask, shift, bits);
  if (bits == 0) return 0;
  const uint32_t value = (pixel & mask) >> shift;
  const uint32_t top = (1u << bits) - 1;
  return uint8_t((value * 255 + top / 2) / top);
}

}  // namespace

std::string PreviewPath(const std::string& selected) {
  if (selected.empty()) return selected;
  const size_t slash = selected.rfind('/');
  const std::string name = slash == std::string::npos ? selected : selected.substr(slash + 1);
  if (name.empty() || name.find('.') != std::string::npos) return selected;
  return selected + ".bmp";
}

bool ReadPreviewBmp(const std::string& path, PreviewPicture& picture, bool& pixelsRead) {
  pixelsRead = false;
  picture = PreviewPicture{};
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  uint8_t head[54 + 12];
  const size_t got = std::fread(head, 1, sizeof head, file.get());
  if (got < 54 || head[0] != 'B' || head[1] != 'M') return false;
  const uint32_t offset = U32(head + 10);
  const uint32_t infoSize = U32(head + 14);
  if (infoSize < 40) return false;
  const int32_t width = int32_t(U32(head + 18));
  const int32_t rawHeight = int32_t(U32(head + 22));
  const int bpp = U16(head + 28);
  const uint32_t compression = U32(head + 30);
  if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || U16(head + 26) != 1) return false;
  const bool topDown = rawHeight < 0;
  const int32_t height = topDown ? -rawHeight : rawHeight;
  picture.width = width;
  picture.height = height;
  picture.bitsPerPixel = bpp;
  if (bpp < 16 || width >= kPreviewLimit || height >= kPreviewLimit) return true;

  uint32_t masks[3];
  if (compression == 0) {
    if (bpp == 16) {
      masks[0] = 0x7c00, masks[1] = 0x03e0, masks[2] = 0x001f;
    } else {
      masks[0] = 0xff0000, masks[1] = 0x00ff00, masks[2] = 0x0000ff;
    }
  } else if (compression == 3 && (bpp == 16 || bpp == 32)) {
    // The masks follow a 40-byte header, or sit in a larger one at the same place.
    if (got < 54 + 12) return false;
    for (int k = 0; k < 3; ++k) masks[k] = U32(head + 54 + 4 * k);
  } else {
    return true;  // a compression the panel does not draw: the header alone
  }
  if (bpp != 16 && bpp != 24 && bpp != 32) return true;

  const size_t stride = (size_t(width) * bpp / 8 + 3) / 4 * 4;
  std::vector<uint8_t> rows(stride * size_t(height));
  if (std::fseek(file.get(), long(offset), SEEK_SET) != 0 ||
      std::fread(rows.data(), 1, rows.size(), file.get()) != rows.size())
    return false;
  picture.rgb.resize(size_t(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = rows.data() + stride * size_t(topDown ? y : height - 1 - y);
    uint8_t* out = picture.rgb.data() + size_t(y) * width * 3;
    for (int x = 0; x < width; ++x, out += 3) {
      if (bpp == 24 && compression == 0) {
        out[0] = row[x * 3 + 2], out[1] = row[x * 3 + 1], out[2] = row[x * 3];
        continue;
      }
      const uint32_t pixel = bpp == 16 ? U16(row + x * 2) : U32(row + x * 4);
      for (int c = 0; c < 3; ++c) out[c] = Channel(pixel, masks[c]);
    }
  }
  pixelsRead = true;
  return true;
}

int PreviewFor(const std::string& path, PreviewPicture& picture) {
  picture = PreviewPicture{};
  if (path.empty()) return T3D_PREVIEW_TEXT;
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  const bool bmp = dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
                   strcasecmp(path.c_str() + dot, ".bmp") == 0;
  if (!bmp) return T3D_PREVIEW_EMPTY;
  bool pixels = false;
  if (!ReadPreviewBmp(path, picture, pixels) || !pixels) return T3D_PREVIEW_TEXT;
  return T3D_PREVIEW_PICTURE;
}

int SelectTexture(const T3dDialogView* view, char* out) {
  if (view == nullptr || out == nullptr) return 0;
  struct Chooser {
    PreviewPicture picture;
  } state;
  T3dFileChooser chooser{};
  chooser.self = &state;
  chooser.caption = kChooserCaption;
  chooser.filterName = "位图文件(*.bmp)";
  chooser.pattern = "*.bmp";
  chooser.panelText = kPanelText;
  chooser.preview = [](void* self, const char* path, T3dPreview* shown) {
    auto& s = *static_cast<Chooser*>(self);
    const int what = PreviewFor(path != nullptr ? PreviewPath(path) : std::string(), s.picture);
    if (shown != nullptr) {
      shown->rgb = what == T3D_PREVIEW_PICTURE ? s.picture.rgb.data() : nullptr;
      shown->width = s.picture.width;
      shown->height = s.picture.height;
    }
    return what;
  };
  // The view writes into a buffer of our own: the host's is written only with a whole path.
  char chosen[kTexturePathBuffer] = {};
  if (view->chooseFile(&chooser, chosen, sizeof chosen) != 1) return 0;
  const size_t length = strnlen(chosen, sizeof chosen);
  if (length == 0 || length == sizeof chosen) return 0;
  std::memcpy(out, chosen, length + 1);
  return 1;
}

int PlayVideo(const T3dDialogView* view, const T3dVideoSource* video, const char* path) {
  if (view == nullptr || path == nullptr) return 0;
  if (video == nullptr || video->width <= 0 || video->height <= 0) {
    const std::string text = std::string("不能打开视频文件:\n") + path;
    view->message(kPlayerCaption, text.c_str());
    return 0;
  }
  return view->playVideo(video, kPlayerCaption) == 1 ? 1 : 0;
}

}  // namespace t3d::dialogs
