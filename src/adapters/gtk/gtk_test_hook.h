/* For tests of the desktop dialogs: a function the module calls with every modal window it
 * shows (the dialogs, the number prompt, the colour chooser, the player, the file chooser and
 * message boxes), from the window's own main loop once the window is on the screen. Widgets
 * carry names: "t3d-<id>" for a control, "t3d-ok" and "t3d-cancel" for the buttons. */
#pragma once

#include <gtk/gtk.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*T3dGtkWindowHook)(GtkWidget* window, void* user);
__attribute__((visibility("default"))) void t3d_gtk_set_window_hook(T3dGtkWindowHook hook,
                                                                     void* user);

#ifdef __cplusplus
}
#endif
