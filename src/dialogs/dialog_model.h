// A dialog as data and rules: its caption, its controls, what each control shows and accepts,
// and whether OK may close it. A view (the desktop module, or a test) shows the controls and
// hands every change to the model; the model alone decides what the record becomes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/dialog_view.h"

namespace t3d::dialogs {

class DialogModel {
 public:
  virtual ~DialogModel() = default;
  virtual const char* Caption() const = 0;
  virtual const std::vector<T3dControl>& Controls() const = 0;
  virtual bool Enabled(int) const { return true; }
  virtual int Value(int) const { return 0; }
  // True when the model took the value.
  virtual bool SetValue(int, int) { return false; }
  virtual void Range(int, int& low, int& high) const { low = high = 0; }
  virtual int ItemCount(int) const { return 0; }
  virtual std::string ItemText(int, int, int) const { return std::string(); }
  virtual int ColumnCount(int) const { return 0; }
  virtual const char* ColumnTitle(int, int) const { return ""; }
  // The text of a value control; valid until the model changes.
  virtual const char* Text(int) const { return ""; }
  virtual bool ColumnIsColour(int, int) const { return false; }
  virtual int CellEdit(int, int, int) const { return T3D_CELL_NONE; }
  virtual double CellNumber(int, int, int) const { return 0; }
  virtual bool SetCellNumber(int, int, int, double) { return false; }
  virtual uint32_t CellColour(int, int, int) const { return 0; }
  virtual bool SetCellColour(int, int, int, uint32_t) { return false; }
  // OK was pressed: true when the record is one the dialog may return.
  virtual bool Accept() = 0;

  // The control of an id, or null.
  const T3dControl* Find(int id) const;
};

// The model behind the C interface of a view module; the model must outlive the result.
T3dDialogModel ViewOf(DialogModel& model);

// The number prompt's texts ("编辑阈值"): caption, label, OK, Cancel.
extern const char* const kNumberPromptTexts[4];

}  // namespace t3d::dialogs
