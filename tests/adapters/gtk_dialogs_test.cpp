// The desktop dialogs on GTK under Xvfb: each window opens with its caption and is driven through
// its widget tree (named widgets, no screen coordinates) to OK and to Cancel; the records that
// come back are checked, and a screenshot of each window is kept for a look.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "adapters/gtk/gtk_test_hook.h"
#include "adapters/video_writer.h"
#include "dialogs/height_colour_model.h"
#include "dialogs/presenter.h"
#include "dialogs/prompt_models.h"
#include "dialogs/view_module.h"
#include "suite_setup.h"
#include "test_grids.h"

using namespace t3d::dialogs;
using testgrids::GridPath;

#ifndef TERRAIN3D_SCREEN_DIR
#define TERRAIN3D_SCREEN_DIR "."
#endif

namespace {

namespace hc = height_colour;

// What the test does with each window the module shows, in order.
std::vector<std::function<void(GtkWidget*)>> g_steps;
size_t g_next = 0;
std::vector<std::string> g_titles;

void Hook(GtkWidget* window, void*) {
  const char* title = gtk_window_get_title(GTK_WINDOW(window));
  g_titles.push_back(title != nullptr ? title : "");
  if (g_next < g_steps.size()) {
    g_steps[g_next++](window);
  } else {
    ADD_FAILURE() << "an unexpected window: " << g_titles.back();
    gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_CANCEL);
  }
}

void Steps(std::vector<std::function<void(GtkWidget*)>> steps) {
  g_steps = std::move(steps);
  g_next = 0;
  g_titles.clear();
}

// Runs the main loop for a while, so that windows draw.
void Pump(int milliseconds = 100) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < end) {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

GtkWidget* Find(GtkWidget* root, const char* name) {
  if (std::strcmp(gtk_widget_get_name(root), name) == 0) return root;
  if (!GTK_IS_CONTAINER(root)) return nullptr;
  struct Search {
    const char* name;
    GtkWidget* found;
  } search{name, nullptr};
  gtk_container_forall(
      GTK_CONTAINER(root),
      [](GtkWidget* child, gpointer data) {
        auto& s = *static_cast<Search*>(data);
        if (s.found == nullptr) s.found = Find(child, s.name);
      },
      &search);
  return search.found;
}

GtkWidget* Control(GtkWidget* window, int id) {
  GtkWidget* w = Find(window, ("t3d-" + std::to_string(id)).c_str());
  EXPECT_NE(w, nullptr) << "control " << id;
  return w;
}

void Click(GtkWidget* window, const char* name) {
  GtkWidget* button = Find(window, name);
  ASSERT_NE(button, nullptr) << name;
  gtk_button_clicked(GTK_BUTTON(button));
}

std::string LabelText(GtkWidget* w) { return gtk_label_get_text(GTK_LABEL(w)); }

// The window as it shows, kept as a PNG; also returns the picture (unref it).
GdkPixbuf* Screenshot(GtkWidget* window, const std::string& name) {
  Pump(300);
  GdkWindow* shown = gtk_widget_get_window(window);
  GdkPixbuf* picture = gdk_pixbuf_get_from_window(shown, 0, 0, gdk_window_get_width(shown),
                                                  gdk_window_get_height(shown));
  EXPECT_NE(picture, nullptr);
  if (picture != nullptr) {
    mkdir(TERRAIN3D_SCREEN_DIR, 0755);
    gdk_pixbuf_save(picture, (std::string(TERRAIN3D_SCREEN_DIR) + "/" + name + ".png").c_str(),
                    "png", nullptr, nullptr);
  }
  return picture;
}
void KeepScreenshot(GtkWidget* window, const std::string& name) {
  if (GdkPixbuf* p = Screenshot(window, name)) g_object_unref(p);
}

// The colour of a widget's centre on the screen.
std::vector<int> CentreColour(GtkWidget* widget) {
  Pump(200);
  GtkAllocation a;
  gtk_widget_get_allocation(widget, &a);
  GdkPixbuf* p = gdk_pixbuf_get_from_window(gtk_widget_get_window(widget), a.x + a.width / 2,
                                            a.y + a.height / 2, 1, 1);
  if (p == nullptr) return {};
  const guchar* px = gdk_pixbuf_get_pixels(p);
  std::vector<int> rgb{px[0], px[1], px[2]};
  g_object_unref(p);
  return rgb;
}

class GtkDialogsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    t3d_gtk_set_window_hook(&Hook, nullptr);
    ASSERT_EQ(tnUseDesktopDialogs(1), 1) << "the desktop dialogs did not load";
  }
  static void TearDownTestSuite() {
    EXPECT_EQ(tnUseDesktopDialogs(0), 1);
    EXPECT_EQ(DesktopView(), nullptr);
    t3d_gtk_set_window_hook(nullptr, nullptr);
  }
  void SetUp() override { SetDialogHandler(nullptr, nullptr); }
};

