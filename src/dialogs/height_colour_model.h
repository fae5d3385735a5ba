// The height colour dialog ("高程分层设色设置"): the colour table for height colouring, or height
// bands of the user's own with their colours. The model edits a copy of the record; the bounds
// are in the grid's own height units (scaled height x zScale), so that a band can start at 0 m.
#pragma once

#include "dialogs/dialog_model.h"
#include "terrain3d/terrain3d.h"

namespace t3d::dialogs {

namespace height_colour {
constexpr int kList = 1045;
constexpr int kContinuousTone = 1005;
constexpr int kAllowBounds = 1002;
constexpr int kCustomLayers = 1003;
constexpr int kLayerCount = 1006;
constexpr int kTable = 1024;
constexpr int kOk = 1;
constexpr int kCancel = 2;
// List columns.
constexpr int kNumberColumn = 0;
constexpr int kLowColumn = 1;
constexpr int kHighColumn = 2;
constexpr int kColourColumn = 3;
// Layers of a custom colouring when the custom-layers box is turned on.
constexpr int kStartingCustomLayers = 6;
// The table chosen when the custom-layers box is turned off.
constexpr int kTableAfterCustom = 5;
}  // namespace height_colour

class HeightColourModel : public DialogModel {
 public:
  // record: the settings as the dialog opens (customLayers already set from the layer count).
  explicit HeightColourModel(const TnHeightColourDialog& record);

  const char* Caption() const override;
  const std::vector<T3dControl>& Controls() const override;
  bool Enabled(int id) const override;
  int Value(int id) const override;
  bool SetValue(int id, int value) override;
  void Range(int id, int& low, int& high) const override;
  int ItemCount(int id) const override;
  std::string ItemText(int id, int item, int column) const override;
  int ColumnCount(int id) const override;
  const char* ColumnTitle(int id, int column) const override;
  bool ColumnIsColour(int id, int column) const override;
  int CellEdit(int id, int row, int column) const override;
  double CellNumber(int id, int row, int column) const override;
  bool SetCellNumber(int id, int row, int column, double value) override;
  uint32_t CellColour(int id, int row, int column) const override;
  bool SetCellColour(int id, int row, int column, uint32_t colour) override;
  bool Accept() override;

  const TnHeightColourDialog& Record() const { return record_; }

  // Whether edited is a record the dialog may return for the settings given, and edited made
  // into it: the fields the dialog only reads are taken from given, the check boxes become 0
  // or 1, and a table choice gets the 256 default bands of the table. False for a layer count
  // outside 1 to 256, a table number outside 0 to 38 while no custom layers are chosen, or a
  // custom band whose bounds are not numbers or whose lower bound is above its upper one.
  static bool Check(const TnHeightColourDialog& given, TnHeightColourDialog& edited);

  // The layer colour as the list shows it: red + green x 256 + blue x 65536 of the high bytes.
  static uint32_t PackedColour(const uint16_t colour[3]);

  // The 256-style default bands of a table over the record's height range.
  static void DefaultBands(TnHeightColourDialog& record);
  // count bands of equal height, green rising from black.
  static void EqualBands(TnHeightColourDialog& record, int count);

 private:
  void ChooseTable(int number);

  TnHeightColourDialog record_;
  bool allowBounds_ = false;  // off at every opening
};

}  // namespace t3d::dialogs
