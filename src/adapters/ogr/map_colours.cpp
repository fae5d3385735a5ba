// Colour numbers of map records as red, green and blue.
#include "adapters/map_file.h"

extern "C" int32_t MapGetColorRGB(int32_t colourNumber, int32_t* red, int32_t* green,
                                  int32_t* blue) {
  if (red == nullptr || green == nullptr || blue == nullptr) return 0;
  if (colourNumber < MAP_COLOUR_DIRECT || colourNumber > MAP_COLOUR_DIRECT + 0xFFFFFF) return 0;
  const int32_t rgb = colourNumber - MAP_COLOUR_DIRECT;
  *red = (rgb >> 16) & 0xFF;
  *green = (rgb >> 8) & 0xFF;
  *blue = rgb & 0xFF;
  return 1;
}
