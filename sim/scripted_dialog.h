// The configuration dialog without windows: the controls are plain values that
// a scripted user sets, one DialogSetting at a time. The native runner and the
// unit tests run the real dialog logic (PropertiesDialogModel) through it.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "config/pendant_settings.h"
#include "config/properties_model.h"
#include "sim/plugin_driver.h"

namespace quenta::sim {

class ScriptedHost;

class ScriptedPropertiesView : public PropertiesView {
 public:
  void FillList(int listId, const std::vector<std::string>& rows) override;
  void SelectRow(int listId, int row) override;
  int SelectedRow(int listId) override;
  void SetEditText(int editId, const std::string& text) override;
  std::string EditText(int editId) override;
  void SetChecked(int checkId, bool checked) override;
  bool IsChecked(int checkId) override;
  void ShowMessage(const std::string& text) override;
  void FocusAndSelectAll(int editId) override;

  // Acts as the user would. Returns an explanation when the action does not
  // fit the control (unknown id, or text for a list...), empty when done.
  std::string Apply(const DialogSetting& setting);

  const std::vector<std::string>& Rows(int listId) { return lists_[listId].rows; }
  const std::vector<std::string>& Messages() const { return messages_; }
  // The edit box that has the focus with its whole text selected, 0 if none.
  int FocusedEdit() const { return focusedEdit_; }

 private:
  struct List {
    std::vector<std::string> rows;
    int selected = -1;
  };
  std::map<int, List> lists_;
  std::map<int, std::string> edits_;
  std::map<int, bool> checks_;
  std::vector<std::string> messages_;
  int focusedEdit_ = 0;
};

struct ScriptedConfigResult {
  std::vector<std::string> messages;  // the message boxes shown, in order
  std::vector<std::string> errors;    // actions that did not fit their control (not applied)
};

// One dialog session on `settings`: open, apply the actions in order, then OK
// (ok) or Escape. A refused OK records its message box, dismisses it, and
// closes the dialog with Escape, so `settings` stays as it was.
ScriptedConfigResult RunScriptedConfig(PendantSettings& settings, bool ok, const std::vector<DialogSetting>& actions);

// The dialog step that the native runner's Config runs between loading and
// saving the settings, on the module's settings: a refused OK records its
// message box on `host`; an action that does not fit its control throws.
std::function<void(PendantSettings&)> ScriptedDialog(bool ok, const std::vector<DialogSetting>& settings, ScriptedHost& host);

}  // namespace quenta::sim
