// A dialog model shown with GTK widgets: one widget a control, rows top to bottom, groups as
// frames, the buttons at the foot. Every change goes to the model, and every control is then
// shown afresh from it: the view keeps no state of its own.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "adapters/gtk/gtk_view.h"

namespace t3d::gtk {
namespace {

struct Shown {
  const T3dControl* control;
  GtkWidget* widget;
};

struct DialogState {
  const T3dDialogModel* model = nullptr;
  GtkWidget* dialog = nullptr;
  std::vector<Shown> shown;
  GtkListStore* store = nullptr;  // the list's rows (one list a dialog)
  int listId = 0;
  int listColumns = 0;
  bool updating = false;  // set while the view writes the model's values into the widgets
};

// List store columns: the cell texts, then each cell's swatch colour ("#rrggbb" or null).
void FillList(DialogState& s) {
  const T3dDialogModel& m = *s.model;
  gtk_list_store_clear(s.store);
  const int rows = m.itemCount(m.self, s.listId);
  for (int row = 0; row < rows; ++row) {
    GtkTreeIter iter;
    gtk_list_store_append(s.store, &iter);
    for (int column = 0; column < s.listColumns; ++column) {
      char text[128];
      m.itemText(m.self, s.listId, row, column, text, sizeof text);
      gtk_list_store_set(s.store, &iter, column, text, -1);
      if (m.columnIsColour(m.self, s.listId, column)) {
        const uint32_t c = m.cellColour(m.self, s.listId, row, column);
        char swatch[8];
        std::snprintf(swatch, sizeof swatch, "#%02x%02x%02x", c & 0xff, c >> 8 & 0xff,
                      c >> 16 & 0xff);
        gtk_list_store_set(s.store, &iter, s.listColumns + column, swatch, -1);
      }
    }
  }
}

void Refresh(DialogState& s) {
  const T3dDialogModel& m = *s.model;
  s.updating = true;
  for (const Shown& item : s.shown) {
    const int id = item.control->id;
    GtkWidget* w = item.widget;
    switch (item.control->kind) {
      case T3D_CONTROL_VALUE: gtk_label_set_text(GTK_LABEL(w), m.text(m.self, id)); break;
      case T3D_CONTROL_CHECK:
      case T3D_CONTROL_RADIO:
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), m.value(m.self, id) != 0);
        break;
      case T3D_CONTROL_SPIN: {
        int low = 0, high = 0;
        m.range(m.self, id, &low, &high);
        gtk_spin_button_set_range(GTK_SPIN_BUTTON(w), low, high);
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(w), m.value(m.self, id));
        break;
      }
      case T3D_CONTROL_COMBO: gtk_combo_box_set_active(GTK_COMBO_BOX(w), m.value(m.self, id)); break;
      case T3D_CONTROL_LIST: FillList(s); break;
      default: break;
    }
    if (id != 0) gtk_widget_set_sensitive(w, m.enabled(m.self, id) != 0);
  }
  s.updating = false;
}

DialogState* StateOf(GtkWidget* widget) {
  return static_cast<DialogState*>(g_object_get_data(G_OBJECT(widget), "t3d-state"));
}
int IdOf(GtkWidget* widget) {
  return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "t3d-id"));
}

void Changed(GtkWidget* widget, int value) {
  DialogState& s = *StateOf(widget);
  if (s.updating) return;
  s.model->setValue(s.model->self, IdOf(widget), value);
  Refresh(s);  // also puts back a value the model refused
}

