#include "dialogs/presenter.h"

#include <cstring>
#include <memory>

#include "dialogs/height_colour_model.h"
#include "dialogs/prompt_models.h"
#include "dialogs/view_module.h"

namespace t3d::dialogs {
namespace {

TnDialogHandler g_handler = nullptr;
void* g_user = nullptr;

// The presenter that answers what the host's handler leaves to the dialog: the desktop dialogs
// when they are installed, else the starting choices.
Presenter& Fallback();

// Forwards to the host's handler; TN_DIALOG_DEFAULT leaves the answer to the dialog itself. The
// handler edits a copy, which the checked presenter judges.
class HostPresenter : public Presenter {
 public:
  int VerticalScale(TnVerticalScaleDialog& dialog) override {
    return Ask(TN_DIALOG_VERTICAL_SCALE, dialog, &Presenter::VerticalScale);
  }
  int HeightColour(TnHeightColourDialog& dialog) override {
    return Ask(TN_DIALOG_HEIGHT_COLOUR, dialog, &Presenter::HeightColour);
  }
  int TextureFormat(TnTextureFormatDialog& dialog) override {
    return Ask(TN_DIALOG_TEXTURE_FORMAT, dialog, &Presenter::TextureFormat);
  }
  int Bands(TnBandsDialog& dialog) override {
    return Ask(TN_DIALOG_BANDS, dialog, &Presenter::Bands);
  }
  int SaveTexture(TnSaveTextureDialog& dialog) override {
    TnSaveTextureDialog empty{};  // the handler starts from an empty path
    dialog = empty;
    return Ask(TN_DIALOG_SAVE_TEXTURE, dialog, &Presenter::SaveTexture);
  }
  int VideoCompressor(TnVideoCompressorDialog& dialog) override {
    return Ask(TN_DIALOG_VIDEO_COMPRESSOR, dialog, &Presenter::VideoCompressor);
  }