TnHeightColourDialog Settings() {
  TnHeightColourDialog d{};
  d.layerCount = 256;
  d.tableNumber = 3;
  d.zMinScaled = -50;
  d.zMaxScaled = 250;
  d.zScale = 1;
  return d;
}

TEST_F(GtkDialogsTest, HeightColourDialogToOk) {
  Steps({
      [](GtkWidget* w) {
        // The table colouring as it opens.
        EXPECT_FALSE(gtk_widget_get_sensitive(Control(w, hc::kLayerCount)));
        EXPECT_TRUE(gtk_widget_get_sensitive(Control(w, hc::kTable)));
        KeepScreenshot(w, "height_colour_table");
        // Custom layers, three of them, bound editing on.
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Control(w, hc::kCustomLayers)), TRUE);
        EXPECT_TRUE(gtk_widget_get_sensitive(Control(w, hc::kLayerCount)));
        EXPECT_FALSE(gtk_widget_get_sensitive(Control(w, hc::kTable)));
        EXPECT_EQ(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(Control(w, hc::kLayerCount))), 6);
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(Control(w, hc::kLayerCount)), 3);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Control(w, hc::kAllowBounds)), TRUE);
        GtkTreeView* list = GTK_TREE_VIEW(Control(w, hc::kList));
        EXPECT_EQ(gtk_tree_model_iter_n_children(gtk_tree_view_get_model(list), nullptr), 3);
        // Row 1's lower bound: the threshold prompt (a window of its own, next step).
        GtkTreePath* row = gtk_tree_path_new_from_indices(0, -1);
        gtk_tree_view_row_activated(list, row, gtk_tree_view_get_column(list, hc::kLowColumn));
        gtk_tree_path_free(row);
        // Row 3's colour: the colour chooser.
        row = gtk_tree_path_new_from_indices(2, -1);
        gtk_tree_view_row_activated(list, row, gtk_tree_view_get_column(list, hc::kColourColumn));
        gtk_tree_path_free(row);
        KeepScreenshot(w, "height_colour_custom");
        Click(w, "t3d-ok");
      },
      [](GtkWidget* prompt) {
        EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(prompt)), "编辑阈值");
        GtkWidget* entry = Find(prompt, "t3d-prompt-entry");
        ASSERT_NE(entry, nullptr);
        EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "-50.000");
        gtk_entry_set_text(GTK_ENTRY(entry), "0");  // sea level
        KeepScreenshot(prompt, "threshold_prompt");
        Click(prompt, "t3d-ok");
      },
      [](GtkWidget* chooser) {
        ASSERT_TRUE(GTK_IS_COLOR_CHOOSER_DIALOG(chooser));
        GdkRGBA orange{1.0, 0.5, 0.0, 1.0};
        gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(chooser), &orange);
        gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_OK);
      },
  });
  TnHeightColourDialog d = Settings();
  ASSERT_EQ(CurrentPresenter().HeightColour(d), kDialogOk);
  EXPECT_EQ(g_next, 3u);
  ASSERT_FALSE(g_titles.empty());
  EXPECT_EQ(g_titles[0], "高程分层设色设置");
  EXPECT_EQ(d.customLayers, 1);
  EXPECT_EQ(d.layerCount, 3);
  EXPECT_FLOAT_EQ(d.layerBounds[0][0], 0);
  EXPECT_FLOAT_EQ(d.layerBounds[0][1], 50);
  EXPECT_FLOAT_EQ(d.layerBounds[2][0], 150);
  EXPECT_EQ(d.colours[2][0], 255 * 256);
  EXPECT_EQ(d.colours[2][1], 128 * 256);
  EXPECT_EQ(d.colours[2][2], 0);
}

