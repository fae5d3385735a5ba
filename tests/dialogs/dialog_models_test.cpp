// The dialogs' models: controls, texts, starting values, the rules of every change, and what OK
// may return.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "dialogs/height_colour_model.h"
#include "dialogs/prompt_models.h"
#include "formats/colour_table.h"

using namespace t3d;
using namespace t3d::dialogs;

namespace {

namespace hc = height_colour;

// A grid from 10 to 40 scaled height units, shown twice as high (zScale 2).
TnHeightColourDialog Settings(int layerCount = 256) {
  TnHeightColourDialog d{};
  d.layerCount = uint16_t(layerCount);
  d.tableNumber = 3;
  d.customLayers = layerCount < 256 ? 1 : 0;
  d.zMinScaled = 10;
  d.zMaxScaled = 40;
  d.zScale = 2;
  for (int k = 0; k < 256; ++k) d.layerBounds[k][0] = d.layerBounds[k][1] = float(k);
  return d;
}

std::string ControlText(const DialogModel& model, int kind, int index = 0) {
  for (const T3dControl& c : model.Controls())
    if (c.kind == kind && index-- == 0) return c.text;
  return "<none>";
}

TEST(HeightColourModel, ControlsTextsAndStartingState) {
  HeightColourModel table(Settings());
  EXPECT_STREQ(table.Caption(), "高程分层设色设置");
  EXPECT_EQ(std::string(table.Find(hc::kContinuousTone)->text), "连续色调变化");
  EXPECT_EQ(std::string(table.Find(hc::kAllowBounds)->text), "允许修改限制值");
  EXPECT_EQ(std::string(table.Find(hc::kCustomLayers)->text), "自定义分层数目");
  EXPECT_EQ(ControlText(table, T3D_CONTROL_LABEL, 0), "当前分层数:");
  EXPECT_EQ(ControlText(table, T3D_CONTROL_LABEL, 1), "缺省高程设色索引:");
  EXPECT_EQ(ControlText(table, T3D_CONTROL_OK), "确  认");
  EXPECT_EQ(ControlText(table, T3D_CONTROL_CANCEL), "取  消");
  ASSERT_EQ(table.ColumnCount(hc::kList), 4);
  EXPECT_STREQ(table.ColumnTitle(hc::kList, 0), "层号");
  EXPECT_STREQ(table.ColumnTitle(hc::kList, 1), "下限");
  EXPECT_STREQ(table.ColumnTitle(hc::kList, 2), "上限");
  EXPECT_STREQ(table.ColumnTitle(hc::kList, 3), "颜色");
  EXPECT_TRUE(table.ColumnIsColour(hc::kList, 3));
  EXPECT_FALSE(table.ColumnIsColour(hc::kList, 1));

  // A table colouring: the combo box chooses, the bound and count controls rest.
  EXPECT_EQ(table.Value(hc::kCustomLayers), 0);
  EXPECT_EQ(table.Value(hc::kAllowBounds), 0);
  EXPECT_EQ(table.Value(hc::kTable), 3);
  EXPECT_TRUE(table.Enabled(hc::kTable));
  EXPECT_FALSE(table.Enabled(hc::kLayerCount));
  EXPECT_FALSE(table.Enabled(hc::kAllowBounds));
  EXPECT_EQ(table.ItemCount(hc::kList), 256);
  EXPECT_EQ(table.ItemCount(hc::kTable), 39);
  int low = 0, high = 0;
  table.Range(hc::kLayerCount, low, high);
  EXPECT_EQ(low, 1);
  EXPECT_EQ(high, 256);

  // Custom layers: the other way round; the bounds box is off at every opening.
  HeightColourModel custom(Settings(4));
  EXPECT_EQ(custom.Value(hc::kCustomLayers), 1);
  EXPECT_EQ(custom.Value(hc::kAllowBounds), 0);
  EXPECT_EQ(custom.Value(hc::kLayerCount), 4);
  EXPECT_FALSE(custom.Enabled(hc::kTable));
  EXPECT_TRUE(custom.Enabled(hc::kLayerCount));
  EXPECT_TRUE(custom.Enabled(hc::kAllowBounds));
  EXPECT_EQ(custom.ItemCount(hc::kList), 4);
}

TEST(HeightColourModel, CustomLayersStartAsSixEqualGreenBands) {
  HeightColourModel model(Settings());
  ASSERT_TRUE(model.SetValue(hc::kCustomLayers, 1));
  const TnHeightColourDialog& r = model.Record();
  ASSERT_EQ(r.layerCount, 6);
  for (int k = 0; k < 6; ++k) {
    // step (40 - 10) / 6 = 5 scaled units, 10 in heights.
    EXPECT_FLOAT_EQ(r.layerBounds[k][0], float((10 + 5 * k) * 2)) << k;
    EXPECT_FLOAT_EQ(r.layerBounds[k][1], float((10 + 5 * k) * 2 + 10)) << k;
    EXPECT_EQ(r.colours[k][0], 0);
    EXPECT_EQ(r.colours[k][1], k * (65535 / 6)) << k;
    EXPECT_EQ(r.colours[k][2], 0);
  }
  EXPECT_EQ(model.ItemText(hc::kList, 0, 0), "1");
  EXPECT_EQ(model.ItemText(hc::kList, 5, 0), "6");
  EXPECT_EQ(model.ItemText(hc::kList, 1, 1), "30.000");
  EXPECT_EQ(model.ItemText(hc::kList, 1, 2), "40.000");
  EXPECT_EQ(model.ItemText(hc::kList, 6, 1), "");  // past the layer count
}

TEST(HeightColourModel, TheSpinRecomputesFromTwoLayersOnly) {
  HeightColourModel model(Settings(5));
  model.SetValue(hc::kCustomLayers, 1);
  ASSERT_TRUE(model.SetValue(hc::kLayerCount, 3));
  EXPECT_EQ(model.Record().layerCount, 3);
  EXPECT_FLOAT_EQ(model.Record().layerBounds[2][0], 60);
  EXPECT_FLOAT_EQ(model.Record().layerBounds[2][1], 80);
  // One layer keeps the bounds it had.
  ASSERT_TRUE(model.SetValue(hc::kLayerCount, 1));
  EXPECT_EQ(model.Record().layerCount, 1);
  EXPECT_FLOAT_EQ(model.Record().layerBounds[0][1], 20 + 20.0f);
  // Outside 1 to 256: refused, nothing changes.
  EXPECT_FALSE(model.SetValue(hc::kLayerCount, 0));
  EXPECT_FALSE(model.SetValue(hc::kLayerCount, 257));
  EXPECT_EQ(model.Record().layerCount, 1);
  // The combo box rests while custom layers are on.
  EXPECT_FALSE(model.SetValue(hc::kTable, 7));
  EXPECT_EQ(model.Record().tableNumber, 3);
}

TEST(HeightColourModel, TurningCustomLayersOffChoosesTableFiveWithDefaultBands) {
  HeightColourModel model(Settings(4));
  ASSERT_TRUE(model.SetValue(hc::kAllowBounds, 1));
  ASSERT_TRUE(model.SetValue(hc::kCustomLayers, 0));
  const TnHeightColourDialog& r = model.Record();
  EXPECT_EQ(r.tableNumber, 5);
  EXPECT_EQ(r.layerCount, 256);
  EXPECT_EQ(model.Value(hc::kAllowBounds), 0);
  const double step = 30.0 / 255;
  for (int k : {0, 1, 100, 254}) {
    EXPECT_FLOAT_EQ(r.layerBounds[k][0], float((10 + k * step) * 2)) << k;
    EXPECT_FLOAT_EQ(r.layerBounds[k][1], float((10 + (k + 1) * step) * 2)) << k;
  }
  EXPECT_FLOAT_EQ(r.layerBounds[255][0], 80);
  EXPECT_FLOAT_EQ(r.layerBounds[255][1], 80);
  ColourTable five{};
  LoadColourTable(5, five);
  for (int k : {0, 128, 255}) {
    EXPECT_EQ(r.colours[k][0], five.entries[k].red);
    EXPECT_EQ(r.colours[k][1], five.entries[k].green);
    EXPECT_EQ(r.colours[k][2], five.entries[k].blue);
  }
  // Choosing another table loads it; a number beyond the list is refused.
  ASSERT_TRUE(model.SetValue(hc::kTable, 12));
  EXPECT_EQ(model.Record().tableNumber, 12);
  EXPECT_FALSE(model.SetValue(hc::kTable, 39));
  EXPECT_FALSE(model.SetValue(hc::kTable, -1));
  EXPECT_EQ(model.Record().tableNumber, 12);
}

TEST(HeightColourModel, BoundsChangeOnlyWithBothBoxesOn) {
  HeightColourModel model(Settings(3));
  EXPECT_EQ(model.CellEdit(hc::kList, 0, hc::kLowColumn), T3D_CELL_NONE);
  EXPECT_FALSE(model.SetCellNumber(hc::kList, 0, hc::kLowColumn, 5));
  ASSERT_TRUE(model.SetValue(hc::kAllowBounds, 1));
  EXPECT_EQ(model.CellEdit(hc::kList, 0, hc::kLowColumn), T3D_CELL_NUMBER);
  EXPECT_EQ(model.CellEdit(hc::kList, 0, hc::kNumberColumn), T3D_CELL_NONE);
  EXPECT_EQ(model.CellEdit(hc::kList, 3, hc::kLowColumn), T3D_CELL_NONE);  // no such row
  // Sea level at 0 m, in the grid's own height units.
  ASSERT_TRUE(model.SetCellNumber(hc::kList, 0, hc::kLowColumn, 0));
  EXPECT_FLOAT_EQ(model.Record().layerBounds[0][0], 0);
  EXPECT_EQ(model.ItemText(hc::kList, 0, 1), "0.000");
  EXPECT_DOUBLE_EQ(model.CellNumber(hc::kList, 0, hc::kLowColumn), 0);
  for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), 1e39})
    EXPECT_FALSE(model.SetCellNumber(hc::kList, 0, hc::kHighColumn, bad));
  EXPECT_TRUE(std::isfinite(model.Record().layerBounds[0][1]));

  // A table colouring: no bound or colour editing, whatever the box said.
  HeightColourModel table(Settings());
  EXPECT_FALSE(table.SetValue(hc::kAllowBounds, 1));
  EXPECT_EQ(table.CellEdit(hc::kList, 0, hc::kHighColumn), T3D_CELL_NONE);
  EXPECT_EQ(table.CellEdit(hc::kList, 0, hc::kColourColumn), T3D_CELL_NONE);
}

