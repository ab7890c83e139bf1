// Plays the operator at the configuration dialog while the Config export runs
// its modal loop: a thread timer finds the dialog, applies the settings as a
// user would, presses OK or Escape, and reads and dismisses any message box.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "sim/plugin_driver.h"

namespace quenta::wine {

class DialogRobot {
 public:
  DialogRobot(bool ok, std::vector<sim::DialogSetting> settings);
  DialogRobot(const DialogRobot&) = delete;
  DialogRobot& operator=(const DialogRobot&) = delete;

  // Calls config() (which shows the dialog modally) with the robot at work.
  void Run(void (*config)());

  bool SawDialog() const { return dialog_ != nullptr; }
  const std::vector<std::string>& Messages() const { return messages_; }
  // Settings that did not fit their control, as "control ID is not ...".
  const std::vector<std::string>& Errors() const { return errors_; }

 private:
  enum class Phase { Waiting, Confirmed, Closing };
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  void Step();
  void Apply(const sim::DialogSetting& setting);
  void Press(int button);

  bool ok_;
  std::vector<sim::DialogSetting> settings_;
  HWND dialog_ = nullptr;
  Phase phase_ = Phase::Waiting;
  DWORD startTicks_ = 0;
  std::vector<std::string> messages_;
  std::vector<std::string> errors_;
};

}  // namespace quenta::wine