TEST_F(GtkDialogsTest, HeightColourDialogRefusesDownwardBoundsAndCancels) {
  Steps({
      [](GtkWidget* w) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Control(w, hc::kCustomLayers)), TRUE);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Control(w, hc::kAllowBounds)), TRUE);
        GtkTreeView* list = GTK_TREE_VIEW(Control(w, hc::kList));
        GtkTreePath* row = gtk_tree_path_new_from_indices(1, -1);
        gtk_tree_view_row_activated(list, row, gtk_tree_view_get_column(list, hc::kLowColumn));
        gtk_tree_path_free(row);
        Click(w, "t3d-ok");  // refused: the window stays
        Pump(100);
        EXPECT_TRUE(gtk_widget_get_visible(w));
        Click(w, "t3d-cancel");
      },
      [](GtkWidget* prompt) {
        gtk_entry_set_text(GTK_ENTRY(Find(prompt, "t3d-prompt-entry")), "1e6");
        Click(prompt, "t3d-ok");
      },
  });
  TnHeightColourDialog d = Settings();
  const TnHeightColourDialog before = d;
  EXPECT_EQ(CurrentPresenter().HeightColour(d), kDialogCancel);
  EXPECT_EQ(g_next, 2u);
  EXPECT_EQ(std::memcmp(&d, &before, sizeof d), 0);
}

TEST_F(GtkDialogsTest, BandDialog) {
  Steps({[](GtkWidget* w) {
    GtkComboBox* red = GTK_COMBO_BOX(Control(w, bands::kRed));
    EXPECT_EQ(gtk_combo_box_get_active(red), 0);
    EXPECT_EQ(gtk_tree_model_iter_n_children(gtk_combo_box_get_model(red), nullptr), 5);
    gtk_combo_box_set_active(red, 2);
    KeepScreenshot(w, "bands");
    Click(w, "t3d-ok");
  }});
  TnBandsDialog b{5, 0, 1, 2};
  ASSERT_EQ(CurrentPresenter().Bands(b), kDialogOk);
  EXPECT_EQ(g_titles.at(0), "设置RGB显示波段....");
  EXPECT_EQ(b.red, 2);
  EXPECT_EQ(b.green, 1);

  Steps({[](GtkWidget* w) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(Control(w, bands::kBlue)), 4);
    Click(w, "t3d-cancel");
  }});
  EXPECT_EQ(CurrentPresenter().Bands(b), kDialogCancel);
  EXPECT_EQ(b.blue, 2);
}

TEST_F(GtkDialogsTest, VerticalScaleDialog) {
  Steps({[](GtkWidget* w) {
    EXPECT_EQ(LabelText(Control(w, zscale::kXSpan)), "1000.0000");
    EXPECT_EQ(LabelText(Control(w, zscale::kZSpan)), "12.5000");
    EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(Control(w, zscale::kDefaultScaling))));
    EXPECT_EQ(LabelText(Control(w, zscale::kPrompt)), "若在X/Y/Z上单位不一致,缺省缩放.");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Control(w, zscale::kUnscaled)), TRUE);
    EXPECT_EQ(LabelText(Control(w, zscale::kPrompt)), "数据在X/Y/Z上单位应保持一致.");
    KeepScreenshot(w, "vertical_scale");
    Click(w, "t3d-ok");
  }});
  TnGridHeader header{};
  header.xMax = 1000;
  header.yMax = 500;
  header.zMax = 12.5;
  int16_t rescale = 1;
  ASSERT_EQ(ZScaleDialog(header, rescale), kDialogOk);
  EXPECT_EQ(g_titles.at(0), "高程缩放比例设置");
  EXPECT_EQ(rescale, 0);
  // Confirmed untouched: default scaling; cancelled: no answer.
  Steps({[](GtkWidget* w) { Click(w, "t3d-ok"); }});
  ASSERT_EQ(ZScaleDialog(header, rescale), kDialogOk);
  EXPECT_EQ(rescale, 1);
  Steps({[](GtkWidget* w) { Click(w, "t3d-cancel"); }});
  EXPECT_EQ(ZScaleDialog(header, rescale), kDialogCancel);
}

