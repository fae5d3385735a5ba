#include "image_files.h"

#include <png.h>

#include "interrupts.h"
#include "terrain3d/terrain3d.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace t3dhost {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

bool EndsWith(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i)
    if (std::tolower(text[text.size() - suffix.size() + i]) != suffix[i]) return false;
  return true;
}

}  // namespace

bool ReadBmp(const std::string& path, Picture& picture, std::string& error) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot open " + path;
    return false;
  }
  uint8_t header[54];
  if (std::fread(header, 1, 54, file.get()) != 54 || header[0] != 'B' || header[1] != 'M') {
    error = path + " is not a BMP file";
    return false;
  }
  const uint32_t offset = U32(header + 10);
  const int32_t width = int32_t(U32(header + 18));
  const int32_t rawHeight = int32_t(U32(header + 22));
  const int bits = U16(header + 28);
  if (width <= 0 || rawHeight == 0 || (bits != 24 && bits != 32) || U32(header + 30) != 0 ||
      width > 65536 || rawHeight > 65536 || rawHeight < -65536) {
    error = path + ": only uncompressed 24- or 32-bit BMP files are read";
    return false;
  }
  const int height = rawHeight < 0 ? -rawHeight : rawHeight;
  const size_t rowBytes = (size_t(width) * bits + 31) / 32 * 4;
  std::vector<uint8_t> rows(rowBytes * size_t(height));
  if (std::fseek(file.get(), long(offset), SEEK_SET) != 0 ||
      std::fread(rows.data(), 1, rows.size(), file.get()) != rows.size()) {
    error = path + " is truncated";
    return false;
  }
  picture.width = width;
  picture.height = height;
  picture.bgra.assign(size_t(width) * size_t(height) * 4, 255);
  for (int y = 0; y < height; ++y) {
    const uint8_t* source = rows.data() + rowBytes * size_t(rawHeight > 0 ? height - 1 - y : y);
    uint8_t* target = picture.bgra.data() + size_t(y) * size_t(width) * 4;
    for (int x = 0; x < width; ++x) {
      std::memcpy(target + x * 4, source + x * (bits / 8), 3);
      target[x * 4 + 3] = 255;
    }
  }
  return true;
}

bool ReadPng(const std::string& path, Picture& picture, std::string& error) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    error = "cannot read " + path;
    return false;
  }
  image.format = PNG_FORMAT_BGRA;
  picture.width = int(image.width);
  picture.height = int(image.height);
  picture.bgra.assign(PNG_IMAGE_SIZE(image), 0);
  if (!png_image_finish_read(&image, nullptr, picture.bgra.data(), 0, nullptr)) {
    png_image_free(&image);
    error = "cannot decode " + path;
    return false;
  }
  return true;
}

bool WritePng(const std::string& path, const Picture& picture, std::string& error) {
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    error = "cannot create " + path;
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_write_struct(&png, &info);
    error = "cannot start a PNG file";
    return false;
  }
  std::vector<uint8_t> row(size_t(picture.width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    error = "cannot write " + path;
    return false;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, png_uint_32(picture.width), png_uint_32(picture.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* source = picture.bgra.data() + size_t(y) * size_t(picture.width) * 4;
    for (int x = 0; x < picture.width; ++x) {
      row[size_t(x) * 3 + 0] = source[x * 4 + 2];
      row[size_t(x) * 3 + 1] = source[x * 4 + 1];
      row[size_t(x) * 3 + 2] = source[x * 4 + 0];
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  // Buffered writes fail on closing (a full disk).
  if (std::fclose(file.release()) != 0) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

bool WriteBmp(const std::string& path, const Picture& picture, std::string& error) {
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    error = "cannot create " + path;
    return false;
  }
  const uint32_t rowBytes = (uint32_t(picture.width) * 3 + 3) / 4 * 4;
  const uint32_t imageBytes = rowBytes * uint32_t(picture.height);
  uint8_t header[54] = {'B', 'M'};
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = uint8_t(v >> (8 * i));
  };
  put32(2, 54 + imageBytes);
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(picture.width));
  put32(22, uint32_t(picture.height));
  header[26] = 1;
  header[28] = 24;
  put32(34, imageBytes);
  bool ok = std::fwrite(header, 1, 54, file.get()) == 54;
  std::vector<uint8_t> row(rowBytes, 0);
  for (int y = picture.height - 1; y >= 0 && ok; --y) {
    const uint8_t* source = picture.bgra.data() + size_t(y) * size_t(picture.width) * 4;
    for (int x = 0; x < picture.width; ++x) std::memcpy(&row[size_t(x) * 3], source + x * 4, 3);
    ok = std::fwrite(row.data(), 1, rowBytes, file.get()) == rowBytes;
  }
  // Buffered writes fail on closing (a full disk).
  ok = std::fclose(file.release()) == 0 && ok;
  if (!ok) error = "cannot write " + path;
  return ok;
}

bool WritePicture(const std::string& path, const Picture& picture, std::string& error) {
  if (!EndsWith(path, ".png") && !EndsWith(path, ".bmp")) {
    error = path + ": the picture file must end in .png or .bmp";
    return false;
  }
  // Written beside its name and put in its place when complete: a failure leaves the file that
  // was there.
  DraftFile draft(path);
  const bool written = EndsWith(path, ".png") ? WritePng(draft.path(), picture, error)
                                              : WriteBmp(draft.path(), picture, error);
  if (!written) {
    error = "cannot write " + path;
    return false;
  }
  if (!draft.PutInPlace()) {
    error = "cannot write " + path + ": it cannot be replaced";
    return false;
  }
  return true;
}

bool IsBlank(const Picture& picture) {
  const size_t pixels = size_t(picture.width) * size_t(picture.height);
  if (pixels == 0 || picture.bgra.size() < pixels * 4) return true;
  const uint8_t* first = picture.bgra.data();
  for (size_t i = 1; i < pixels; ++i)
    if (std::memcmp(first, first + i * 4, 3) != 0) return false;
  return true;
}

bool DrawView(void* scene, void* state, const std::string& scratch, int width, int height,
              Picture& picture, std::string& error) {
  // The library writes BMP pictures; the picture is read back from a temporary one beside the
  // output, of a name no other file has.
  const DraftFile draft(scratch + ".bmp");
  const std::string& bmpPath = draft.path();
  TnOutputRequest request{};
  request.fileKind = TN_OUTPUT_BMP;
  if (bmpPath.size() >= sizeof request.path) {
    error = "output path too long: " + scratch;
    return false;
  }
  std::strncpy(request.path, bmpPath.c_str(), sizeof request.path - 1);
  request.width = width;
  request.height = height;
  request.tilesAcross = 1;
  request.tilesDown = 1;
  if (tnOutput3DScene(scene, state, &request) != TN_OK) {
    std::remove(bmpPath.c_str());
    error = "the view could not be drawn into " + scratch;
    return false;
  }
  return ReadBmp(bmpPath, picture, error);
}

bool OutputView(void* scene, void* state, const std::string& path, int width, int height,
                std::string& error) {
  if (!EndsWith(path, ".bmp") && !EndsWith(path, ".png")) {
    error = path + ": the picture file must end in .png or .bmp";
    return false;
  }
  Picture picture;
  if (!DrawView(scene, state, path, width, height, picture, error) ||
      !WritePicture(path, picture, error))
    return false;
  return true;
}

}  // namespace t3dhost