// The number prompt over the dialog: true with a number typed.
bool AskNumber(DialogState& s, double current, double& typed) {
  const T3dDialogModel& m = *s.model;
  GtkWidget* prompt = gtk_dialog_new_with_buttons(m.promptTexts[0], GTK_WINDOW(s.dialog),
                                                  GTK_DIALOG_MODAL, nullptr, nullptr);
  GtkWidget* ok = gtk_dialog_add_button(GTK_DIALOG(prompt), m.promptTexts[2], GTK_RESPONSE_OK);
  GtkWidget* cancel =
      gtk_dialog_add_button(GTK_DIALOG(prompt), m.promptTexts[3], GTK_RESPONSE_CANCEL);
  gtk_widget_set_name(ok, "t3d-ok");
  gtk_widget_set_name(cancel, "t3d-cancel");
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_container_set_border_width(GTK_CONTAINER(box), 8);
  gtk_box_pack_start(GTK_BOX(box), gtk_label_new(m.promptTexts[1]), FALSE, FALSE, 0);
  GtkWidget* entry = gtk_entry_new();
  gtk_widget_set_name(entry, "t3d-prompt-entry");
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", current);
  gtk_entry_set_text(GTK_ENTRY(entry), text);
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  gtk_dialog_set_default_response(GTK_DIALOG(prompt), GTK_RESPONSE_OK);
  gtk_box_pack_start(GTK_BOX(box), entry, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(prompt))), box, TRUE, TRUE, 0);
  gtk_widget_show_all(prompt);
  WindowShown(prompt);
  bool done = false;
  if (gtk_dialog_run(GTK_DIALOG(prompt)) == GTK_RESPONSE_OK) {
    const char* typedText = gtk_entry_get_text(GTK_ENTRY(entry));
    char* end = nullptr;
    errno = 0;
    typed = std::strtod(typedText, &end);
    while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
    done = end != typedText && end != nullptr && *end == '\0' && errno == 0;
  }
  gtk_widget_destroy(prompt);
  return done;
}

bool AskColour(DialogState& s, uint32_t current, uint32_t& chosen) {
  GtkWidget* chooser = gtk_color_chooser_dialog_new(nullptr, GTK_WINDOW(s.dialog));
  gtk_color_chooser_set_use_alpha(GTK_COLOR_CHOOSER(chooser), FALSE);
  GdkRGBA rgba{(current & 0xff) / 255.0, (current >> 8 & 0xff) / 255.0,
               (current >> 16 & 0xff) / 255.0, 1.0};
  gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(chooser), &rgba);
  gtk_widget_show_all(chooser);
  WindowShown(chooser);
  bool done = false;
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_OK) {
    gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(chooser), &rgba);
    auto byte = [](double v) { return uint32_t(v <= 0 ? 0 : v >= 1 ? 255 : v * 255 + 0.5); };
    chosen = byte(rgba.red) | byte(rgba.green) << 8 | byte(rgba.blue) << 16;
    done = true;
  }
  gtk_widget_destroy(chooser);
  return done;
}

// A click (row activation) in a list cell: the cell's editor, when the model has one for it.
void CellActivated(GtkTreeView* tree, GtkTreePath* path, GtkTreeViewColumn* column, gpointer) {
  DialogState& s = *StateOf(GTK_WIDGET(tree));
  const T3dDialogModel& m = *s.model;
  const int row = gtk_tree_path_get_indices(path)[0];
  const int cell = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(column), "t3d-column"));
  switch (m.cellEdit(m.self, s.listId, row, cell)) {
    case T3D_CELL_NUMBER: {
      double typed = 0;
      if (AskNumber(s, m.cellNumber(m.self, s.listId, row, cell), typed))
        m.setCellNumber(m.self, s.listId, row, cell, typed);
      break;
    }
    case T3D_CELL_COLOUR: {
      uint32_t chosen = 0;
      if (AskColour(s, m.cellColour(m.self, s.listId, row, cell), chosen))
        m.setCellColour(m.self, s.listId, row, cell, chosen);
      break;
    }
    default: return;
  }
  Refresh(s);
}

