#include "dialogs/height_colour_edit.h"

#include <cstring>

#include "dialogs/presenter.h"
#include "formats/colour_table.h"
#include "terrain/height_colouring.h"

namespace t3d::dialogs {
namespace {

// Default bands of a colour table: 256-style bands from the lowest to the highest height.
void SetDefaultBands(TnHeightColourDialog& dialog, const ColouringParams& state) {
  const int count = dialog.layerCount;
  const double step = (double(state.zMaxScaled) - state.zMinScaled) / 255;
  for (int k = 0; k + 1 < count; ++k) {
    dialog.layerBounds[k][0] = float((state.zMinScaled + k * step) * state.zScale);
    dialog.layerBounds[k][1] = float((state.zMinScaled + (k + 1) * step) * state.zScale);
  }
  if (count > 0) {
    dialog.layerBounds[count - 1][0] = float(double(state.zMaxScaled) * state.zScale);
    dialog.layerBounds[count - 1][1] = float(double(state.zMaxScaled) * state.zScale);
  }
}

}  // namespace

bool EditHeightColours(HeightColourSettings& settings, TerrainArea& area,
                       const ColouringParams& state, TnProgressControl progress) {
  HeightColourSettings edited = settings;

  TnHeightColourDialog dialog{};
  dialog.layerCount = edited.layerCount;
  dialog.tableNumber = edited.tableNumber;
  dialog.option = edited.option;
  dialog.customLayers = edited.layerCount < 256 ? 1 : 0;
  dialog.zMinScaled = state.zMinScaled;
  dialog.zMaxScaled = state.zMaxScaled;
  dialog.zScale = state.zScale;
  std::memcpy(dialog.layerBounds, edited.layerBounds, sizeof dialog.layerBounds);
  if (!edited.initialised) {
    // First showing: the stored table with its default bands; without the table, no dialog.
    if (!LoadColourTable(edited.tableNumber, edited.heightColourTable)) return false;
    SetDefaultBands(dialog, state);
    edited.initialised = 1;
  }
  for (int k = 0; k < 256; ++k) {
    const ColourEntry& entry = edited.heightColourTable.entries[k];
    dialog.colours[k][0] = entry.red;
    dialog.colours[k][1] = entry.green;
    dialog.colours[k][2] = entry.blue;
  }

  if (dialogs::CurrentPresenter().HeightColour(dialog) != dialogs::kDialogOk) return false;

  const uint16_t count = dialog.layerCount < 1 ? 1 : (dialog.layerCount > 256 ? 256 : dialog.layerCount);
  std::memcpy(edited.layerBounds, dialog.layerBounds, sizeof edited.layerBounds);
  edited.option = dialog.option;
  edited.layerCount = count;
  const ColouringParams& params = state;
  if (dialog.customLayers != 0) {
    for (int k = 0; k < 256; ++k)
      edited.heightColourTable.entries[k] =
          ColourEntry{dialog.colours[k][0], dialog.colours[k][1], dialog.colours[k][2]};
    edited.tableNumber = -1;
    if (!ApplyLayerColours(area, params, edited.layerBounds, count, progress)) return false;
  } else {
    if (edited.tableNumber < 0 && !ResetColourIndices(area, params, progress)) return false;
    edited.tableNumber = dialog.tableNumber;
    LoadColourTable(edited.tableNumber, edited.heightColourTable);  // the grey ramp when unread
  }
  settings = edited;
  return true;
}


}  // namespace t3d::dialogs