TEST(HeightColourModel, ColoursArePackedFromTheHighBytes) {
  TnHeightColourDialog settings = Settings(2);
  settings.colours[0][0] = 0x12ff;
  settings.colours[0][1] = 0x3400;
  settings.colours[0][2] = 0xfe01;
  HeightColourModel model(settings);
  EXPECT_EQ(HeightColourModel::PackedColour(settings.colours[0]), 0x12u + 0x34u * 256 + 0xfeu * 65536);
  EXPECT_EQ(model.ItemText(hc::kList, 0, hc::kColourColumn), std::to_string(0x12 + 0x34 * 256 + 0xfe * 65536));
  EXPECT_EQ(model.CellColour(hc::kList, 0, hc::kColourColumn), 0xfe3412u);
  ASSERT_EQ(model.CellEdit(hc::kList, 1, hc::kColourColumn), T3D_CELL_COLOUR);
  ASSERT_TRUE(model.SetCellColour(hc::kList, 1, hc::kColourColumn, 0x336699u));
  EXPECT_EQ(model.Record().colours[1][0], 0x99 * 256);
  EXPECT_EQ(model.Record().colours[1][1], 0x66 * 256);
  EXPECT_EQ(model.Record().colours[1][2], 0x33 * 256);
}

TEST(HeightColourModel, OkRefusesBandsThatRunDownwards) {
  HeightColourModel model(Settings(2));
  model.SetValue(hc::kAllowBounds, 1);
  ASSERT_TRUE(model.SetCellNumber(hc::kList, 1, hc::kLowColumn, 500));  // above its upper bound
  EXPECT_FALSE(model.Accept());
  ASSERT_TRUE(model.SetCellNumber(hc::kList, 1, hc::kHighColumn, 600));
  EXPECT_TRUE(model.Accept());
}

