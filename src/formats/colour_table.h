// Colour tables: 256 entries of three unsigned 16-bit components; a component c shows as
// c / 65535.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace t3d {

struct ColourEntry {
  uint16_t red;
  uint16_t green;
  uint16_t blue;
};

struct ColourTable {
  ColourEntry entries[256];
};
static_assert(sizeof(ColourTable) == 1536, "a colour table is 1,536 bytes");

// The table every failed load leaves: an even grey ramp from black (entry 0) to white (255).
void FillFallbackRamp(ColourTable& table);


}  // namespace t3d

namespace t3d {

// Number of colour-table files, numbered 0 to 38.
constexpr int kColourTableFiles = 39;

// The file name of table number (0 to 38), or null.
const char* ColourTableFileName(int number);

// Fills table from colour-table file number (0 to 38) of the HeightLut folder. True when read;
// otherwise the table becomes the grey ramp and the result is false.
bool LoadColourTable(int number, ColourTable& table);

// Fills table like LoadColourTable, and the table's name (its file name without ".lut", given
// even when the file cannot be read) and the one-line description its header holds ("" for a
// file without one).
bool LoadNamedColourTable(int number, ColourTable& table, std::string& name,
                          std::string& description);

// An RGB image: rows of red, green, blue bytes.
struct RgbImage {
  std::unique_ptr<uint8_t[]> pixels;
  uint32_t width = 0;
  uint32_t height = 0;
};

// Reads an RGB image file (height, width, then the rows). True with the image, or false with an
// empty image when the file cannot be opened or read or is not a plausible image.
bool LoadRgbImage(const std::string& path, RgbImage& image);
// The sky picture "Cloud.rgb" and the road surface "Road.rgb" of the HeightLut folder.
bool LoadCloudImage(RgbImage& image);
bool LoadRoadImage(RgbImage& image);

// Path of a file in the HeightLut folder ("" when the environment block is missing).
std::string HeightLutPath(const char* fileName);

}  // namespace t3d
