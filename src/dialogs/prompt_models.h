// The three small prompts of a preparation: the display bands of a multi-band image
// ("设置RGB显示波段...."), the vertical scale of a grid ("高程缩放比例设置") and the pixel format
// of texture tiles ("纹理压缩提示"); and the rule for a texture library's save path.
#pragma once

#include <string>

#include "dialogs/dialog_model.h"
#include "terrain3d/terrain3d.h"

namespace t3d::dialogs {

namespace bands {
constexpr int kRed = 1024;
constexpr int kGreen = 1021;
constexpr int kBlue = 1022;
}  // namespace bands

class BandModel : public DialogModel {
 public:
  explicit BandModel(const TnBandsDialog& record);
  const char* Caption() const override;
  const std::vector<T3dControl>& Controls() const override;
  int Value(int id) const override;
  bool SetValue(int id, int value) override;
  int ItemCount(int id) const override;
  std::string ItemText(int id, int item, int column) const override;
  bool Accept() override;
  const TnBandsDialog& Record() const { return record_; }
  // Whether edited names bands the image has; the band count is taken from given.
  static bool Check(const TnBandsDialog& given, TnBandsDialog& edited);

 private:
  int32_t* Band(int id);
  TnBandsDialog record_;
};

namespace zscale {
constexpr int kXSpan = 4011;
constexpr int kYSpan = 4012;
constexpr int kZSpan = 4013;
constexpr int kUnscaled = 4010;
constexpr int kDefaultScaling = 4014;
constexpr int kPrompt = 4015;
}  // namespace zscale

class ZScaleModel : public DialogModel {
 public:
  explicit ZScaleModel(const TnVerticalScaleDialog& record);
  const char* Caption() const override;
  const std::vector<T3dControl>& Controls() const override;
  int Value(int id) const override;
  bool SetValue(int id, int value) override;
  const char* Text(int id) const override;
  bool Accept() override { return true; }
  const TnVerticalScaleDialog& Record() const { return record_; }
  // Whether the choice is 0 or 1; the grid is taken from given.
  static bool Check(const TnVerticalScaleDialog& given, TnVerticalScaleDialog& edited);

 private:
  TnVerticalScaleDialog record_;
  std::string spans_[3];
};

namespace texture_format {
constexpr int kSixteenBits = 4010;
constexpr int kTwentyFourBits = 4011;
}  // namespace texture_format

class TextureFormatModel : public DialogModel {
 public:
  TextureFormatModel();
  const char* Caption() const override;
  const std::vector<T3dControl>& Controls() const override;
  int Value(int id) const override;
  bool SetValue(int id, int value) override;
  bool Accept() override { return true; }
  const TnTextureFormatDialog& Record() const { return record_; }
  static bool Check(TnTextureFormatDialog& edited);

 private:
  TnTextureFormatDialog record_;
};

// Whether a texture library's save path is an answer: not empty. (One that does not end within
// the field is refused, and reported, by the save itself.)
bool CheckSavePath(const TnSaveTextureDialog& edited);

}  // namespace t3d::dialogs