TEST(HeightColourModel, CheckJudgesAnyAnswer) {
  const TnHeightColourDialog given = Settings(3);
  TnHeightColourDialog edited = given;
  edited.zMinScaled = -1e30;  // read-only fields come back as given
  edited.zScale = 0;
  edited.option = 7;
  ASSERT_TRUE(HeightColourModel::Check(given, edited));
  EXPECT_EQ(edited.zMinScaled, given.zMinScaled);
  EXPECT_EQ(edited.zScale, given.zScale);
  EXPECT_EQ(edited.option, 1);

  for (int count : {0, 257, 65535}) {
    edited = given;
    edited.layerCount = uint16_t(count);
    EXPECT_FALSE(HeightColourModel::Check(given, edited)) << count;
  }
  edited = given;
  edited.layerBounds[2][1] = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(HeightColourModel::Check(given, edited));
  edited = given;
  edited.layerBounds[3][1] = std::numeric_limits<float>::quiet_NaN();  // past the count
  EXPECT_TRUE(HeightColourModel::Check(given, edited));

  // A table choice: a number from the list, then 256 default bands.
  edited = given;
  edited.customLayers = 0;
  edited.tableNumber = 39;
  EXPECT_FALSE(HeightColourModel::Check(given, edited));
  edited.tableNumber = -1;
  EXPECT_FALSE(HeightColourModel::Check(given, edited));
  edited.tableNumber = 13;
  ASSERT_TRUE(HeightColourModel::Check(given, edited));
  EXPECT_EQ(edited.layerCount, 256);
  EXPECT_FLOAT_EQ(edited.layerBounds[255][0], 80);
  EXPECT_FLOAT_EQ(edited.layerBounds[0][0], 20);
}

