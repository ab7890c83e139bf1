#include "sim/scripted_dialog.h"

#include <stdexcept>

#include "sim/scenario_words.h"
#include "sim/scripted_host.h"

namespace quenta::sim {

void ScriptedPropertiesView::FillList(int listId, const std::vector<std::string>& rows) {
  lists_[listId] = List{rows, -1};
}

void ScriptedPropertiesView::SelectRow(int listId, int row) {
  List& list = lists_[listId];
  list.selected = row >= 0 && row < static_cast<int>(list.rows.size()) ? row : -1;
}

int ScriptedPropertiesView::SelectedRow(int listId) { return lists_[listId].selected; }

void ScriptedPropertiesView::SetEditText(int editId, const std::string& text) { edits_[editId] = text; }

std::string ScriptedPropertiesView::EditText(int editId) { return edits_[editId]; }

void ScriptedPropertiesView::SetChecked(int checkId, bool checked) { checks_[checkId] = checked; }

bool ScriptedPropertiesView::IsChecked(int checkId) { return checks_[checkId]; }

void ScriptedPropertiesView::ShowMessage(const std::string& text) { messages_.push_back(text); }

void ScriptedPropertiesView::FocusAndSelectAll(int editId) { focusedEdit_ = editId; }

std::string ScriptedPropertiesView::Apply(const DialogSetting& setting) {
  const DialogControl kind = DialogControlKind(setting.controlId);
  const std::string id = std::to_string(setting.controlId);
  switch (setting.kind) {
    case DialogSetting::Kind::Text:
      if (kind != DialogControl::Edit) return "control " + id + " is not an edit box";
      SetEditText(setting.controlId, setting.text);
      return {};
    case DialogSetting::Kind::Row:
      if (kind != DialogControl::List) return "control " + id + " is not a drop-down list";
      SelectRow(setting.controlId, setting.row);
      return {};
    case DialogSetting::Kind::Check:
      if (kind != DialogControl::Check) return "control " + id + " is not a check box";
      SetChecked(setting.controlId, setting.checked);
      return {};
  }
  return "unknown setting";
}

ScriptedConfigResult RunScriptedConfig(PendantSettings& settings, bool ok, const std::vector<DialogSetting>& actions) {
  ScriptedPropertiesView view;
  PropertiesDialogModel dialog;
  dialog.Open(view, settings);
  ScriptedConfigResult result;
  for (const DialogSetting& action : actions) {
    std::string error = view.Apply(action);
    if (!error.empty()) result.errors.push_back(std::move(error));
  }
  // A refused OK leaves the dialog open; the scripted user then presses Escape,
  // which reads nothing.
  if (ok) dialog.Ok(view, settings);
  result.messages = view.Messages();
  return result;
}

std::function<void(PendantSettings&)> ScriptedDialog(bool ok, const std::vector<DialogSetting>& actions,
                                                     ScriptedHost& host) {
  return [ok, actions, &host](PendantSettings& settings) {
    const ScriptedConfigResult result = RunScriptedConfig(settings, ok, actions);
    for (const std::string& message : result.messages) host.RecordMessage(message);
    if (!result.errors.empty()) throw std::runtime_error("config: " + result.errors.front());
  };
}

}  // namespace quenta::sim