 private:
  template <typename Record>
  int Ask(int id, Record& dialog, int (Presenter::*fallback)(Record&)) {
    const Record given = dialog;
    const int result = g_handler(g_user, id, &dialog);
    if (result == TN_DIALOG_DEFAULT) {
      dialog = given;  // whatever the handler wrote before it declined
      return (Fallback().*fallback)(dialog);
    }
    return result == kDialogOk ? kDialogOk : kDialogCancel;
  }
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

// ---- Dialogs on a view module ----------------------------------------------------------------

namespace {

template <typename Model, typename Record>
int Show(const T3dDialogView& view, Model& model, Record& dialog) {
  const T3dDialogModel shown = ViewOf(model);
  if (view.run(&shown) != T3D_DIALOG_OK || !model.Accept()) return kDialogCancel;
  dialog = model.Record();
  return kDialogOk;
}

}  // namespace

int ViewPresenter::VerticalScale(TnVerticalScaleDialog& dialog) {
  ZScaleModel model(dialog);
  return Show(view_, model, dialog);
}

int ViewPresenter::HeightColour(TnHeightColourDialog& dialog) {
  HeightColourModel model(dialog);
  return Show(view_, model, dialog);
}

int ViewPresenter::TextureFormat(TnTextureFormatDialog& dialog) {
  TextureFormatModel model;
  return Show(view_, model, dialog);
}

int ViewPresenter::Bands(TnBandsDialog& dialog) {
  BandModel model(dialog);
  return Show(view_, model, dialog);
}

int ViewPresenter::SaveTexture(TnSaveTextureDialog& dialog) {
  T3dFileChooser chooser{};
  chooser.caption = "保存纹理库文件";
  chooser.filterName = "纹理库文件(*.Tex)";
  chooser.pattern = "*.Tex";
  chooser.save = 1;
  TnSaveTextureDialog chosen{};
  if (view_.chooseFile(&chooser, chosen.path, sizeof chosen.path) != 1) return kDialogCancel;
  dialog = chosen;
  return kDialogOk;
}

// The desktop module has no window for the video compressor: the starting choice.
int ViewPresenter::VideoCompressor(TnVideoCompressorDialog& dialog) {
  DefaultPresenter defaults;
  return defaults.VideoCompressor(dialog);
}

// ---- The dialogs' rules over any presenter -----------------------------------------------------

int CheckedPresenter::VerticalScale(TnVerticalScaleDialog& dialog) {
  TnVerticalScaleDialog edited = dialog;
  if (inner_.VerticalScale(edited) != kDialogOk || !ZScaleModel::Check(dialog, edited))
    return kDialogCancel;
  dialog = edited;
  return kDialogOk;
}

int CheckedPresenter::HeightColour(TnHeightColourDialog& dialog) {
  TnHeightColourDialog edited = dialog;
  if (inner_.HeightColour(edited) != kDialogOk || !HeightColourModel::Check(dialog, edited))
    return kDialogCancel;
  dialog = edited;
  return kDialogOk;
}

int CheckedPresenter::TextureFormat(TnTextureFormatDialog& dialog) {
  TnTextureFormatDialog edited = dialog;
  if (inner_.TextureFormat(edited) != kDialogOk || !TextureFormatModel::Check(edited))
    return kDialogCancel;
  dialog = edited;
  return kDialogOk;
}

int CheckedPresenter::Bands(TnBandsDialog& dialog) {
  TnBandsDialog edited = dialog;
  if (inner_.Bands(edited) != kDialogOk || !BandModel::Check(dialog, edited)) return kDialogCancel;
  dialog = edited;
  return kDialogOk;
}

int CheckedPresenter::SaveTexture(TnSaveTextureDialog& dialog) {
  TnSaveTextureDialog edited = dialog;
  if (inner_.SaveTexture(edited) != kDialogOk || !CheckSavePath(edited)) return kDialogCancel;
  dialog = edited;
  return kDialogOk;
}

int CheckedPresenter::VideoCompressor(TnVideoCompressorDialog& dialog) {
  TnVideoCompressorDialog edited = dialog;
  if (inner_.VideoCompressor(edited) != kDialogOk) return kDialogCancel;
  // A codec the list does not offer is no choice at all; the quality is held to 1 to 100.
  if (edited.codec < TN_VIDEO_RAW || edited.codec > TN_VIDEO_MPEG4) return kDialogCancel;
  dialog.codec = edited.codec;
  dialog.quality = edited.quality < 1 ? 1 : edited.quality > 100 ? 100 : edited.quality;
  return kDialogOk;
}

// ---- The presenter in use ----------------------------------------------------------------------

namespace {

Presenter& Fallback() {
  static DefaultPresenter defaults;
  if (const T3dDialogView* view = DesktopView()) {
    // One presenter per view; the view stays loaded for the life of the process.
    static const T3dDialogView* shown = nullptr;
    static std::unique_ptr<ViewPresenter> presenter;
    if (shown != view) {
      presenter = std::make_unique<ViewPresenter>(*view);
      shown = view;
    }
    return *presenter;
  }
  return defaults;
}

Presenter& Unchecked() {
  static HostPresenter host;
  if (g_handler != nullptr) return host;
  return Fallback();
}

// Forwards to whichever presenter is current at the call.
class CurrentSource : public Presenter {
 public:
  int VerticalScale(TnVerticalScaleDialog& d) override { return Unchecked().VerticalScale(d); }
  int HeightColour(TnHeightColourDialog& d) override { return Unchecked().HeightColour(d); }
  int TextureFormat(TnTextureFormatDialog& d) override { return Unchecked().TextureFormat(d); }
  int Bands(TnBandsDialog& d) override { return Unchecked().Bands(d); }
  int SaveTexture(TnSaveTextureDialog& d) override { return Unchecked().SaveTexture(d); }
  int VideoCompressor(TnVideoCompressorDialog& d) override { return Unchecked().VideoCompressor(d); }
};

}  // namespace

Presenter& CurrentPresenter() {
  static CurrentSource source;
  static CheckedPresenter checked(source);
  return checked;
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
