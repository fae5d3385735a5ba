// The presenter in use: a view's dialogs driven through the view interface, and every
// presenter's answer held to the dialogs' rules before the library takes it.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <string>

#include "dialogs/height_colour_model.h"
#include "dialogs/presenter.h"
#include "dialogs/prompt_models.h"
#include "dialogs/view_module.h"

using namespace t3d::dialogs;

namespace {

namespace hc = height_colour;

// A view whose "user" is a function of the shown model; it answers what the function returns.
struct ScriptedView {
  static std::function<int(const T3dDialogModel&)> script;
  static int runs;
  static T3dDialogView View() {
    T3dDialogView view{};
    view.version = T3D_DIALOG_VIEW_VERSION;
    view.run = [](const T3dDialogModel* model) {
      ++runs;
      return script(*model);
    };
    view.playVideo = [](const T3dVideoSource*, const char*) { return 1; };
    view.message = [](const char*, const char*) {};
    view.chooseFile = [](const T3dFileChooser*, char*, size_t) { return 0; };
    return view;
  }
};
std::function<int(const T3dDialogModel&)> ScriptedView::script;
int ScriptedView::runs = 0;

// Presses OK as a view does: only when the model accepts.
int PressOk(const T3dDialogModel& m) {
  return m.accept(m.self) ? T3D_DIALOG_OK : T3D_DIALOG_CANCEL;
}

class PresenterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view_ = ScriptedView::View();
    ScriptedView::runs = 0;
    SetDialogHandler(nullptr, nullptr);
    SetDialogView(&view_);
  }
  void TearDown() override {
    SetDialogView(nullptr);
    SetDialogHandler(nullptr, nullptr);
  }
  T3dDialogView view_;
};

TnHeightColourDialog Settings() {
  TnHeightColourDialog d{};
  d.layerCount = 256;
  d.tableNumber = 3;
  d.zMinScaled = 0;
  d.zMaxScaled = 100;
  d.zScale = 1;
  return d;
}

TEST_F(PresenterTest, AViewDrivesTheHeightColourModel) {
  ScriptedView::script = [](const T3dDialogModel& m) {
    EXPECT_STREQ(m.caption, "高程分层设色设置");
    EXPECT_EQ(m.setValue(m.self, hc::kCustomLayers, 1), 1);
    EXPECT_EQ(m.setValue(m.self, hc::kLayerCount, 4), 1);
    EXPECT_EQ(m.setValue(m.self, hc::kAllowBounds, 1), 1);
    EXPECT_EQ(m.cellEdit(m.self, hc::kList, 0, hc::kLowColumn), T3D_CELL_NUMBER);
    EXPECT_EQ(m.setCellNumber(m.self, hc::kList, 0, hc::kLowColumn, -10.5), 1);
    EXPECT_EQ(m.setCellColour(m.self, hc::kList, 3, hc::kColourColumn, 0x0000ffu), 1);
    char text[64];
    m.itemText(m.self, hc::kList, 0, hc::kLowColumn, text, sizeof text);
    EXPECT_STREQ(text, "-10.500");
    m.itemText(m.self, hc::kList, 0, hc::kLowColumn, text, 4);  // cut to the buffer
    EXPECT_STREQ(text, "-10");
    return PressOk(m);
  };
  TnHeightColourDialog d = Settings();
  ASSERT_EQ(CurrentPresenter().HeightColour(d), kDialogOk);
  EXPECT_EQ(d.customLayers, 1);
  EXPECT_EQ(d.layerCount, 4);
  EXPECT_FLOAT_EQ(d.layerBounds[0][0], -10.5f);
  EXPECT_FLOAT_EQ(d.layerBounds[0][1], 25);
  EXPECT_EQ(d.colours[3][0], 0xff00);
  EXPECT_EQ(d.colours[3][1], 0);
}

// Cancel, and a view that closes with OK although the model refused the record (downward
// bounds), both leave the record untouched.
TEST_F(PresenterTest, CancelOrARefusedRecordLeavesTheRecordUntouched) {
  const std::function<int(const T3dDialogModel&)> scripts[] = {
      [](const T3dDialogModel& m) {
        m.setValue(m.self, hc::kCustomLayers, 1);
        m.setValue(m.self, hc::kContinuousTone, 1);
        return T3D_DIALOG_CANCEL;
      },
      [](const T3dDialogModel& m) {
        m.setValue(m.self, hc::kCustomLayers, 1);
        m.setValue(m.self, hc::kAllowBounds, 1);
        m.setCellNumber(m.self, hc::kList, 2, hc::kLowColumn, 1e6);
        EXPECT_EQ(m.accept(m.self), 0);
        return T3D_DIALOG_OK;
      }};
  for (const auto& script : scripts) {
    ScriptedView::script = script;
    TnHeightColourDialog d = Settings();
    const TnHeightColourDialog before = d;
    EXPECT_EQ(CurrentPresenter().HeightColour(d), kDialogCancel);
    EXPECT_EQ(std::memcmp(&d, &before, sizeof d), 0);
  }
}