GtkWidget* MakeList(DialogState& s, const T3dControl& control) {
  const T3dDialogModel& m = *s.model;
  s.listId = control.id;
  s.listColumns = m.columnCount(m.self, control.id);
  std::vector<GType> types(size_t(s.listColumns) * 2, G_TYPE_STRING);
  s.store = gtk_list_store_newv(gint(types.size()), types.data());
  GtkWidget* tree = gtk_tree_view_new_with_model(GTK_TREE_MODEL(s.store));
  g_object_unref(s.store);  // the tree keeps it
  for (int column = 0; column < s.listColumns; ++column) {
    GtkTreeViewColumn* shown = gtk_tree_view_column_new();
    gtk_tree_view_column_set_title(shown, m.columnTitle(m.self, control.id, column));
    if (m.columnIsColour(m.self, control.id, column)) {
      // The swatch: a cell of the colour before the number.
      GtkCellRenderer* swatch = gtk_cell_renderer_text_new();
      g_object_set(swatch, "text", "      ", nullptr);
      gtk_tree_view_column_pack_start(shown, swatch, FALSE);
      gtk_tree_view_column_add_attribute(shown, swatch, "background", s.listColumns + column);
    }
    GtkCellRenderer* renderer = gtk_cell_renderer_text_new();
    gtk_tree_view_column_pack_start(shown, renderer, TRUE);
    gtk_tree_view_column_add_attribute(shown, renderer, "text", column);
    g_object_set_data(G_OBJECT(shown), "t3d-column", GINT_TO_POINTER(column));
    gtk_tree_view_append_column(GTK_TREE_VIEW(tree), shown);
  }
  gtk_tree_view_set_activate_on_single_click(GTK_TREE_VIEW(tree), TRUE);
  g_signal_connect(tree, "row-activated", G_CALLBACK(CellActivated), nullptr);
  return tree;
}

GtkWidget* MakeControl(DialogState& s, const T3dControl& control, GtkWidget*& lastRadio) {
  const T3dDialogModel& m = *s.model;
  GtkWidget* w = nullptr;
  switch (control.kind) {
    case T3D_CONTROL_LABEL: return gtk_label_new(control.text);
    case T3D_CONTROL_VALUE: w = gtk_label_new(""); break;
    case T3D_CONTROL_CHECK:
      w = gtk_check_button_new_with_label(control.text);
      g_signal_connect(w, "toggled", G_CALLBACK(+[](GtkToggleButton* b, gpointer) {
                         Changed(GTK_WIDGET(b), gtk_toggle_button_get_active(b) ? 1 : 0);
                       }), nullptr);
      break;
    case T3D_CONTROL_RADIO:
      w = lastRadio != nullptr
              ? gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(lastRadio), control.text)
              : gtk_radio_button_new_with_label(nullptr, control.text);
      lastRadio = w;
      g_signal_connect(w, "toggled", G_CALLBACK(+[](GtkToggleButton* b, gpointer) {
                         if (gtk_toggle_button_get_active(b)) Changed(GTK_WIDGET(b), 1);
                       }), nullptr);
      break;
    case T3D_CONTROL_SPIN:
      w = gtk_spin_button_new_with_range(0, 1, 1);
      g_signal_connect(w, "value-changed", G_CALLBACK(+[](GtkSpinButton* b, gpointer) {
                         Changed(GTK_WIDGET(b), gtk_spin_button_get_value_as_int(b));
                       }), nullptr);
      break;
    case T3D_CONTROL_COMBO: {
      w = gtk_combo_box_text_new();
      const int count = m.itemCount(m.self, control.id);
      for (int item = 0; item < count; ++item) {
        char text[128];
        m.itemText(m.self, control.id, item, 0, text, sizeof text);
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(w), text);
      }
      g_signal_connect(w, "changed", G_CALLBACK(+[](GtkComboBox* b, gpointer) {
                         if (gtk_combo_box_get_active(b) >= 0)
                           Changed(GTK_WIDGET(b), gtk_combo_box_get_active(b));
                       }), nullptr);
      break;
    }
    case T3D_CONTROL_LIST: w = MakeList(s, control); break;
    case T3D_CONTROL_OK:
    case T3D_CONTROL_CANCEL: {
      w = gtk_button_new_with_label(control.text);
      const bool ok = control.kind == T3D_CONTROL_OK;
      gtk_widget_set_name(w, ok ? "t3d-ok" : "t3d-cancel");
      g_signal_connect(w, "clicked", G_CALLBACK(+[](GtkButton* b, gpointer ok) {
                         DialogState& st = *StateOf(GTK_WIDGET(b));
                         if (ok == nullptr) {
                           gtk_dialog_response(GTK_DIALOG(st.dialog), GTK_RESPONSE_CANCEL);
                         } else if (st.model->accept(st.model->self)) {
                           gtk_dialog_response(GTK_DIALOG(st.dialog), GTK_RESPONSE_OK);
                         }
                       }), ok ? GINT_TO_POINTER(1) : nullptr);
      g_object_set_data(G_OBJECT(w), "t3d-state", &s);
      return w;
    }
    default: return nullptr;
  }
  if (control.kind != T3D_CONTROL_RADIO) lastRadio = nullptr;
  if (control.id != 0) NameControl(w, control.id);
  g_object_set_data(G_OBJECT(w), "t3d-state", &s);
  g_object_set_data(G_OBJECT(w), "t3d-id", GINT_TO_POINTER(control.id));
  s.shown.push_back(Shown{&control, w});
  return w;
}

}  // namespace

