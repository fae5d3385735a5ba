#include "dialogs/prompt_models.h"

#include <cstdio>

namespace t3d::dialogs {

// ---- Bands ---------------------------------------------------------------------------------

BandModel::BandModel(const TnBandsDialog& record) : record_(record) {}

const char* BandModel::Caption() const { return "设置RGB显示波段...."; }

const std::vector<T3dControl>& BandModel::Controls() const {
  static const std::vector<T3dControl> controls = {
      {0, T3D_CONTROL_LABEL, "红波段号:", 0},   {bands::kRed, T3D_CONTROL_COMBO, "", 0},
      {0, T3D_CONTROL_LABEL, "绿波段号:", 1},   {bands::kGreen, T3D_CONTROL_COMBO, "", 1},
      {0, T3D_CONTROL_LABEL, "蓝波段号:", 2},   {bands::kBlue, T3D_CONTROL_COMBO, "", 2},
      {1, T3D_CONTROL_OK, "确  定", 3},         {2, T3D_CONTROL_CANCEL, "取  消", 3},
  };
  return controls;
}

int32_t* BandModel::Band(int id) {
  switch (id) {
    case bands::kRed: return &record_.red;
    case bands::kGreen: return &record_.green;
    case bands::kBlue: return &record_.blue;
    default: return nullptr;
  }
}

int BandModel::Value(int id) const {
  const int32_t* band = const_cast<BandModel*>(this)->Band(id);
  // A list whose incoming band the image lacks selects nothing.
  return band != nullptr && *band >= 0 && *band < record_.bandCount ? *band : -1;
}

bool BandModel::SetValue(int id, int value) {
  int32_t* band = Band(id);
  if (band == nullptr || value < 0 || value >= record_.bandCount) return false;
  *band = value;
  return true;
}

int BandModel::ItemCount(int id) const {
  const bool list = id == bands::kRed || id == bands::kGreen || id == bands::kBlue;
  return list && record_.bandCount > 0 ? record_.bandCount : 0;
}

std::string BandModel::ItemText(int id, int item, int) const {
  if (item < 0 || item >= ItemCount(id)) return std::string();
  char text[32];
  std::snprintf(text, sizeof text, "波段 %ld", long(item) + 1);
  return text;
}

bool BandModel::Accept() {
  TnBandsDialog checked = record_;
  return Check(record_, checked);
}

bool BandModel::Check(const TnBandsDialog& given, TnBandsDialog& edited) {
  edited.bandCount = given.bandCount;
  for (int32_t band : {edited.red, edited.green, edited.blue})
    if (band < 0 || band >= given.bandCount) return false;
  return true;
}

// ---- Vertical scale --------------------------------------------------------------------------

ZScaleModel::ZScaleModel(const TnVerticalScaleDialog& record) : record_(record) {
  record_.rescale = 1;  // "缺省比例缩放"
  const double spans[3] = {record.header.xMax - record.header.xMin,
                           record.header.yMax - record.header.yMin,
                           record.header.zMax - record.header.zMin};
  for (int k = 0; k < 3; ++k) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4lf", spans[k]);
    spans_[k] = text;
  }
}

const char* ZScaleModel::Caption() const { return "高程缩放比例设置"; }

const std::vector<T3dControl>& ZScaleModel::Controls() const {
  using namespace zscale;
  static const std::vector<T3dControl> controls = {
      {0, T3D_CONTROL_GROUP, "数据范围", 0},
      {0, T3D_CONTROL_LABEL, "X向范围:", 1},
      {kXSpan, T3D_CONTROL_VALUE, "", 1},
      {0, T3D_CONTROL_LABEL, "Y向范围:", 2},
      {kYSpan, T3D_CONTROL_VALUE, "", 2},
      {0, T3D_CONTROL_LABEL, "Z向范围:", 3},
      {kZSpan, T3D_CONTROL_VALUE, "", 3},
      {0, T3D_CONTROL_GROUP, "高程缩放设置", 4},
      {kUnscaled, T3D_CONTROL_RADIO, "原始1:1不缩放", 5},
      {kDefaultScaling, T3D_CONTROL_RADIO, "缺省比例缩放", 6},
      {kPrompt, T3D_CONTROL_VALUE, "", 7},
      {1, T3D_CONTROL_OK, "确  认", 8},
      {2, T3D_CONTROL_CANCEL, "取  消", 8},
  };
  return controls;
}

int ZScaleModel::Value(int id) const {
  if (id == zscale::kUnscaled) return record_.rescale == 0 ? 1 : 0;
  if (id == zscale::kDefaultScaling) return record_.rescale == 1 ? 1 : 0;
  return 0;
}

bool ZScaleModel::SetValue(int id, int value) {
  if (value == 0) return id == zscale::kUnscaled || id == zscale::kDefaultScaling;
  if (id == zscale::kUnscaled) record_.rescale = 0;
  else if (id == zscale::kDefaultScaling) record_.rescale = 1;
  else return false;
  return true;
}

const char* ZScaleModel::Text(int id) const {
  switch (id) {
    case zscale::kXSpan: return spans_[0].c_str();
    case zscale::kYSpan: return spans_[1].c_str();
    case zscale::kZSpan: return spans_[2].c_str();
    case zscale::kPrompt:
      return record_.rescale == 0 ? "数据在X/Y/Z上单位应保持一致." : "若在X/Y/Z上单位不一致,缺省缩放.";
    default: return "";
  }
}

bool ZScaleModel::Check(const TnVerticalScaleDialog& given, TnVerticalScaleDialog& edited) {
  edited.header = given.header;
  return edited.rescale == 0 || edited.rescale == 1;
}

// ---- Texture format --------------------------------------------------------------------------

TextureFormatModel::TextureFormatModel() : record_{} {}  // 16-bit pixels to start

const char* TextureFormatModel::Caption() const { return "纹理压缩提示"; }

const std::vector<T3dControl>& TextureFormatModel::Controls() const {
  using namespace texture_format;
  static const std::vector<T3dControl> controls = {
      {0, T3D_CONTROL_LABEL, "请选择纹理压缩方式", 0},
      {kSixteenBits, T3D_CONTROL_RADIO, "16位纹理格式, 只供显示;", 1},
      {kTwentyFourBits, T3D_CONTROL_RADIO, "24位纹理格式, 可供显示及输出.", 2},
      {1, T3D_CONTROL_OK, "确  定", 3},
  };
  return controls;
}

int TextureFormatModel::Value(int id) const {
  if (id == texture_format::kSixteenBits) return record_.choice == 0 ? 1 : 0;
  if (id == texture_format::kTwentyFourBits) return record_.choice == 1 ? 1 : 0;
  return 0;
}

bool TextureFormatModel::SetValue(int id, int value) {
  if (value == 0) return id == texture_format::kSixteenBits || id == texture_format::kTwentyFourBits;
  if (id == texture_format::kSixteenBits) record_.choice = 0;
  else if (id == texture_format::kTwentyFourBits) record_.choice = 1;
  else return false;
  return true;
}

bool TextureFormatModel::Check(TnTextureFormatDialog& edited) {
  return edited.choice == 0 || edited.choice == 1;
}

// ---- Texture library save path ---------------------------------------------------------------

bool CheckSavePath(const TnSaveTextureDialog& edited) {
  // A path without its terminating zero is handed on: the save step reads the path within the
  // field only and refuses it with its message, rather than saving under a cut name.
  return edited.path[0] != '\0';
}

}  // namespace t3d::dialogs
