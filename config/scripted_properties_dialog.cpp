#include "config/scripted_properties_dialog.h"

#include "resources/resource_ids.h"

namespace quenta {

DialogControlKind KindOfDialogControl(int controlId) {
  switch (controlId) {
    case IDC_MACRO1: case IDC_MACRO2: case IDC_MACRO3: case IDC_MACRO4:
    case IDC_OEM1: case IDC_OEM2: case IDC_OEM3: case IDC_OEM4:
      return DialogControlKind::EditBox;
    case IDC_FUNCTION_KEY1: case IDC_FUNCTION_KEY2: case IDC_SCREEN1: case IDC_SCREEN2: case IDC_SCREEN3:
      return DialogControlKind::List;
    case IDC_XREVERSE: case IDC_YREVERSE: case IDC_ZREVERSE:
      return DialogControlKind::CheckBox;
    default:
      return DialogControlKind::None;
  }
}

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

std::string ScriptedPropertiesView::Apply(const ScriptedDialogAction& action) {
  const DialogControlKind kind = KindOfDialogControl(action.controlId);
  const std::string id = std::to_string(action.controlId);
  switch (action.kind) {
    case ScriptedDialogAction::Kind::Text:
      if (kind != DialogControlKind::EditBox) return "control " + id + " is not an edit box";
      SetEditText(action.controlId, action.text);
      return {};
    case ScriptedDialogAction::Kind::Row:
      if (kind != DialogControlKind::List) return "control " + id + " is not a drop-down list";
      SelectRow(action.controlId, action.row);
      return {};
    case ScriptedDialogAction::Kind::Check:
      if (kind != DialogControlKind::CheckBox) return "control " + id + " is not a check box";
      SetChecked(action.controlId, action.checked);
      return {};
  }
  return "unknown action";
}

ScriptedConfigResult RunScriptedConfig(PendantSettings& settings, bool ok,
                                       const std::vector<ScriptedDialogAction>& actions) {
  ScriptedPropertiesView view;
  PropertiesDialogModel dialog;
  dialog.Open(view, settings);
  ScriptedConfigResult result;
  for (const ScriptedDialogAction& action : actions) {
    std::string error = view.Apply(action);
    if (!error.empty()) result.errors.push_back(std::move(error));
  }
  // A refused OK leaves the dialog open; the scripted user then presses Escape,
  // which reads nothing.
  if (ok) dialog.Ok(view, settings);
  result.messages = view.Messages();
  return result;
}

}  // namespace quenta
