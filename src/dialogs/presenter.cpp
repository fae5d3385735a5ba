#include "dialogs/presenter.h"

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

 private:
  DefaultPresenter defaults_;
};

}  // namespace

int DefaultPresenter::VerticalScale(TnVerticalScaleDialog& dialog) {
  dialog.rescale = 1;  // "缺省比例缩放", the dialog's starting choice
  return kDialogOk;
}

int DefaultPresenter::HeightColour(TnHeightColourDialog&) { return kDialogCancel; }

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

}  // namespace t3d::dialogs