TEST_F(PresenterTest, PromptsOnTheView) {
  ScriptedView::script = [](const T3dDialogModel& m) {
    if (std::string(m.caption) == "设置RGB显示波段....") m.setValue(m.self, bands::kBlue, 4);
    if (std::string(m.caption) == "纹理压缩提示") m.setValue(m.self, texture_format::kTwentyFourBits, 1);
    if (std::string(m.caption) == "高程缩放比例设置") m.setValue(m.self, zscale::kUnscaled, 1);
    return PressOk(m);
  };
  TnBandsDialog b{5, 0, 1, 2};
  ASSERT_EQ(CurrentPresenter().Bands(b), kDialogOk);
  EXPECT_EQ(b.blue, 4);
  TnTextureFormatDialog f{0};
  ASSERT_EQ(CurrentPresenter().TextureFormat(f), kDialogOk);
  EXPECT_EQ(f.choice, 1);
  TnGridHeader header{};
  int16_t rescale = 1;
  ASSERT_EQ(ZScaleDialog(header, rescale), kDialogOk);
  EXPECT_EQ(rescale, 0);
  EXPECT_EQ(ScriptedView::runs, 3);

  // Cancelling the band dialog keeps the image's own bands.
  ScriptedView::script = [](const T3dDialogModel& m) {
    m.setValue(m.self, bands::kRed, 4);
    return T3D_DIALOG_CANCEL;
  };
  TnBandsDialog kept{5, 0, 1, 2};
  EXPECT_EQ(CurrentPresenter().Bands(kept), kDialogCancel);
  EXPECT_EQ(kept.red, 0);
}

TEST_F(PresenterTest, TheHostHandlerComesFirstAndIsHeldToTheRules) {
  static int calls = 0;
  calls = 0;
  SetDialogHandler(
      [](void*, int id, void* record) -> int {
        ++calls;
        if (id == TN_DIALOG_HEIGHT_COLOUR) {
          auto* d = static_cast<TnHeightColourDialog*>(record);
          d->customLayers = 1;
          d->layerCount = 2;
          d->layerBounds[0][0] = 0, d->layerBounds[0][1] = 50;
          d->layerBounds[1][0] = 50, d->layerBounds[1][1] = std::numeric_limits<float>::infinity();
          d->zScale = 1000;  // read only
        }
        if (id == TN_DIALOG_BANDS) static_cast<TnBandsDialog*>(record)->red = 5;
        if (id == TN_DIALOG_TEXTURE_FORMAT) static_cast<TnTextureFormatDialog*>(record)->choice = -3;
        if (id == TN_DIALOG_VERTICAL_SCALE) static_cast<TnVerticalScaleDialog*>(record)->rescale = 0;
        return 1;
      },
      nullptr);
  TnHeightColourDialog d = Settings();
  const TnHeightColourDialog before = d;
  EXPECT_EQ(CurrentPresenter().HeightColour(d), kDialogCancel);  // an infinite bound
  EXPECT_EQ(std::memcmp(&d, &before, sizeof d), 0);
  TnBandsDialog b{5, 0, 1, 2};
  EXPECT_EQ(CurrentPresenter().Bands(b), kDialogCancel);  // band 5 of five
  EXPECT_EQ(b.red, 0);
  TnTextureFormatDialog f{0};
  EXPECT_EQ(CurrentPresenter().TextureFormat(f), kDialogCancel);
  EXPECT_EQ(f.choice, 0);
  TnGridHeader header{};
  int16_t rescale = 1;
  EXPECT_EQ(ZScaleDialog(header, rescale), kDialogOk);
  EXPECT_EQ(rescale, 0);
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(ScriptedView::runs, 0);  // the view was not asked
}

TEST_F(PresenterTest, WhatTheHandlerLeavesGoesToTheView) {
  SetDialogHandler(
      [](void*, int, void* record) -> int {
        static_cast<TnBandsDialog*>(record)->red = 77;  // written, then declined
        return TN_DIALOG_DEFAULT;
      },
      nullptr);
  ScriptedView::script = [](const T3dDialogModel& m) {
    EXPECT_EQ(m.value(m.self, bands::kRed), 0);  // the record as the library gave it
    m.setValue(m.self, bands::kRed, 3);
    return PressOk(m);
  };
  TnBandsDialog b{5, 0, 1, 2};
  ASSERT_EQ(CurrentPresenter().Bands(b), kDialogOk);
  EXPECT_EQ(ScriptedView::runs, 1);
  EXPECT_EQ(b.red, 3);
}

TEST_F(PresenterTest, WithoutViewOrHandlerTheDefaultsAnswer) {
  SetDialogView(nullptr);
  EXPECT_EQ(DesktopView(), nullptr);
  TnHeightColourDialog d = Settings();
  EXPECT_EQ(CurrentPresenter().HeightColour(d), kDialogCancel);
  TnTextureFormatDialog f{1};
  EXPECT_EQ(CurrentPresenter().TextureFormat(f), kDialogOk);
  EXPECT_EQ(f.choice, 0);
  TnSaveTextureDialog s{};
  EXPECT_EQ(CurrentPresenter().SaveTexture(s), kDialogCancel);
  // No toolkit came into the process.
  std::ifstream maps("/proc/self/maps");
  const std::string all((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
  EXPECT_EQ(all.find("libgtk"), std::string::npos);
  EXPECT_EQ(all.find("libterrain3d-gtk"), std::string::npos);
}

}  // namespace
