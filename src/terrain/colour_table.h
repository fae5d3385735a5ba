// Colour tables: 256 entries of three unsigned 16-bit components; a component c shows as
// c / 65535.
#pragma once

#include <cstdint>

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

// The active colour table (the height colour table, or the grey table in grey display); null
// before any scene is initialised.
extern const ColourTable* g_activeColourTable;

}  // namespace t3d
