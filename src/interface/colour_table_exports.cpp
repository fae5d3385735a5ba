// Host extension: the colour tables of the HeightLut folder, by number, with their names.
#include <cstdio>
#include <string>

#include "formats/colour_table.h"
#include "terrain3d/terrain3d.h"

extern "C" {

TN_API int TN_CALL tnGetColourTable(int number, TnColourTableInfo* info) {
  try {
    if (info == nullptr || t3d::ColourTableFileName(number) == nullptr) return 0;
    t3d::ColourTable table{};
    std::string name, description;
    const bool read = t3d::LoadNamedColourTable(number, table, name, description);
    std::snprintf(info->name, sizeof info->name, "%s", name.c_str());
    std::snprintf(info->description, sizeof info->description, "%s", description.c_str());
    for (int k = 0; k < 256; ++k) {
      info->colours[k][0] = table.entries[k].red;
      info->colours[k][1] = table.entries[k].green;
      info->colours[k][2] = table.entries[k].blue;
    }
    return read ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
