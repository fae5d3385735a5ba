// The library's modal dialogs, behind a presenter: the dialog logic asks the presenter for the
// user's answers. Without a host presenter every dialog takes its own starting choice, so that a
// headless host never blocks.
//
// Whoever answers (the host's handler, the desktop dialogs or the defaults), the answer passes
// the dialog's own rules before it reaches the library: a record the dialog could not have
// returned counts as Cancel, and the fields a dialog only shows keep their values.
#pragma once

#include <cstdint>

#include "base/dialog_view.h"
#include "terrain3d/terrain3d.h"

namespace t3d::dialogs {

constexpr int kDialogOk = 1;
constexpr int kDialogCancel = 2;

class Presenter {
 public:
  virtual ~Presenter() = default;
  // Each returns the dialog result (kDialogOk to confirm) and edits the record on OK.
  virtual int VerticalScale(TnVerticalScaleDialog& dialog) = 0;
  virtual int HeightColour(TnHeightColourDialog& dialog) = 0;
  virtual int TextureFormat(TnTextureFormatDialog& dialog) = 0;
  virtual int Bands(TnBandsDialog& dialog) = 0;
  virtual int SaveTexture(TnSaveTextureDialog& dialog) = 0;
  virtual int VideoCompressor(TnVideoCompressorDialog& dialog) = 0;
};

// The starting choices: default scaling confirmed; the height colour dialog cancelled; the
// texture format and band dialogs confirmed as they start; the texture save dialog cancelled;
// the video compressor dialog confirmed with uncompressed frames.
class DefaultPresenter : public Presenter {
 public:
  int VerticalScale(TnVerticalScaleDialog& dialog) override;
  int HeightColour(TnHeightColourDialog& dialog) override;
  int TextureFormat(TnTextureFormatDialog& dialog) override;
  int Bands(TnBandsDialog& dialog) override;
  int SaveTexture(TnSaveTextureDialog& dialog) override;
  int VideoCompressor(TnVideoCompressorDialog& dialog) override;
};

// The dialogs shown by a view module: each dialog's model on the screen.
class ViewPresenter : public Presenter {
 public:
  explicit ViewPresenter(const T3dDialogView& view) : view_(view) {}
  int VerticalScale(TnVerticalScaleDialog& dialog) override;
  int HeightColour(TnHeightColourDialog& dialog) override;
  int TextureFormat(TnTextureFormatDialog& dialog) override;
  int Bands(TnBandsDialog& dialog) override;
  int SaveTexture(TnSaveTextureDialog& dialog) override;
  int VideoCompressor(TnVideoCompressorDialog& dialog) override;

 private:
  const T3dDialogView& view_;
};

// Passes another presenter's answers through the dialogs' rules (see above).
class CheckedPresenter : public Presenter {
 public:
  explicit CheckedPresenter(Presenter& inner) : inner_(inner) {}
  int VerticalScale(TnVerticalScaleDialog& dialog) override;
  int HeightColour(TnHeightColourDialog& dialog) override;
  int TextureFormat(TnTextureFormatDialog& dialog) override;
  int Bands(TnBandsDialog& dialog) override;
  int SaveTexture(TnSaveTextureDialog& dialog) override;
  int VideoCompressor(TnVideoCompressorDialog& dialog) override;

 private:
  Presenter& inner_;
};

// The presenter in use, checked: the host's dialog handler when one is installed, else the
// desktop dialogs when they are installed, else the defaults.
Presenter& CurrentPresenter();

void SetDialogHandler(TnDialogHandler handler, void* user);

// The vertical scale dialog: shows the grid's spans and asks whether heights are rescaled.
// Returns the dialog result; on OK rescale is 0 (1:1) or 1 (default scaling).
int ZScaleDialog(const TnGridHeader& header, int16_t& rescale);

// The video compressor dialog: the codec (TN_VIDEO_...) and quality of an AVI recording. Returns
// the dialog result; on OK codec and quality are valid choices.
int VideoCompressorDialog(int32_t& codec, int32_t& quality);

}  // namespace t3d::dialogs
