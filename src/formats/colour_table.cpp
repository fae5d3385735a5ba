#include "formats/colour_table.h"

#include <cstdio>
#include <new>

#include "platform/environment.h"

namespace t3d {


namespace {

const char* const kTableFiles[kColourTableFiles] = {
    "ampphase.lut",        "azimuth.lut",         "blue.lut",        "brown_green.lut",
    "contour.lut",         "terrain.lut",         "elevation.lut",   "green.lut",
    "greyscale.lut",       "hue.lut",             "lutramp.lut",     "newgrey.lut",
    "pseudocolor.lut",     "rainbow.lut",         "rainbow_reversed.lut", "rainbow1.lut",
    "rainbow2.lut",        "red.lut",             "red_blue.lut",    "red_yellow_SAR.lut",
    "rgb.lut",             "rgb_reduce.lut",      "rtshade.lut",     "saw.lut",
    "spectrum.lut",        "step.lut",            "unique.lut",      "waterlevel.lut",
    "yellow_blue.lut",     "ocean.lut",           "hue-sat-value 1.lut", "hue-sat-value 2.lut",
    "map_1.lut",           "map_2.lut",           "map_3.lut",       "map_4.lut",
    "map_5.lut",           "map_6.lut",           "map_7.lut",
};

constexpr long kTableHeaderBytes = 396;

// Images larger than this are not plausible sky or road pictures (and would be huge to allocate).
constexpr uint64_t kMaxRgbPixels = uint64_t(16384) * 16384;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool ReadU32(std::FILE* file, uint32_t& value) {
  uint8_t bytes[4];
  if (std::fread(bytes, 1, 4, file) != 4) return false;
  value = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
          uint32_t(bytes[3]) << 24;
  return true;
}

}  // namespace

void FillFallbackRamp(ColourTable& table) {
  // Entry i is grey level i on the 8-bit scale, widened to 16 bits (i * 257 maps 255 to 65535),
  // so that the ramp spans black to white like the tables loaded from files.
  for (int i = 0; i < 256; ++i) {
    const auto level = uint16_t(i * 257);
    table.entries[i] = ColourEntry{level, level, level};
  }
}

const char* ColourTableFileName(int number) {
  return number >= 0 && number < kColourTableFiles ? kTableFiles[number] : nullptr;
}

std::string HeightLutPath(const char* fileName) {
  const char* environment = BaseGetEnvironment();
  // No data directory (or none that fitted the block): no path, rather than one from the root.
  if (environment == nullptr || fileName == nullptr || environment[BASE_ENV_DATA_DIRECTORY] == '\0')
    return {};
  return std::string(environment + BASE_ENV_DATA_DIRECTORY) + "/HeightLut/" + fileName;
}

bool LoadColourTable(int number, ColourTable& table) {
  const char* name = ColourTableFileName(number);
  const std::string path = name != nullptr ? HeightLutPath(name) : std::string();
  FilePtr file(path.empty() ? nullptr : std::fopen(path.c_str(), "rb"));
  uint8_t bytes[sizeof(ColourTable)];
  if (file && std::fseek(file.get(), kTableHeaderBytes, SEEK_SET) == 0 &&
      std::fread(bytes, 1, sizeof bytes, file.get()) == sizeof bytes) {
    for (int i = 0; i < 256; ++i) {
      const uint8_t* entry = bytes + i * 6;
      table.entries[i] = ColourEntry{uint16_t(entry[0] | entry[1] << 8),
                                     uint16_t(entry[2] | entry[3] << 8),
                                     uint16_t(entry[4] | entry[5] << 8)};
    }
    return true;
  }
  FillFallbackRamp(table);
  return false;
}

bool LoadNamedColourTable(int number, ColourTable& table, std::string& name,
                          std::string& description) {
  name.clear();
  description.clear();
  const char* file = ColourTableFileName(number);
  if (file != nullptr) {
    name = file;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".lut") == 0) name.resize(name.size() - 4);
  }
  if (!LoadColourTable(number, table)) return false;
  // The header: a signature line, the name, the description, zero-padded to its size.
  FilePtr stream(std::fopen(HeightLutPath(file).c_str(), "rb"));
  char header[kTableHeaderBytes + 1] = {};
  if (stream && std::fread(header, 1, kTableHeaderBytes, stream.get()) == size_t(kTableHeaderBytes)) {
    const std::string text(header);  // up to the padding
    static const char kSignature[] = "terrain3d colour table\n";
    if (text.compare(0, sizeof kSignature - 1, kSignature) == 0) {
      const size_t nameEnd = text.find('\n', sizeof kSignature - 1);
      if (nameEnd != std::string::npos) {
        const size_t end = text.find('\n', nameEnd + 1);
        description = text.substr(nameEnd + 1, end == std::string::npos ? end : end - nameEnd - 1);
      }
    }
  }
  return true;
}

bool LoadRgbImage(const std::string& path, RgbImage& image) {
  image = RgbImage{};
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  uint32_t height = 0, width = 0;
  if (!ReadU32(file.get(), height) || !ReadU32(file.get(), width)) return false;
  const uint64_t pixels = uint64_t(width) * height;
  if (pixels == 0 || pixels > kMaxRgbPixels) return false;
  // The pixels must be in the file before memory is taken for them: a damaged header could
  // otherwise claim hundreds of megabytes for a file of a few bytes.
  const long start = std::ftell(file.get());
  if (start < 0 || std::fseek(file.get(), 0, SEEK_END) != 0) return false;
  const long end = std::ftell(file.get());
  if (end < start || uint64_t(end - start) < pixels * 3 || std::fseek(file.get(), start, SEEK_SET) != 0)
    return false;
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size_t(pixels) * 3]);
  if (!data || std::fread(data.get(), 3, size_t(pixels), file.get()) != size_t(pixels)) return false;
  image.pixels = std::move(data);
  image.width = width;
  image.height = height;
  return true;
}

bool LoadCloudImage(RgbImage& image) { return LoadRgbImage(HeightLutPath("Cloud.rgb"), image); }

bool LoadRoadImage(RgbImage& image) {
  // Road pictures report their size as 16-bit values: anything larger is refused.
  if (!LoadRgbImage(HeightLutPath("Road.rgb"), image)) return false;
  if (image.width > 0xFFFF || image.height > 0xFFFF) {
    image = RgbImage{};
    return false;
  }
  return true;
}

}  // namespace t3d
