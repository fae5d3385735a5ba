#include "dialogs/presenter.h"

#include <initializer_list>

namespace t3d::dialogs {
namespace {

TnDialogHandler g_handler = nullptr;
void* g_user = nullptr;

// Forwards to the host's handler; TN_DIALOG_DEFAULT falls back on the starting choice.
class HostPresenter : public Presenter {
 public:
  int VerticalScale(TnVerticalScaleDialog& dialog) override {
    TnVerticalScaleDialog edited = dialog;
    const int result = g_handler(g_user, TN_DIALOG_VERTICAL_SCALE, &edited);
    if (result == TN_DIALOG_DEFAULT) return defaults_.VerticalScale(dialog);
    if (result == kDialogOk) dialog.rescale = edited.rescale != 0 ? 1 : 0;
    return result == kDialogOk ? kDialogOk : kDialogCancel;
  }
  int HeightColour(TnHeightColourDialog& dialog) override {
    const int result = g_handler(g_user, TN_DIALOG_HEIGHT_COLOUR, &dialog);
    if (result == TN_DIALOG_DEFAULT) return defaults_.HeightColour(dialog);
    return result == kDialogOk ? kDialogOk : kDialogCancel;
  }
  int TextureFormat(TnTextureFormatDialog& dialog) override {
    TnTextureFormatDialog edited = dialog;
    const int result = g_handler(g_user, TN_DIALOG_TEXTURE_FORMAT, &edited);
    if (result == TN_DIALOG_DEFAULT) return defaults_.TextureFormat(dialog);
    if (result != kDialogOk) return kDialogCancel;
    dialog.choice = edited.choice == 1 ? 1 : 0;
    return kDialogOk;
  }
  int Bands(TnBandsDialog& dialog) override {
    TnBandsDialog edited = dialog;
    const int result = g_handler(g_user, TN_DIALOG_BANDS, &edited);
    if (result == TN_DIALOG_DEFAULT) return defaults_.Bands(dialog);
    if (result != kDialogOk) return kDialogCancel;
    // Only bands the image has.
    for (int32_t band : {edited.red, edited.green, edited.blue})
      if (band < 0 || band >= dialog.bandCount) return kDialogCancel;
    dialog.red = edited.red;
    dialog.green = edited.green;
    dialog.blue = edited.blue;
    return kDialogOk;
  }
  int SaveTexture(TnSaveTextureDialog& dialog) override {
    TnSaveTextureDialog edited{};
    const int result = g_handler(g_user, TN_DIALOG_SAVE_TEXTURE, &edited);
    if (result == TN_DIALOG_DEFAULT) return defaults_.SaveTexture(dialog);
    if (result != kDialogOk) return kDialogCancel;
    // Handed on as the host wrote it: the save step reads the path within the field only and
    // refuses one that has no terminating zero there, rather than saving under a cut name.
    if (edited.path[0] == '\0') return kDialogCancel;
    dialog = edited;
    return kDialogOk;
  }
  int VideoCompressor(TnVideoCompressorDialog& dialog) override {
    TnVideoCompressorDialog edited = dialog;
    const int result = g_handler(g_user, TN_DIALOG_VIDEO_COMPRESSOR, &edited);
    if (result == TN_DIALOG_DEFAULT) return defaults_.VideoCompressor(dialog);
    if (result != kDialogOk) return kDialogCancel;
    // A codec the list does not offer is no choice at all.
    if (edited.codec < TN_VIDEO_RAW || edited.codec > TN_VIDEO_MPEG4) return kDialogCancel;
    dialog.codec = edited.codec;
    dialog.quality = edited.quality < 1 ? 1 : edited.quality > 100 ? 100 : edited.quality;
    return kDialogOk;
  }

 private:
  DefaultPresenter defaults_;
};

}  // namespace

int DefaultPresenter::VerticalScale(TnVerticalScaleDialog& dialog) {
  dialog.rescale = 1;  // "缺省比例缩放", the dialog's starting choice
  return kDialogOk;
}

int DefaultPresenter::HeightColour(TnHeightColourDialog&) { return kDialogCancel; }

int DefaultPresenter::TextureFormat(TnTextureFormatDialog& dialog) {
  dialog.choice = 0;  // 16-bit pixels, the dialog's starting choice
  return kDialogOk;
}

int DefaultPresenter::Bands(TnBandsDialog&) { return kDialogOk; }

int DefaultPresenter::SaveTexture(TnSaveTextureDialog&) { return kDialogCancel; }

int DefaultPresenter::VideoCompressor(TnVideoCompressorDialog& dialog) {
  dialog.codec = TN_VIDEO_RAW;  // uncompressed frames, the list's first entry
  dialog.quality = 75;
  return kDialogOk;
}

Presenter& CurrentPresenter() {
  static DefaultPresenter defaults;
  static HostPresenter host;
  if (g_handler != nullptr) return host;
  return defaults;
}

void SetDialogHandler(TnDialogHandler handler, void* user) {
  g_handler = handler;
  g_user = handler != nullptr ? user : nullptr;
}

int ZScaleDialog(const TnGridHeader& header, int16_t& rescale) {
  TnVerticalScaleDialog dialog{};
  dialog.header = header;
  dialog.rescale = 1;
  const int result = CurrentPresenter().VerticalScale(dialog);
  if (result == kDialogOk) rescale = dialog.rescale;
  return result;
}

int VideoCompressorDialog(int32_t& codec, int32_t& quality) {
  TnVideoCompressorDialog dialog{TN_VIDEO_RAW, 75};
  const int result = CurrentPresenter().VideoCompressor(dialog);
  if (result == kDialogOk) {
    codec = dialog.codec;
    quality = dialog.quality;
  }
  return result;
}

}  // namespace t3d::dialogs
