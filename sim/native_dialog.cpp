#include "sim/native_dialog.h"

#include <stdexcept>

#include "config/pendant_settings.h"
#include "config/scripted_properties_dialog.h"
#include "sim/scripted_host.h"

namespace quenta::sim {

namespace {

ScriptedDialogAction ToAction(const DialogSetting& setting) {
  ScriptedDialogAction action;
  action.controlId = setting.controlId;
  action.text = setting.text;
  action.row = setting.row;
  action.checked = setting.checked;
  switch (setting.kind) {
    case DialogSetting::Kind::Text: action.kind = ScriptedDialogAction::Kind::Text; break;
    case DialogSetting::Kind::Row: action.kind = ScriptedDialogAction::Kind::Row; break;
    case DialogSetting::Kind::Check: action.kind = ScriptedDialogAction::Kind::Check; break;
  }
  return action;
}

}  // namespace

std::function<void()> ScriptedDialog(bool ok, const std::vector<DialogSetting>& settings, ScriptedHost& host) {
  std::vector<ScriptedDialogAction> actions;
  for (const DialogSetting& setting : settings) actions.push_back(ToAction(setting));
  return [ok, actions, &host] {
    const ScriptedConfigResult result = RunScriptedConfig(Settings, ok, actions);
    for (const std::string& message : result.messages) host.RecordMessage(message);
    if (!result.errors.empty()) throw std::runtime_error("config: " + result.errors.front());
  };
}

}  // namespace quenta::sim
