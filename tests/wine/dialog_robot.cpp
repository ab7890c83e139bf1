#include "tests/wine/dialog_robot.h"

#include <utility>

namespace quenta::wine {

namespace {

constexpr UINT kStepMs = 10;
constexpr DWORD kGiveUpMs = 10000;  // a dialog that will not close must not hang the run

DialogRobot* active = nullptr;

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(window, &text[0], static_cast<int>(text.size()))));
  return text;
}

// A WNDENUMPROC is stdcall on i686, which no lambda converts to.
BOOL CALLBACK CollectDialog(HWND window, LPARAM found) {
  if (IsWindowVisible(window) && ClassOf(window) == "#32770")
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  return TRUE;
}

// The visible dialog-class windows of this thread: the configuration dialog and message boxes.
std::vector<HWND> ThreadDialogs() {
  std::vector<HWND> found;
  EnumThreadWindows(GetCurrentThreadId(), &CollectDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

// A message box's text is its longest static text.
std::string MessageBoxText(HWND box) {
  std::string text;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) != "Static") continue;
    std::string candidate = TextOf(child);
    if (candidate.size() > text.size()) text = std::move(candidate);
  }
  return text;
}

bool IsCheckBox(HWND control) {
  const LONG_PTR type = GetWindowLongPtrA(control, GWL_STYLE) & BS_TYPEMASK;
  return ClassOf(control) == "Button" && (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX);
}

}  // namespace

DialogRobot::DialogRobot(bool ok, std::vector<sim::DialogSetting> settings)
    : ok_(ok), settings_(std::move(settings)) {}

void DialogRobot::Run(void (*config)()) {
  active = this;
  startTicks_ = GetTickCount();
  const UINT_PTR timer = SetTimer(nullptr, 0, kStepMs, &DialogRobot::OnTimer);
  config();
  KillTimer(nullptr, timer);
  active = nullptr;
}

void CALLBACK DialogRobot::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (active != nullptr) active->Step();
}

void DialogRobot::Step() {
  const std::vector<HWND> dialogs = ThreadDialogs();
  if (phase_ == Phase::Waiting) {
    if (dialogs.empty()) return;
    dialog_ = dialogs.front();
    for (const sim::DialogSetting& setting : settings_) Apply(setting);
    Press(ok_ ? IDOK : IDCANCEL);
    phase_ = ok_ ? Phase::Confirmed : Phase::Closing;
    return;
  }
  bool boxShown = false;
  for (HWND window : dialogs) {
    if (window == dialog_) continue;
    boxShown = true;
    messages_.push_back(MessageBoxText(window));
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
  if (boxShown || !IsWindow(dialog_)) return;
  // OK was refused (the dialog is still open once its message box is gone), or
  // the dialog ignored us for too long: Escape.
  if (phase_ == Phase::Confirmed || GetTickCount() - startTicks_ > kGiveUpMs) {
    Press(IDCANCEL);
    phase_ = Phase::Closing;
  }
}

void DialogRobot::Apply(const sim::DialogSetting& setting) {
  const std::string id = std::to_string(setting.controlId);
  HWND control = GetDlgItem(dialog_, setting.controlId);
  const std::string kind = control == nullptr ? "" : ClassOf(control);
  switch (setting.kind) {
    case sim::DialogSetting::Kind::Text:
      if (kind != "Edit") {
        errors_.push_back("control " + id + " is not an edit box");
        return;
      }
      SetFocus(control);
      SendMessageA(control, EM_SETSEL, 0, -1);
      SendMessageA(control, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(setting.text.c_str()));
      return;
    case sim::DialogSetting::Kind::Row:
      if (kind != "ComboBox") {
        errors_.push_back("control " + id + " is not a drop-down list");
        return;
      }
      SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(setting.row), 0);
      SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(setting.controlId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
      return;
    case sim::DialogSetting::Kind::Check:
      if (control == nullptr || !IsCheckBox(control)) {
        errors_.push_back("control " + id + " is not a check box");
        return;
      }
      SendMessageA(control, BM_SETCHECK, setting.checked ? BST_CHECKED : BST_UNCHECKED, 0);
      SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(setting.controlId, BN_CLICKED), reinterpret_cast<LPARAM>(control));
      return;
  }
}

// Posted, so that the dialog handles it in its own loop, where a message box
// it shows runs a nested loop that this robot's timer still reaches.
void DialogRobot::Press(int button) {
  PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog_, button)));
}

}  // namespace quenta::wine
