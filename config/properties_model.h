// The configuration dialog's logic (class propertiesdlg), free of any window:
// it copies the settings into its fields and the controls when the dialog
// opens, and reads them back on OK. A PropertiesView stands for the controls;
// the Win32 dialog and the simulator's scripted dialog each provide one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/pendant_settings.h"

namespace quenta {

extern const char* const kEnterIntegerMessage;  // "Please enter an integer."

// The controls of template 4013, addressed by control id.
class PropertiesView {
 public:
  virtual ~PropertiesView() = default;
  // Empties the drop-down list and adds the rows in order.
  virtual void FillList(int listId, const std::vector<std::string>& rows) = 0;
  // -1 selects nothing and empties the list's text part.
  virtual void SelectRow(int listId, int row) = 0;
  // -1 when no row is selected.
  virtual int SelectedRow(int listId) = 0;
  virtual void SetEditText(int editId, const std::string& text) = 0;
  virtual std::string EditText(int editId) = 0;
  virtual void SetChecked(int checkId, bool checked) = 0;
  virtual bool IsChecked(int checkId) = 0;
  // A message box with an OK button and the exclamation icon; returns when dismissed.
  virtual void ShowMessage(const std::string& text) = 0;
  virtual void FocusAndSelectAll(int editId) = 0;
};

// The edit boxes' number rule: leading blanks, an optional sign, then digits
// up to the first other character. No digit there: refused. A number outside
// the 16-bit range is clamped to the nearest limit rather than wrapped, so a
// typo can never turn into a different host code.
std::optional<std::int16_t> ParseEditNumber(const std::string& text);

class PropertiesDialogModel {
 public:
  // The open step: settings -> fields -> controls.
  void Open(PropertiesView& view, const PendantSettings& settings);
  // The OK step. True when every box was accepted and `settings` now holds the
  // dialog's values; false when a box was refused (message shown, focus on it,
  // settings untouched) and the dialog must stay open.
  bool Ok(PropertiesView& view, PendantSettings& settings);
  // Id of the box that the last refused OK stopped at, 0 if none.
  int RefusedEditId() const { return refusedEditId_; }

 private:
  bool ReadEditBoxes(PropertiesView& view);

  // The fields, in the dialog class's declaration order. The five lists keep
  // their selection in the view alone.
  std::int16_t macro1_ = 0, macro2_ = 0, macro3_ = 0, macro4_ = 0;
  std::int16_t oem1_ = 0, oem2_ = 0, oem3_ = 0, oem4_ = 0;
  std::int32_t xreverse_ = 0, yreverse_ = 0, zreverse_ = 0;
  int refusedEditId_ = 0;
};

}  // namespace quenta