TEST_F(GtkDialogsTest, TextureFormatAndSavePrompts) {
  Steps({[](GtkWidget* w) {
    EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(Control(w, texture_format::kSixteenBits))));
    EXPECT_EQ(Find(w, "t3d-cancel"), nullptr);  // OK only
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Control(w, texture_format::kTwentyFourBits)), TRUE);
    KeepScreenshot(w, "texture_format");
    Click(w, "t3d-ok");
  }});
  TnTextureFormatDialog f{0};
  ASSERT_EQ(CurrentPresenter().TextureFormat(f), kDialogOk);
  EXPECT_EQ(g_titles.at(0), "纹理压缩提示");
  EXPECT_EQ(f.choice, 1);
  // Closed another way: not OK, the preparation gives up.
  Steps({[](GtkWidget* w) { gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_DELETE_EVENT); }});
  EXPECT_EQ(CurrentPresenter().TextureFormat(f), kDialogCancel);

  const std::string folder = testgrids::ScratchEnvironment::gridDir();
  Steps({[folder](GtkWidget* w) {
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(w), folder.c_str());
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(w), "hills.Tex");
    Pump(200);
    KeepScreenshot(w, "save_texture");
    gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_ACCEPT);
  }});
  TnSaveTextureDialog s{};
  ASSERT_EQ(CurrentPresenter().SaveTexture(s), kDialogOk);
  EXPECT_EQ(std::string(s.path), folder + "/hills.Tex");
  Steps({[](GtkWidget* w) { Click(w, "t3d-cancel"); }});
  EXPECT_EQ(CurrentPresenter().SaveTexture(s), kDialogCancel);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = uint8_t(v >> (8 * k));
}
// A 24-bit BMP, red on the left half and blue on the right.
void WriteBmp(const std::string& path, int width, int height) {
  const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
  std::vector<uint8_t> b(54 + stride * height, 0);
  b[0] = 'B', b[1] = 'M';
  Put32(b, 2, uint32_t(b.size()));
  Put32(b, 10, 54);
  Put32(b, 14, 40);
  Put32(b, 18, uint32_t(width));
  Put32(b, 22, uint32_t(height));
  b[26] = 1;
  b[28] = 24;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) b[54 + stride * y + x * 3 + (x < width / 2 ? 2 : 0)] = 255;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
}

// Selects path in the chooser and waits until the preview has followed.
void SelectAndWait(GtkWidget* w, const std::string& path) {
  gtk_file_chooser_select_filename(GTK_FILE_CHOOSER(w), path.c_str());
  for (int k = 0; k < 60; ++k) {
    Pump(50);
    gchar* previewed = gtk_file_chooser_get_preview_filename(GTK_FILE_CHOOSER(w));
    const bool there = previewed != nullptr && path == previewed;
    g_free(previewed);
    if (there) break;
  }
  Pump(100);
}

