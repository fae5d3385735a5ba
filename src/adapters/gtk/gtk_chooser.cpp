// The open-file dialog with a preview panel, and the save dialog, on GTK's file chooser.
#include <algorithm>
#include <cstring>
#include <string>

#include "adapters/gtk/gtk_view.h"

namespace t3d::gtk {
namespace {

constexpr int kPanel = 200;  // the preview panel's size in pixels, each way

struct Preview {
  const T3dFileChooser* chooser = nullptr;
  GtkWidget* image = nullptr;
  GtkWidget* text = nullptr;
};

void UpdatePreview(GtkFileChooser* dialog, gpointer data) {
  auto& p = *static_cast<Preview*>(data);
  gchar* file = gtk_file_chooser_get_preview_filename(dialog);
  T3dPreview picture{};
  const int what = p.chooser->preview(p.chooser->self, file, &picture);
  g_free(file);
  gtk_image_clear(GTK_IMAGE(p.image));
  gtk_label_set_text(GTK_LABEL(p.text), "");
  if (what == T3D_PREVIEW_PICTURE && picture.rgb != nullptr) {
    // Stretched over the panel without smoothing.
    GdkPixbuf* whole = gdk_pixbuf_new_from_data(picture.rgb, GDK_COLORSPACE_RGB, FALSE, 8,
                                                picture.width, picture.height, picture.width * 3,
                                                nullptr, nullptr);
    GdkPixbuf* panel = gdk_pixbuf_scale_simple(whole, kPanel, kPanel, GDK_INTERP_NEAREST);
    gtk_image_set_from_pixbuf(GTK_IMAGE(p.image), panel);
    g_object_unref(panel);
    g_object_unref(whole);
    gtk_widget_hide(p.text);
    gtk_widget_show(p.image);
  } else if (what == T3D_PREVIEW_TEXT) {
    gtk_label_set_text(GTK_LABEL(p.text), p.chooser->panelText);
    gtk_widget_hide(p.image);
    gtk_widget_show(p.text);
  } else {
    gtk_widget_hide(p.image);
    gtk_widget_hide(p.text);
  }
  gtk_file_chooser_set_preview_widget_active(dialog, TRUE);
}

}  // namespace

int ChooseFile(const T3dFileChooser* chooser, char* out, size_t size) {
  if (chooser == nullptr || out == nullptr || size == 0) return 0;
  const bool save = chooser->save != 0;
  GtkWidget* dialog = gtk_file_chooser_dialog_new(
      chooser->caption, nullptr, save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN,
      nullptr, nullptr);
  GtkWidget* cancel = gtk_dialog_add_button(GTK_DIALOG(dialog), "取  消", GTK_RESPONSE_CANCEL);
  GtkWidget* ok = gtk_dialog_add_button(GTK_DIALOG(dialog), save ? "保  存" : "打  开",
                                        GTK_RESPONSE_ACCEPT);
  gtk_widget_set_name(ok, "t3d-ok");
  gtk_widget_set_name(cancel, "t3d-cancel");
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_default_size(GTK_WINDOW(dialog), 760, 460);
  GtkFileChooser* files = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_local_only(files, TRUE);
  gtk_file_chooser_set_do_overwrite_confirmation(files, save ? TRUE : FALSE);
  if (chooser->pattern != nullptr) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, chooser->filterName);
    // The extension in any case, as the pattern's own system matches it.
    std::string any;
    for (const char* c = chooser->pattern; *c != '\0'; ++c) {
      if (g_ascii_isalpha(*c)) {
        any += '[';
        any += char(g_ascii_tolower(*c));
        any += char(g_ascii_toupper(*c));
        any += ']';
      } else {
        any += *c;
      }
    }
    gtk_file_filter_add_pattern(filter, any.c_str());
    gtk_file_chooser_add_filter(files, filter);
  }

  Preview preview;
  preview.chooser = chooser;
  if (!save && chooser->preview != nullptr) {
    GtkWidget* panel = gtk_frame_new(nullptr);
    gtk_widget_set_name(panel, "t3d-preview");
    gtk_widget_set_size_request(panel, kPanel + 8, kPanel + 8);
    GtkWidget* stack = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    preview.image = gtk_image_new();
    gtk_widget_set_name(preview.image, "t3d-preview-image");
    preview.text = gtk_label_new(chooser->panelText);
    gtk_widget_set_name(preview.text, "t3d-preview-text");
    gtk_label_set_justify(GTK_LABEL(preview.text), GTK_JUSTIFY_CENTER);
    gtk_widget_set_valign(preview.text, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(stack), preview.image, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(stack), preview.text, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(panel), stack);
    gtk_widget_show_all(panel);
    gtk_widget_hide(preview.image);
    gtk_file_chooser_set_preview_widget(files, panel);
    gtk_file_chooser_set_use_preview_label(files, FALSE);
    gtk_file_chooser_set_preview_widget_active(files, TRUE);
    g_signal_connect(dialog, "update-preview", G_CALLBACK(UpdatePreview), &preview);
  }

  gtk_widget_show_all(dialog);
  // GTK's chooser restores the size it had last in the user's settings; a first showing
  // without them can be wider than a small screen.
  GdkRectangle screen{0, 0, 0, 0};
  if (GdkMonitor* monitor = gdk_display_get_primary_monitor(gdk_display_get_default()))
    gdk_monitor_get_workarea(monitor, &screen);
  int width = 0, height = 0;
  gtk_window_get_size(GTK_WINDOW(dialog), &width, &height);
  if (screen.width > 0 && (width > screen.width || height > screen.height))
    gtk_window_resize(GTK_WINDOW(dialog), std::min(width, screen.width * 9 / 10),
                      std::min(height, screen.height * 9 / 10));
  if (preview.image != nullptr) gtk_widget_hide(preview.image);
  WindowShown(dialog);
  int chosen = 0;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    gchar* file = gtk_file_chooser_get_filename(files);
    if (file != nullptr && std::strlen(file) < size) {
      std::memcpy(out, file, std::strlen(file) + 1);
      chosen = 1;
    }
    g_free(file);
  }
  gtk_widget_destroy(dialog);
  while (gtk_events_pending()) gtk_main_iteration();
  return chosen;
}

}  // namespace t3d::gtk
