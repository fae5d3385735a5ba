// The desktop dialogs: a view module (libterrain3d-gtk.so) loaded at run time. The library never
// links a toolkit itself: a headless server needs none, and a host with a toolkit of its own must
// not get a second one (two GTK versions in one process abort it). The module is loaded only when
// asked: by the host (tnUseDesktopDialogs), by TERRAIN3D_DIALOGS=gtk, or by the window helpers
// that cannot do without it (the video player and the texture file chooser).
#pragma once

#include <string>

#include "base/dialog_view.h"

namespace t3d::dialogs {

// The view the dialogs are shown with, or null (then the dialogs take their defaults). The
// first call installs the desktop view when TERRAIN3D_DIALOGS is "gtk".
const T3dDialogView* DesktopView();

// Installs (on) or removes (off) the desktop view for the dialogs; true when the dialogs now show
// on it (on) or no longer do (off). Loading fails, with a trace line, when the module is missing,
// there is no display, or another GTK version is already in the process.
bool UseDesktopView(bool on);

// The desktop view for a window helper: the installed one, else the module loaded (not
// installed for the dialogs); null when it cannot be had.
const T3dDialogView* WindowView();

// Replaces the view (tests); null removes it.
void SetDialogView(const T3dDialogView* view);

// Where the module is looked for: beside the library, then by name on the loader's path.
std::string DesktopModuleName();

}  // namespace t3d::dialogs
