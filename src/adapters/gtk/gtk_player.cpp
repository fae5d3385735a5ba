// The modal video player: the movie at its own size, played at its frame rate, with play/pause,
// a position slider, a frame step and close.
#include <cmath>
#include <vector>

#include "adapters/gtk/gtk_view.h"

namespace t3d::gtk {
namespace {

struct Player {
  const T3dVideoSource* video = nullptr;
  GtkWidget* window = nullptr;
  GtkWidget* picture = nullptr;
  GtkWidget* play = nullptr;
  GtkWidget* position = nullptr;
  std::vector<uint8_t> rgb;
  GdkPixbuf* frame = nullptr;  // shares rgb
  int64_t shown = -1;          // index of the frame on the screen
  int64_t last = -1;           // the last frame, once known
  guint timer = 0;
  bool moving = false;  // set while the player moves the slider itself

  ~Player() {
    if (timer != 0) g_source_remove(timer);
    if (frame != nullptr) g_object_unref(frame);
  }

  // Shows frame index; false past the end (the frame before stays).
  bool Show(int64_t index) {
    if (index < 0 || (last >= 0 && index > last)) return false;
    if (!video->frame(video->self, index, rgb.data())) {
      last = index - 1 >= 0 ? index - 1 : 0;
      return false;
    }
    shown = index;
    // The first frame is read before the window's widgets exist (it sizes them).
    if (picture != nullptr) gtk_widget_queue_draw(picture);
    if (position != nullptr) {
      moving = true;
      gtk_range_set_value(GTK_RANGE(position), double(index));
      moving = false;
    }
    return true;
  }

  void Pause() {
    if (timer != 0) g_source_remove(timer);
    timer = 0;
    gtk_button_set_label(GTK_BUTTON(play), "播放");
  }

  void Play() {
    if (timer != 0) return;
    if (last >= 0 && shown >= last) Show(0);  // from the start again after the end
    const double fps = video->framesPerSecond > 0 ? video->framesPerSecond : 25;
    timer = g_timeout_add(guint(std::lround(1000 / fps)),
                          [](gpointer data) -> gboolean {
                            auto& p = *static_cast<Player*>(data);
                            if (p.Show(p.shown + 1)) return G_SOURCE_CONTINUE;
                            p.timer = 0;
                            p.Pause();
                            return G_SOURCE_REMOVE;
                          },
                          this);
    gtk_button_set_label(GTK_BUTTON(play), "暂停");
  }
};

}  // namespace

int PlayVideo(const T3dVideoSource* video, const char* caption) {
  if (video == nullptr || video->width <= 0 || video->height <= 0) return 0;
  Player p;
  p.video = video;
  p.rgb.assign(size_t(video->width) * video->height * 3, 0);
  p.frame = gdk_pixbuf_new_from_data(p.rgb.data(), GDK_COLORSPACE_RGB, FALSE, 8, video->width,
                                     video->height, video->width * 3, nullptr, nullptr);
  if (!p.Show(0) && p.shown < 0) {
    // Not one frame: the file opened but does not decode.
    ShowMessage(caption, "不能播放视频文件");
    return 0;
  }

  p.window = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(p.window), caption);
  gtk_window_set_modal(GTK_WINDOW(p.window), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(p.window), FALSE);
  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(p.window));
  gtk_container_set_border_width(GTK_CONTAINER(content), 0);

  p.picture = gtk_drawing_area_new();
  gtk_widget_set_name(p.picture, "t3d-video");
  gtk_widget_set_size_request(p.picture, video->width, video->height);
  // The movie at its own size, also when the control bar is wider than a small movie.
  gtk_widget_set_halign(p.picture, GTK_ALIGN_CENTER);
  gtk_widget_set_valign(p.picture, GTK_ALIGN_CENTER);
  g_signal_connect(p.picture, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer data) {
                     auto& player = *static_cast<Player*>(data);
                     gdk_cairo_set_source_pixbuf(cr, player.frame, 0, 0);
                     cairo_paint(cr);
                     return TRUE;
                   }), &p);
  gtk_box_pack_start(GTK_BOX(content), p.picture, FALSE, FALSE, 0);

  GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 2);
  p.play = gtk_button_new_with_label("暂停");
  gtk_widget_set_name(p.play, "t3d-play");
  g_signal_connect(p.play, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
                     auto& player = *static_cast<Player*>(data);
                     if (player.timer != 0) player.Pause();
                     else player.Play();
                   }), &p);
  GtkWidget* step = gtk_button_new_with_label("单帧");
  gtk_widget_set_name(step, "t3d-step");
  g_signal_connect(step, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
                     auto& player = *static_cast<Player*>(data);
                     player.Pause();
                     player.Show(player.shown + 1);
                   }), &p);
  const double top = video->frameCount > 1 ? double(video->frameCount - 1) : 1.0;
  p.position = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, top, 1);
  gtk_widget_set_name(p.position, "t3d-position");
  gtk_scale_set_draw_value(GTK_SCALE(p.position), FALSE);
  g_signal_connect(p.position, "value-changed", G_CALLBACK(+[](GtkRange* range, gpointer data) {
                     auto& player = *static_cast<Player*>(data);
                     if (player.moving) return;
                     const auto wanted = int64_t(std::lround(gtk_range_get_value(range)));
                     if (wanted != player.shown && !player.Show(wanted) && player.last >= 0)
                       player.Show(player.last);
                   }), &p);
  GtkWidget* close = gtk_button_new_with_label("关闭");
  gtk_widget_set_name(close, "t3d-close");
  g_signal_connect(close, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
                     gtk_dialog_response(GTK_DIALOG(static_cast<Player*>(data)->window),
                                         GTK_RESPONSE_CLOSE);
                   }), &p);
  // The slider the width of the movie, the buttons below it.
  gtk_box_pack_start(GTK_BOX(content), p.position, FALSE, FALSE, 0);
  gtk_widget_set_halign(bar, GTK_ALIGN_CENTER);
  gtk_box_pack_start(GTK_BOX(bar), p.play, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar), step, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar), close, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(content), bar, FALSE, FALSE, 2);

  gtk_widget_show_all(p.window);
  p.Play();
  WindowShown(p.window);
  gtk_dialog_run(GTK_DIALOG(p.window));
  p.Pause();
  gtk_widget_destroy(p.window);
  while (gtk_events_pending()) gtk_main_iteration();
  return 1;
}

}  // namespace t3d::gtk