int RunDialog(const T3dDialogModel* model) {
  if (model == nullptr || model->controls == nullptr) return T3D_DIALOG_CANCEL;
  DialogState s;
  s.model = model;
  s.dialog = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(s.dialog), model->caption);
  gtk_window_set_modal(GTK_WINDOW(s.dialog), TRUE);
  gtk_window_set_position(GTK_WINDOW(s.dialog), GTK_WIN_POS_CENTER);
  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(s.dialog));
  gtk_container_set_border_width(GTK_CONTAINER(content), 8);
  gtk_box_set_spacing(GTK_BOX(content), 6);

  GtkWidget* rows = content;   // where the next row goes: the dialog or a group's frame
  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_widget_set_halign(buttons, GTK_ALIGN_CENTER);
  GtkWidget* row = nullptr;
  int rowNumber = -1;
  GtkWidget* lastRadio = nullptr;
  for (int k = 0; k < model->controlCount; ++k) {
    const T3dControl& control = model->controls[k];
    if (control.kind == T3D_CONTROL_GROUP) {
      GtkWidget* frame = gtk_frame_new(control.text);
      rows = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
      gtk_container_set_border_width(GTK_CONTAINER(rows), 6);
      gtk_container_add(GTK_CONTAINER(frame), rows);
      gtk_box_pack_start(GTK_BOX(content), frame, FALSE, FALSE, 0);
      row = nullptr;
      rowNumber = -1;
      continue;
    }
    GtkWidget* widget = MakeControl(s, control, lastRadio);
    if (widget == nullptr) continue;
    if (control.kind == T3D_CONTROL_OK || control.kind == T3D_CONTROL_CANCEL) {
      gtk_box_pack_start(GTK_BOX(buttons), widget, FALSE, FALSE, 0);
      continue;
    }
    if (control.kind == T3D_CONTROL_LIST) {
      GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
      gtk_widget_set_size_request(scrolled, 320, 220);
      gtk_container_add(GTK_CONTAINER(scrolled), widget);
      gtk_box_pack_start(GTK_BOX(rows), scrolled, TRUE, TRUE, 0);
      row = nullptr;
      rowNumber = -1;
      continue;
    }
    if (row == nullptr || control.row != rowNumber) {
      row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
      gtk_box_pack_start(GTK_BOX(rows), row, FALSE, FALSE, 0);
      rowNumber = control.row;
    }
    if (GTK_IS_LABEL(widget)) gtk_label_set_xalign(GTK_LABEL(widget), 0);
    gtk_box_pack_start(GTK_BOX(row), widget, FALSE, FALSE, 0);
  }
  gtk_box_pack_end(GTK_BOX(content), buttons, FALSE, FALSE, 4);
  Refresh(s);
  gtk_widget_show_all(s.dialog);
  WindowShown(s.dialog);
  const int response = gtk_dialog_run(GTK_DIALOG(s.dialog));
  gtk_widget_destroy(s.dialog);
  while (gtk_events_pending()) gtk_main_iteration();
  return response == GTK_RESPONSE_OK ? T3D_DIALOG_OK : T3D_DIALOG_CANCEL;
}

void ShowMessage(const char* caption, const char* text) {
  GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                          GTK_BUTTONS_OK, "%s", text != nullptr ? text : "");
  gtk_window_set_title(GTK_WINDOW(box), caption != nullptr ? caption : "");
  gtk_widget_show_all(box);
  WindowShown(box);
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  while (gtk_events_pending()) gtk_main_iteration();
}

}  // namespace t3d::gtk
