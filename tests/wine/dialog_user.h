// A scripted user for the modal configuration dialog, the one dialog driver of
// the Wine tests and the Wine scenario runner. While Config runs its modal
// loop on this thread, a thread timer takes the next step each tick, so the
// dialog sees the same messages as when a person types, picks and clicks.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/plugin_driver.h"

namespace quenta::wine {

class DialogUser {
 public:
  // A step returns false to be tried again at the next tick (waiting for a window).
  using Step = std::function<bool(HWND dialog)>;

  DialogUser& Then(Step step);
  DialogUser& Do(std::function<void(HWND dialog)> action);

  // Runs `modal` (which shows the dialog and returns when it closes) while
  // the steps drive it. False when the steps did not all run: the dialog never
  // appeared or a step waited in vain (the dialog is then closed by force).
  bool Drive(const std::function<void()>& modal);
  bool SawDialog() const { return sawDialog_; }
  // Where the steps stopped when they gave up, for the failure message.
  const std::string& Stuck() const { return stuck_; }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  void Tick();
  void KeepForeground(HWND dialog);
  std::string Describe(HWND dialog) const;

  std::vector<Step> steps_;
  std::size_t next_ = 0;
  int ticks_ = 0;
  int unfocusedTicks_ = 0;
  bool busy_ = false;
  bool gaveUp_ = false;
  bool sawDialog_ = false;
  std::string stuck_;
};

// The open configuration dialog of this thread (caption "02"), or null.
HWND FindConfigDialog();
// A message box owned by `dialog`, or null.
HWND FindMessageBox(HWND dialog);
std::string MessageBoxText(HWND box);

// What a user does, in window messages.
void TypeInto(HWND dialog, int editId, const std::string& text);
void PickRow(HWND dialog, int listId, int row);
void SetTick(HWND dialog, int checkId, bool on);
void ClickOk(HWND dialog);  // posted: a refused OK opens its message box in the dialog's own loop
void PressEscape();         // posted to the focused control, as the keyboard does

std::string WindowText(HWND window);
std::string ClassOf(HWND window);

// The scenario language's `config ok|cancel SETTING...` at the real dialog:
// the settings applied, then OK or Escape; a refused OK's message box is
// recorded and dismissed and the dialog closed with Escape.
struct ScenarioConfigRun {
  bool sawDialog = false;
  std::vector<std::string> messages;
  std::vector<std::string> errors;  // settings that did not fit their control, as "control ID is not ..."
};
ScenarioConfigRun RunScenarioConfig(void (*config)(), bool ok, const std::vector<sim::DialogSetting>& settings);

}  // namespace quenta::wine
