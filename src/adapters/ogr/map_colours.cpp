// Colour numbers: the built-in palette, directly given colours, and the attribute field that
// carries a record's colour number.
#include "adapters/ogr/map_colours.h"

#include <ogrsf_frmts.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <string>

#include "adapters/map_file.h"
#include "adapters/ogr/field_names.h"

namespace t3d::ogr {
namespace {

// Sixteen colours that stay apart from each other and from the usual terrain colours: the
// primaries and secondaries, black, white and greys, and a darker or warmer partner of each.
constexpr uint8_t kPalette[16][3] = {
    {0, 0, 0},       {220, 30, 30},  {30, 160, 60},   {30, 80, 220},
    {245, 210, 30},  {200, 40, 180}, {30, 190, 210},  {255, 255, 255},
    {128, 128, 128}, {130, 20, 20},  {20, 90, 40},    {20, 40, 120},
    {245, 130, 20},  {140, 90, 40},  {110, 50, 160},  {200, 200, 200},
};

std::mutex g_fieldMutex;
std::string g_colourField;  // empty: the default names


int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A colour number from a number: integral values in the 32-bit range only.
int32_t FromNumber(double value) {
  if (!std::isfinite(value) || value != std::floor(value) || value < -2147483648.0 ||
      value > 2147483647.0)
    return MAP_NO_COLOUR;
  return static_cast<int32_t>(value);
}

}  // namespace

int ColourField(const OGRFeatureDefn& definition) {
  static const char* const kNames[] = {"colour",   "color",     "colour_no", "color_no",
                                       "colour_num", "color_num", "clr"};
  std::string named;
  {
    std::lock_guard<std::mutex> lock(g_fieldMutex);
    named = g_colourField;
  }
  return FindNamedField(definition, named, kNames, sizeof kNames / sizeof kNames[0]);
}

int32_t ColourNumberOf(const OGRFeature& feature, int field) {
  if (field < 0 || field >= feature.GetFieldCount() || !feature.IsFieldSetAndNotNull(field))
    return MAP_NO_COLOUR;
  const OGRFieldType type = feature.GetFieldDefnRef(field)->GetType();
  if (type == OFTInteger || type == OFTInteger64 || type == OFTReal)
    return FromNumber(feature.GetFieldAsDouble(field));
  if (type != OFTString) return MAP_NO_COLOUR;
  const char* text = feature.GetFieldAsString(field);
  while (std::isspace(static_cast<unsigned char>(*text))) ++text;
  if (*text == '#') {
    int32_t rgb = 0;
    int digits = 0;
    for (const char* c = text + 1; HexDigit(*c) >= 0; ++c, ++digits) rgb = rgb * 16 + HexDigit(*c);
    const char* end = text + 1 + digits;
    while (std::isspace(static_cast<unsigned char>(*end))) ++end;
    return digits == 6 && *end == '\0' ? MAP_DIRECT_COLOUR + rgb : MAP_NO_COLOUR;
  }
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text) return MAP_NO_COLOUR;
  while (std::isspace(static_cast<unsigned char>(*end))) ++end;
  return *end == '\0' ? FromNumber(value) : MAP_NO_COLOUR;
}

}  // namespace t3d::ogr

extern "C" {

int32_t MapGetColorRGB(int32_t colourNumber, int32_t* red, int32_t* green, int32_t* blue) {
  if (red == nullptr || green == nullptr || blue == nullptr) return 0;
  if (colourNumber >= 0 && colourNumber < 16) {
    const uint8_t* entry = t3d::ogr::kPalette[colourNumber];
    *red = entry[0];
    *green = entry[1];
    *blue = entry[2];
    return 1;
  }
  if (colourNumber >= MAP_DIRECT_COLOUR && colourNumber <= MAP_DIRECT_COLOUR + 0xFFFFFF) {
    const int32_t rgb = colourNumber - MAP_DIRECT_COLOUR;
    *red = (rgb >> 16) & 0xFF;
    *green = (rgb >> 8) & 0xFF;
    *blue = rgb & 0xFF;
    return 1;
  }
  return 0;
}

void MapFileSetColourField(const char* name) {
  std::lock_guard<std::mutex> lock(t3d::ogr::g_fieldMutex);
  t3d::ogr::g_colourField = name != nullptr ? name : "";
}

}  // extern "C"
