#include "terrain/colour_table.h"

namespace t3d {

const ColourTable* g_activeColourTable = nullptr;

void FillFallbackRamp(ColourTable& table) {
  // Entry i is grey level i on the 8-bit scale, widened to 16 bits (i * 257 maps 255 to 65535),
  // so that the ramp spans black to white like the tables loaded from files.
  for (int i = 0; i < 256; ++i) {
    const auto level = uint16_t(i * 257);
    table.entries[i] = ColourEntry{level, level, level};
  }
}

}  // namespace t3d
