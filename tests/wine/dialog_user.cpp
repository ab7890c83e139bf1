#include "tests/wine/dialog_user.h"

namespace quenta::wine {

namespace {

DialogUser* g_activeUser = nullptr;
constexpr UINT kTickMs = 20;
constexpr int kGiveUpTicks = 500;  // 10 s without progress means the dialog is stuck
constexpr int kRefocusTicks = 10;  // a box closing hands the focus back well within 200 ms

struct Search {
  HWND owner;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (ClassOf(window) != "#32770" || !IsWindowVisible(window)) return TRUE;
  const bool isMessageBox = GetWindow(window, GW_OWNER) == search->owner && search->owner != nullptr;
  const bool isDialog = search->owner == nullptr && WindowText(window) == "02";
  if (isMessageBox || isDialog) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindOnThisThread(HWND owner) {
  Search search{owner, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

DialogUser& DialogUser::Then(Step step) {
  steps_.push_back(std::move(step));
  return *this;
}

DialogUser& DialogUser::Do(std::function<void(HWND)> action) {
  return Then([action = std::move(action)](HWND dialog) {
    action(dialog);
    return true;
  });
}

bool DialogUser::Drive(const std::function<void()>& modal) {
  g_activeUser = this;
  const UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, OnTimer);
  modal();
  KillTimer(nullptr, timer);
  g_activeUser = nullptr;
  return !gaveUp_ && next_ == steps_.size();
}

// The test display has no window manager, and a window another process opens
// there may take the foreground from the dialog, leaving this thread no focus
// until somebody clicks the dialog again; a person would, and so does this
// user. The dialog then gives the focus back to the control that held it.
void DialogUser::KeepForeground(HWND dialog) {
  const bool lost = GetFocus() == nullptr && FindMessageBox(dialog) == nullptr && GetForegroundWindow() != dialog;
  unfocusedTicks_ = lost ? unfocusedTicks_ + 1 : 0;
  if (unfocusedTicks_ < kRefocusTicks) return;
  SetForegroundWindow(dialog);
  unfocusedTicks_ = 0;
}

std::string DialogUser::Describe(HWND dialog) const {
  HWND focus = GetFocus();
  return "step " + std::to_string(next_ + 1) + " of " + std::to_string(steps_.size()) + " waited in vain; dialog " +
         (dialog != nullptr ? "open" : "absent") + ", message box " +
         (FindMessageBox(dialog) != nullptr ? "open" : "absent") + ", focus " +
         (focus == nullptr ? "nowhere" : ClassOf(focus) + " " + std::to_string(GetDlgCtrlID(focus))) +
         ", foreground " + (GetForegroundWindow() == dialog ? "the dialog" : "elsewhere");
}

void CALLBACK DialogUser::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (g_activeUser != nullptr) g_activeUser->Tick();
}

void DialogUser::Tick() {
  if (busy_) return;  // a step's own message loop dispatched this tick
  busy_ = true;
  HWND dialog = FindConfigDialog();
  sawDialog_ = sawDialog_ || dialog != nullptr;
  if (++ticks_ > kGiveUpTicks && !gaveUp_) {
    gaveUp_ = true;
    stuck_ = Describe(dialog);
    if (HWND box = FindMessageBox(dialog)) PostMessageA(box, WM_COMMAND, IDOK, 0);
    if (dialog != nullptr) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  } else if (dialog != nullptr && !gaveUp_ && next_ < steps_.size() && steps_[next_](dialog)) {
    ++next_;
    ticks_ = 0;
  }
  if (dialog != nullptr) KeepForeground(dialog);
  busy_ = false;
}

HWND FindConfigDialog() { return FindOnThisThread(nullptr); }

HWND FindMessageBox(HWND dialog) { return dialog == nullptr ? nullptr : FindOnThisThread(dialog); }

std::string MessageBoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

void TypeInto(HWND dialog, int editId, const std::string& text) {
  HWND edit = GetDlgItem(dialog, editId);
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, 0, -1);
  SendMessageA(edit, WM_CHAR, VK_BACK, 1);
  for (char c : text) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void PickRow(HWND dialog, int listId, int row) {
  HWND list = GetDlgItem(dialog, listId);
  SetFocus(list);
  SendMessageA(list, CB_SETCURSEL, row, 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(listId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void SetTick(HWND dialog, int checkId, bool on) {
  if ((IsDlgButtonChecked(dialog, checkId) == BST_CHECKED) != on) SendDlgItemMessageA(dialog, checkId, BM_CLICK, 0, 0);
}

void ClickOk(HWND dialog) { PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0); }

void PressEscape() {
  HWND focus = GetFocus();
  PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 1);
  PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0000001);
}

std::string WindowText(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

namespace {

bool IsCheckBox(HWND control) {
  const LONG_PTR type = GetWindowLongPtrA(control, GWL_STYLE) & BS_TYPEMASK;
  return ClassOf(control) == "Button" && (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX);
}

void Apply(HWND dialog, const sim::DialogSetting& setting, std::vector<std::string>& errors) {
  HWND control = GetDlgItem(dialog, setting.controlId);
  const std::string kind = control == nullptr ? "" : ClassOf(control);
  const std::string named = "control " + std::to_string(setting.controlId);
  switch (setting.kind) {
    case sim::DialogSetting::Kind::Text:
      if (kind != "Edit") return errors.push_back(named + " is not an edit box");
      return TypeInto(dialog, setting.controlId, setting.text);
    case sim::DialogSetting::Kind::Row:
      if (kind != "ComboBox") return errors.push_back(named + " is not a drop-down list");
      return PickRow(dialog, setting.controlId, setting.row);
    case sim::DialogSetting::Kind::Check:
      if (control == nullptr || !IsCheckBox(control)) return errors.push_back(named + " is not a check box");
      return SetTick(dialog, setting.controlId, setting.checked);
  }
}

}  // namespace

ScenarioConfigRun RunScenarioConfig(void (*config)(), bool ok, const std::vector<sim::DialogSetting>& settings) {
  ScenarioConfigRun run;
  HWND recordedBox = nullptr;
  DialogUser user;
  user.Do([&](HWND dialog) {
        for (const sim::DialogSetting& setting : settings) Apply(dialog, setting, run.errors);
        if (ok) {
          ClickOk(dialog);
        } else {
          PressEscape();
        }
      })
      // An accepted OK or the Escape closes the dialog before this step ends.
      .Then([&](HWND dialog) {
        if (HWND box = FindMessageBox(dialog)) {
          if (box != recordedBox) {
            run.messages.push_back(MessageBoxText(box));
            PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            recordedBox = box;
          }
          return false;
        }
        // A box hidden by its OK is still in its own loop for a moment, before the focus moves back.
        if (recordedBox == nullptr || GetFocus() == nullptr) return false;
        PressEscape();
        return true;
      });
  user.Drive(config);
  run.sawDialog = user.SawDialog();
  return run;
}

}  // namespace quenta::wine
