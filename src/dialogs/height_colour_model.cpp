#include "dialogs/height_colour_model.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "formats/colour_table.h"

namespace t3d::dialogs {

using namespace height_colour;

namespace {

const std::vector<T3dControl> kControls = {
    {kList, T3D_CONTROL_LIST, "", 0},
    {kContinuousTone, T3D_CONTROL_CHECK, "连续色调变化", 1},
    {kAllowBounds, T3D_CONTROL_CHECK, "允许修改限制值", 1},
    {kCustomLayers, T3D_CONTROL_CHECK, "自定义分层数目", 2},
    {0, T3D_CONTROL_LABEL, "当前分层数:", 2},
    {kLayerCount, T3D_CONTROL_SPIN, "", 2},
    {0, T3D_CONTROL_LABEL, "缺省高程设色索引:", 3},
    {kTable, T3D_CONTROL_COMBO, "", 3},
    {kOk, T3D_CONTROL_OK, "确  认", 4},
    {kCancel, T3D_CONTROL_CANCEL, "取  消", 4},
};

const char* const kColumnTitles[4] = {"层号", "下限", "上限", "颜色"};

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

HeightColourModel::HeightColourModel(const TnHeightColourDialog& record) : record_(record) {
  record_.customLayers = record.customLayers != 0 ? 1 : 0;
  record_.option = record.option != 0 ? 1 : 0;
  if (record_.layerCount < 1) record_.layerCount = 1;
  if (record_.layerCount > 256) record_.layerCount = 256;
}

const char* HeightColourModel::Caption() const { return "高程分层设色设置"; }

const std::vector<T3dControl>& HeightColourModel::Controls() const { return kControls; }

bool HeightColourModel::Enabled(int id) const {
  const bool custom = record_.customLayers != 0;
  switch (id) {
    case kAllowBounds:
    case kLayerCount: return custom;
    case kTable: return !custom;
    default: return true;
  }
}

int HeightColourModel::Value(int id) const {
  switch (id) {
    case kContinuousTone: return record_.option;
    case kAllowBounds: return allowBounds_ ? 1 : 0;
    case kCustomLayers: return record_.customLayers;
    case kLayerCount: return record_.layerCount;
    case kTable:
      return record_.tableNumber >= 0 && record_.tableNumber < kColourTableFiles
                 ? record_.tableNumber
                 : 0;
    default: return 0;
  }
}

void HeightColourModel::Range(int id, int& low, int& high) const {
  low = high = 0;
  if (id == kLayerCount) {
    low = 1;
    high = 256;
  } else if (id == kTable) {
    high = kColourTableFiles - 1;
  }
}

bool HeightColourModel::SetValue(int id, int value) {
  switch (id) {
    case kContinuousTone:
      record_.option = value != 0 ? 1 : 0;
      return true;
    case kAllowBounds:
      if (record_.customLayers == 0) return false;
      allowBounds_ = value != 0;
      return true;
    case kCustomLayers:
      if ((value != 0) == (record_.customLayers != 0)) return true;
      if (value != 0) {
        record_.customLayers = 1;
        EqualBands(record_, kStartingCustomLayers);
      } else {
        record_.customLayers = 0;
        allowBounds_ = false;
        record_.layerCount = 256;
        ChooseTable(kTableAfterCustom);
      }
      return true;
    case kLayerCount:
      if (record_.customLayers == 0 || value < 1 || value > 256) return false;
      // One layer keeps its bounds: equal bands need at least two.
      if (value >= 2) EqualBands(record_, value);
      record_.layerCount = uint16_t(value);
      return true;
    case kTable:
      if (record_.customLayers != 0 || value < 0 || value >= kColourTableFiles) return false;
      ChooseTable(value);
      return true;
    default: return false;
  }
}

void HeightColourModel::ChooseTable(int number) {
  ColourTable table{};
  LoadColourTable(number, table);  // the grey ramp when the file cannot be read
  for (int k = 0; k < 256; ++k) {
    record_.colours[k][0] = table.entries[k].red;
    record_.colours[k][1] = table.entries[k].green;
    record_.colours[k][2] = table.entries[k].blue;
  }
  record_.tableNumber = int16_t(number);
  DefaultBands(record_);
}

void HeightColourModel::DefaultBands(TnHeightColourDialog& record) {
  const int count = record.layerCount;
  const double step = (record.zMaxScaled - record.zMinScaled) / 255;
  for (int k = 0; k + 1 < count; ++k) {
    record.layerBounds[k][0] = float((record.zMinScaled + k * step) * record.zScale);
    record.layerBounds[k][1] = float((record.zMinScaled + (k + 1) * step) * record.zScale);
  }
  if (count > 0) {
    record.layerBounds[count - 1][0] = float(record.zMaxScaled * record.zScale);
    record.layerBounds[count - 1][1] = float(record.zMaxScaled * record.zScale);
  }
}

void HeightColourModel::EqualBands(TnHeightColourDialog& record, int count) {
  const double step = (record.zMaxScaled - record.zMinScaled) / count;
  for (int k = 0; k < count; ++k) {
    const double low = (record.zMinScaled + k * step) * record.zScale;
    record.layerBounds[k][0] = float(low);
    record.layerBounds[k][1] = float(low + step * record.zScale);
    record.colours[k][0] = 0;
    record.colours[k][1] = uint16_t(k * (65535 / count));
    record.colours[k][2] = 0;
  }
  record.layerCount = uint16_t(count);
}

int HeightColourModel::ItemCount(int id) const {
  if (id == kList) return record_.layerCount;
  if (id == kTable) return kColourTableFiles;
  return 0;
}

uint32_t HeightColourModel::PackedColour(const uint16_t colour[3]) {
  return uint32_t(colour[0] >> 8) + uint32_t(colour[1] >> 8) * 256u +
         uint32_t(colour[2] >> 8) * 65536u;
}

std::string HeightColourModel::ItemText(int id, int item, int column) const {
  if (id == kTable) {
    const char* name = ColourTableFileName(item);
    return name != nullptr ? std::to_string(item) + "  " + name : std::string();
  }
  if (id != kList || item < 0 || item >= record_.layerCount) return std::string();
  switch (column) {
    case kNumberColumn: return std::to_string(item + 1);
    case kLowColumn: return Format("%.3f", record_.layerBounds[item][0]);
    case kHighColumn: return Format("%.3f", record_.layerBounds[item][1]);
    case kColourColumn: return std::to_string(PackedColour(record_.colours[item]));
    default: return std::string();
  }
}

int HeightColourModel::ColumnCount(int id) const { return id == kList ? 4 : 0; }

const char* HeightColourModel::ColumnTitle(int id, int column) const {
  return id == kList && column >= 0 && column < 4 ? kColumnTitles[column] : "";
}

bool HeightColourModel::ColumnIsColour(int id, int column) const {
  return id == kList && column == kColourColumn;
}

int HeightColourModel::CellEdit(int id, int row, int column) const {
  if (id != kList || row < 0 || row >= record_.layerCount || record_.customLayers == 0)
    return T3D_CELL_NONE;
  if ((column == kLowColumn || column == kHighColumn) && allowBounds_) return T3D_CELL_NUMBER;
  // In a table colouring the colours are the table's: a colour edited there would be lost.
  if (column == kColourColumn) return T3D_CELL_COLOUR;
  return T3D_CELL_NONE;
}

double HeightColourModel::CellNumber(int id, int row, int column) const {
  if (id != kList || row < 0 || row >= record_.layerCount) return 0;
  if (column == kLowColumn) return record_.layerBounds[row][0];
  if (column == kHighColumn) return record_.layerBounds[row][1];
  return 0;
}

bool HeightColourModel::SetCellNumber(int id, int row, int column, double value) {
  if (CellEdit(id, row, column) != T3D_CELL_NUMBER) return false;
  // A bound must be a number a float holds.
  if (!std::isfinite(value) || std::fabs(value) > 3.4e38) return false;
  record_.layerBounds[row][column == kLowColumn ? 0 : 1] = float(value);
  return true;
}

uint32_t HeightColourModel::CellColour(int id, int row, int) const {
  if (id != kList || row < 0 || row >= record_.layerCount) return 0;
  const uint16_t* c = record_.colours[row];
  return uint32_t(c[0] >> 8) | uint32_t(c[1] >> 8) << 8 | uint32_t(c[2] >> 8) << 16;
}

bool HeightColourModel::SetCellColour(int id, int row, int column, uint32_t colour) {
  if (CellEdit(id, row, column) != T3D_CELL_COLOUR) return false;
  record_.colours[row][0] = uint16_t((colour & 0xff) * 256);
  record_.colours[row][1] = uint16_t((colour >> 8 & 0xff) * 256);
  record_.colours[row][2] = uint16_t((colour >> 16 & 0xff) * 256);
  return true;
}

bool HeightColourModel::Accept() {
  TnHeightColourDialog checked = record_;
  if (!Check(record_, checked)) return false;
  record_ = checked;
  return true;
}

bool HeightColourModel::Check(const TnHeightColourDialog& given, TnHeightColourDialog& edited) {
  edited.zMinScaled = given.zMinScaled;
  edited.zMaxScaled = given.zMaxScaled;
  edited.zScale = given.zScale;
  edited.customLayers = edited.customLayers != 0 ? 1 : 0;
  edited.option = edited.option != 0 ? 1 : 0;
  if (edited.layerCount < 1 || edited.layerCount > 256) return false;
  if (edited.customLayers != 0) {
    for (int k = 0; k < edited.layerCount; ++k) {
      const float low = edited.layerBounds[k][0], high = edited.layerBounds[k][1];
      if (!std::isfinite(low) || !std::isfinite(high) || low > high) return false;
    }
    return true;
  }
  if (edited.tableNumber < 0 || edited.tableNumber >= kColourTableFiles) return false;
  edited.layerCount = 256;
  DefaultBands(edited);
  return true;
}

}  // namespace t3d::dialogs
