// The desktop dialogs on GTK 3: what the module's source files share.
#pragma once

#include <gtk/gtk.h>

#include "base/dialog_view.h"

namespace t3d::gtk {

// Runs a model's dialog; T3D_DIALOG_OK or T3D_DIALOG_CANCEL.
int RunDialog(const T3dDialogModel* model);
int PlayVideo(const T3dVideoSource* video, const char* caption);
int ChooseFile(const T3dFileChooser* chooser, char* out, size_t size);
void ShowMessage(const char* caption, const char* text);

// Called with every window the module shows modally, once it is on the screen (tests drive
// the widgets from there).
void WindowShown(GtkWidget* window);

// The name a control's widget carries: "t3d-<id>".
void NameControl(GtkWidget* widget, int id);

}  // namespace t3d::gtk