TEST(BandModel, ListsEveryBandAndReturnsEntryNumbers) {
  TnBandsDialog given{5, 3, 1, 0};
  BandModel model(given);
  EXPECT_STREQ(model.Caption(), "设置RGB显示波段....");
  EXPECT_EQ(ControlText(model, T3D_CONTROL_LABEL, 0), "红波段号:");
  EXPECT_EQ(ControlText(model, T3D_CONTROL_LABEL, 1), "绿波段号:");
  EXPECT_EQ(ControlText(model, T3D_CONTROL_LABEL, 2), "蓝波段号:");
  EXPECT_EQ(ControlText(model, T3D_CONTROL_OK), "确  定");
  EXPECT_EQ(ControlText(model, T3D_CONTROL_CANCEL), "取  消");
  for (int id : {bands::kRed, bands::kGreen, bands::kBlue}) {
    ASSERT_EQ(model.ItemCount(id), 5);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(model.ItemText(id, k, 0), "波段 " + std::to_string(k + 1));
  }
  EXPECT_EQ(model.Value(bands::kRed), 3);
  EXPECT_EQ(model.Value(bands::kGreen), 1);
  EXPECT_EQ(model.Value(bands::kBlue), 0);
  ASSERT_TRUE(model.SetValue(bands::kRed, 2));  // the third entry
  EXPECT_FALSE(model.SetValue(bands::kGreen, 5));
  EXPECT_TRUE(model.Accept());
  EXPECT_EQ(model.Record().red, 2);
  EXPECT_EQ(model.Record().green, 1);

  TnBandsDialog edited = given;
  edited.bandCount = 99;  // read-only
  edited.blue = 4;
  EXPECT_TRUE(BandModel::Check(given, edited));
  EXPECT_EQ(edited.bandCount, 5);
  for (int bad : {-1, 5}) {
    edited = given;
    edited.green = bad;
    EXPECT_FALSE(BandModel::Check(given, edited)) << bad;
  }
  // An incoming band the image lacks selects no entry.
  BandModel odd(TnBandsDialog{4, 9, 0, 1});
  EXPECT_EQ(odd.Value(bands::kRed), -1);
  EXPECT_FALSE(odd.Accept());
}

