// The module's entry: GTK started on the display, and the view's functions.
#include <cstdio>

#include "adapters/gtk/gtk_test_hook.h"
#include "adapters/gtk/gtk_view.h"

namespace t3d::gtk {
namespace {

T3dGtkWindowHook g_hook = nullptr;
void* g_hookUser = nullptr;

}  // namespace

void NameControl(GtkWidget* widget, int id) {
  char name[32];
  std::snprintf(name, sizeof name, "t3d-%d", id);
  gtk_widget_set_name(widget, name);
}

void WindowShown(GtkWidget* window) {
  if (g_hook == nullptr) return;
  // From the window's own loop, once it has been drawn.
  g_object_ref(window);
  g_idle_add_full(
      G_PRIORITY_LOW,
      [](gpointer data) -> gboolean {
        auto* shown = static_cast<GtkWidget*>(data);
        if (g_hook != nullptr && gtk_widget_get_visible(shown)) g_hook(shown, g_hookUser);
        g_object_unref(shown);
        return G_SOURCE_REMOVE;
      },
      window, nullptr);
}

}  // namespace t3d::gtk

extern "C" {

__attribute__((visibility("default"))) void t3d_gtk_set_window_hook(T3dGtkWindowHook hook,
                                                                     void* user) {
  t3d::gtk::g_hook = hook;
  t3d::gtk::g_hookUser = user;
}

__attribute__((visibility("default"))) int t3d_dialog_view_open(T3dDialogView* view) {
  if (view == nullptr) return 0;
  // Without a display GTK cannot start: the library keeps its defaults.
  if (!gtk_init_check(nullptr, nullptr)) return 0;
  view->version = T3D_DIALOG_VIEW_VERSION;
  view->run = &t3d::gtk::RunDialog;
  view->playVideo = &t3d::gtk::PlayVideo;
  view->message = &t3d::gtk::ShowMessage;
  view->chooseFile = &t3d::gtk::ChooseFile;
  return 1;
}

}  // extern "C"
