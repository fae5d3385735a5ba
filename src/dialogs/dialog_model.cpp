#include "dialogs/dialog_model.h"

#include <cstring>

namespace t3d::dialogs {

const char* const kNumberPromptTexts[4] = {"编辑阈值", "输入新阈值:", "确认", "取消"};

const T3dControl* DialogModel::Find(int id) const {
  for (const T3dControl& control : Controls())
    if (control.id == id) return &control;
  return nullptr;
}

namespace {

DialogModel& M(void* self) { return *static_cast<DialogModel*>(self); }

}  // namespace

T3dDialogModel ViewOf(DialogModel& model) {
  T3dDialogModel view{};
  view.self = &model;
  view.caption = model.Caption();
  view.controls = model.Controls().data();
  view.controlCount = int(model.Controls().size());
  for (int k = 0; k < 4; ++k) view.promptTexts[k] = kNumberPromptTexts[k];
  view.enabled = [](void* self, int id) { return M(self).Enabled(id) ? 1 : 0; };
  view.value = [](void* self, int id) { return M(self).Value(id); };
  view.setValue = [](void* self, int id, int value) { return M(self).SetValue(id, value) ? 1 : 0; };
  view.range = [](void* self, int id, int* low, int* high) {
    int l = 0, h = 0;
    M(self).Range(id, l, h);
    if (low != nullptr) *low = l;
    if (high != nullptr) *high = h;
  };
  view.itemCount = [](void* self, int id) { return M(self).ItemCount(id); };
  view.itemText = [](void* self, int id, int item, int column, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    const std::string text = M(self).ItemText(id, item, column);
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
  };
  view.columnCount = [](void* self, int id) { return M(self).ColumnCount(id); };
  view.columnTitle = [](void* self, int id, int column) { return M(self).ColumnTitle(id, column); };
  view.text = [](void* self, int id) { return M(self).Text(id); };
  view.columnIsColour = [](void* self, int id, int column) {
    return M(self).ColumnIsColour(id, column) ? 1 : 0;
  };
  view.cellEdit = [](void* self, int id, int row, int column) {
    return M(self).CellEdit(id, row, column);
  };
  view.cellNumber = [](void* self, int id, int row, int column) {
    return M(self).CellNumber(id, row, column);
  };
  view.setCellNumber = [](void* self, int id, int row, int column, double value) {
    return M(self).SetCellNumber(id, row, column, value) ? 1 : 0;
  };
  view.cellColour = [](void* self, int id, int row, int column) {
    return M(self).CellColour(id, row, column);
  };
  view.setCellColour = [](void* self, int id, int row, int column, uint32_t colour) {
    return M(self).SetCellColour(id, row, column, colour) ? 1 : 0;
  };
  view.accept = [](void* self) { return M(self).Accept() ? 1 : 0; };
  return view;
}

}  // namespace t3d::dialogs