TEST(ZScaleModel, ShowsTheSpansAndStartsWithDefaultScaling) {
  TnVerticalScaleDialog given{};
  given.header.xMin = 100;
  given.header.xMax = 1100.5;
  given.header.yMin = -20;
  given.header.yMax = 30;
  given.header.zMin = 5;
  given.header.zMax = 7.25;
  given.rescale = 0;
  ZScaleModel model(given);
  EXPECT_STREQ(model.Caption(), "高程缩放比例设置");
  EXPECT_STREQ(model.Text(zscale::kXSpan), "1000.5000");
  EXPECT_STREQ(model.Text(zscale::kYSpan), "50.0000");
  EXPECT_STREQ(model.Text(zscale::kZSpan), "2.2500");
  EXPECT_EQ(std::string(model.Find(zscale::kUnscaled)->text), "原始1:1不缩放");
  EXPECT_EQ(std::string(model.Find(zscale::kDefaultScaling)->text), "缺省比例缩放");
  EXPECT_EQ(ControlText(model, T3D_CONTROL_GROUP, 0), "数据范围");
  EXPECT_EQ(ControlText(model, T3D_CONTROL_GROUP, 1), "高程缩放设置");
  EXPECT_EQ(ControlText(model, T3D_CONTROL_OK), "确  认");
  // Confirmed untouched: default scaling.
  EXPECT_EQ(model.Value(zscale::kDefaultScaling), 1);
  EXPECT_STREQ(model.Text(zscale::kPrompt), "若在X/Y/Z上单位不一致,缺省缩放.");
  EXPECT_TRUE(model.Accept());
  EXPECT_EQ(model.Record().rescale, 1);
  ASSERT_TRUE(model.SetValue(zscale::kUnscaled, 1));
  EXPECT_EQ(model.Record().rescale, 0);
  EXPECT_EQ(model.Value(zscale::kDefaultScaling), 0);
  EXPECT_STREQ(model.Text(zscale::kPrompt), "数据在X/Y/Z上单位应保持一致.");

  TnVerticalScaleDialog edited = given;
  edited.header.rows = 12345;
  edited.rescale = 1;
  EXPECT_TRUE(ZScaleModel::Check(given, edited));
  EXPECT_EQ(edited.header.rows, given.header.rows);
  edited.rescale = -77;
  EXPECT_FALSE(ZScaleModel::Check(given, edited));
}

TEST(TextureFormatModel, StartsAtSixteenBits) {
  TextureFormatModel model;
  EXPECT_STREQ(model.Caption(), "纹理压缩提示");
  EXPECT_EQ(ControlText(model, T3D_CONTROL_LABEL), "请选择纹理压缩方式");
  EXPECT_EQ(std::string(model.Find(texture_format::kSixteenBits)->text), "16位纹理格式, 只供显示;");
  EXPECT_EQ(std::string(model.Find(texture_format::kTwentyFourBits)->text),
            "24位纹理格式, 可供显示及输出.");
  EXPECT_EQ(ControlText(model, T3D_CONTROL_OK), "确  定");
  EXPECT_EQ(ControlText(model, T3D_CONTROL_CANCEL), "<none>");  // OK only
  EXPECT_EQ(model.Record().choice, 0);
  ASSERT_TRUE(model.SetValue(texture_format::kTwentyFourBits, 1));
  EXPECT_EQ(model.Record().choice, 1);
  TnTextureFormatDialog edited{2};
  EXPECT_FALSE(TextureFormatModel::Check(edited));
  edited.choice = 1;
  EXPECT_TRUE(TextureFormatModel::Check(edited));
}

TEST(SavePath, AnEmptyPathIsNoAnswer) {
  TnSaveTextureDialog d{};
  EXPECT_FALSE(CheckSavePath(d));
  std::strcpy(d.path, "/tmp/a.Tex");
  EXPECT_TRUE(CheckSavePath(d));
}

}  // namespace