TEST_F(GtkDialogsTest, TextureFileChooserPreviews) {
  const std::string square = GridPath("square256.bmp");
  const std::string wide = GridPath("wide600x400.bmp");
  WriteBmp(square, 256, 256);
  WriteBmp(wide, 600, 400);
  Steps({[&](GtkWidget* w) {
    GtkWidget* image = Find(w, "t3d-preview-image");
    GtkWidget* text = Find(w, "t3d-preview-text");
    ASSERT_NE(image, nullptr);
    ASSERT_NE(text, nullptr);
    SelectAndWait(w, square);
    EXPECT_TRUE(gtk_widget_get_visible(image));
    EXPECT_FALSE(gtk_widget_get_visible(text));
    GdkPixbuf* shown = gtk_image_get_pixbuf(GTK_IMAGE(image));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(shown), 200);  // stretched over the panel
    EXPECT_EQ(gdk_pixbuf_get_height(shown), 200);
    KeepScreenshot(w, "texture_chooser_256");
    SelectAndWait(w, wide);
    EXPECT_FALSE(gtk_widget_get_visible(image));
    EXPECT_TRUE(gtk_widget_get_visible(text));
    EXPECT_EQ(LabelText(text), "\n\n图片预览");
    KeepScreenshot(w, "texture_chooser_600x400");
    gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_ACCEPT);  // it can still be chosen
  }});
  std::vector<char> host(300, '#');
  ASSERT_EQ(SelectTextureFile(host.data()), 1);
  EXPECT_EQ(g_titles.at(0), "请选择纹理数据(大小不超过256*256)");
  EXPECT_EQ(std::string(host.data()), wide);
  EXPECT_EQ(host[wide.size() + 1], '#');
  Steps({[](GtkWidget* w) { Click(w, "t3d-cancel"); }});
  EXPECT_EQ(SelectTextureFile(host.data()), 0);
}

// The player's picture with its slider at position (the slider's end when negative): whether
// it is red, or blue.
enum class Shown { kRed, kBlue, kOther };
Shown FrameAt(GtkWidget* player, double position) {
  GtkRange* slider = GTK_RANGE(Find(player, "t3d-position"));
  gtk_range_set_value(slider, position >= 0 ? position : gtk_adjustment_get_upper(gtk_range_get_adjustment(slider)));
  const std::vector<int> rgb = CentreColour(Find(player, "t3d-video"));
  if (rgb.size() == 3 && rgb[0] > 200 && rgb[2] < 60) return Shown::kRed;
  if (rgb.size() == 3 && rgb[0] < 60 && rgb[2] > 200) return Shown::kBlue;
  return Shown::kOther;
}

TEST_F(GtkDialogsTest, VideoPlayerShowsTheFirstAndLastFrames) {
  const std::string movie = GridPath("flight.avi");
  if (std::system(("ffmpeg -loglevel error -y -f lavfi -i color=c=red:s=160x120:r=10:d=1 -f "
                   "lavfi -i color=c=blue:s=160x120:r=10:d=1 -filter_complex "
                   "'[0][1]concat=n=2:v=1' -c:v mjpeg -q:v 2 '" + movie + "'").c_str()) != 0)
    GTEST_SKIP() << "ffmpeg is not installed";
  Steps({[](GtkWidget* w) {
    GtkWidget* video = Find(w, "t3d-video");
    ASSERT_NE(video, nullptr);
    Click(w, "t3d-play");  // paused at once: the first frame
    EXPECT_EQ(FrameAt(w, 0), Shown::kRed);
    // The window is the movie and its frame.
    GtkAllocation a;
    gtk_widget_get_allocation(video, &a);
    EXPECT_EQ(a.width, 160);
    EXPECT_EQ(a.height, 120);
    int width = 0, height = 0;
    gtk_window_get_size(GTK_WINDOW(w), &width, &height);
    EXPECT_GE(width, 160);
    EXPECT_LE(width, 160 + 120);
    EXPECT_GT(height, 120);
    KeepScreenshot(w, "player_first");
    // The last frame, by the slider, then a step past it stays there.
    EXPECT_EQ(FrameAt(w, 19), Shown::kBlue);
    Click(w, "t3d-step");
    EXPECT_GT(CentreColour(video).at(2), 200);
    KeepScreenshot(w, "player_last");
    Click(w, "t3d-close");
  }});
  EXPECT_EQ(PlayAVIWnd(movie.c_str()), 1);
  EXPECT_EQ(g_titles.at(0), "三维场景播放窗口");

  // A file the player cannot open: its own error box, then nothing.
  Steps({[](GtkWidget* w) {
    EXPECT_TRUE(GTK_IS_MESSAGE_DIALOG(w));
    KeepScreenshot(w, "player_error");
    gtk_dialog_response(GTK_DIALOG(w), GTK_RESPONSE_OK);
  }});
  EXPECT_EQ(PlayAVIWnd(GridPath("no-such.avi").c_str()), 0);
  EXPECT_EQ(g_next, 1u);
  Steps({});
  EXPECT_EQ(PlayAVIWnd(nullptr), 0);
  EXPECT_TRUE(g_titles.empty());
}

// A video as the fly-through recording writes it: picture n at stream position 5 n with empty
// frames between (two red pictures, then two blue). The player shows the red one first and the
// blue one last.
TEST_F(GtkDialogsTest, VideoPlayerPlaysARecordedAvi) {
  const std::string movie = GridPath("recorded.avi");
  const AviFormat format{160, 120, 24, 25, AVI_CODEC_RAW, 75};
  AviWriter* writer = AviFileCreate(movie.c_str(), &format);
  ASSERT_NE(writer, nullptr) << VideoLastError();
  std::vector<uint8_t> rows(size_t(160 * 3) * 120);
  for (int n = 0; n < 4; ++n) {
    for (size_t i = 0; i < rows.size(); i += 3) {
      rows[i] = n < 2 ? 0 : 255;      // blue
      rows[i + 1] = 0;                // green
      rows[i + 2] = n < 2 ? 255 : 0;  // red
    }
    ASSERT_EQ(AviStreamWrite(writer, 5 * n, rows.data()), 1);
  }
  ASSERT_EQ(AviFileRelease(writer), 1);
  Steps({[](GtkWidget* w) {
    Click(w, "t3d-play");
    EXPECT_EQ(FrameAt(w, 0), Shown::kRed);
    EXPECT_EQ(FrameAt(w, -1), Shown::kBlue);
    Click(w, "t3d-close");
  }});
  EXPECT_EQ(PlayAVIWnd(movie.c_str()), 1);
}

// Run with no display (a separate ctest entry): the module cannot start, the dialogs keep their
// defaults and the window helpers fail cleanly.
TEST(NoDisplay, DialogsKeepTheirDefaults) {
  if (std::getenv("DISPLAY") != nullptr) GTEST_SKIP() << "a display is set";
  EXPECT_EQ(tnUseDesktopDialogs(1), 0);
  EXPECT_EQ(DesktopView(), nullptr);
  EXPECT_EQ(PlayAVIWnd("/tmp/any.avi"), 0);
  char path[260] = "kept";
  EXPECT_EQ(SelectTextureFile(path), 0);
  EXPECT_STREQ(path, "kept");
  TnHeightColourDialog d = Settings();
  EXPECT_EQ(CurrentPresenter().HeightColour(d), kDialogCancel);
}

// Run with TERRAIN3D_DIALOGS=gtk (a separate ctest entry): the first dialog installs the desktop
// dialogs without a call from the host.
TEST(Environment, InstallsTheDesktopDialogs) {
  const char* wanted = std::getenv("TERRAIN3D_DIALOGS");
  if (wanted == nullptr || std::strcmp(wanted, "gtk") != 0) GTEST_SKIP() << "TERRAIN3D_DIALOGS is not gtk";
  t3d_gtk_set_window_hook(&Hook, nullptr);
  Steps({[](GtkWidget* w) { Click(w, "t3d-cancel"); }});
  TnBandsDialog b{4, 0, 1, 2};
  EXPECT_EQ(CurrentPresenter().Bands(b), kDialogCancel);
  EXPECT_EQ(g_titles.size(), 1u);
  EXPECT_NE(DesktopView(), nullptr);
  t3d_gtk_set_window_hook(nullptr, nullptr);
}

}  // namespace
