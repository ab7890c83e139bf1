// The host as scenarios script it: LEDs and DROs that answer what the
// scenario set, every call the plug-in makes recorded in order, and a
// HostBlock3 whose status line is a framework string of the host's own
// counting string manager. Its callbacks are plain functions with the host's
// signatures working on the one current instance, so they can be handed to
// the portable core or to the DLL's Set... exports alike.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "plugin/framework_string.h"
#include "plugin/host_api.h"
#include "sim/counting_string_manager.h"
#include "sim/host_call.h"

namespace quenta::sim {

class ScriptedHost {
 public:
  ScriptedHost();
  ~ScriptedHost();
  ScriptedHost(const ScriptedHost&) = delete;
  ScriptedHost& operator=(const ScriptedHost&) = delete;

  // The callbacks below act on this instance from now on.
  void MakeCurrent();
  // As new, but for its string manager and status line: no LED lit, every
  // DRO 0, no call recorded, no pump, hook or observer. A host block is
  // costly to make, and sessions by the thousand need one each.
  void Reset();
  static ScriptedHost* Current();

  // The six callbacks, for the Set... exports.
  static HostCallbacks Callbacks();
  static void DoButton(short code);
  static void SetDRO(int code, double value);
  static double GetDRO(int code);
  static bool GetLED(int code);
  static void SetLED(int code, bool lit);
  static void Code(const char* text);

  // What the scenario scripts.
  void SetLed(int code, bool lit) { leds_[code] = lit; }
  void SetDro(int code, double value) { dros_[code] = value; }
  // While pumping, each DoButton delivers one timer message to the plug-in's
  // poll window before it returns, as a host whose command handling runs a
  // message loop. The driver says how a timer message is delivered.
  void SetPumping(bool on) { pumping_ = on; }
  void SetTimerMessage(std::function<void()> deliver) { timerMessage_ = std::move(deliver); }
  // Runs as each call of the plug-in is made, before it returns: after the
  // call is recorded, and for a read after its answer is fixed. A host whose
  // call runs a message loop of its own does its work there. `number` is the
  // code, the LED or the DRO the call names (0 for Code).
  void SetCallHook(std::function<void(HostCallKind kind, int number)> hook) { callHook_ = std::move(hook); }

  // Host blocks for InitControl. HostBlock3 holds the status line at kStatusLineOffset.
  void* HostBlock1() { return block1_; }
  void* HostBlock2() { return block2_; }
  void* HostBlock3() { return block3_.get(); }
  std::string StatusText() const;
  // A framework string of the host's manager, as SetProName takes it by value.
  FrameworkString MakeString(const std::string& text) { return manager_.Make(text); }
  const CountingStringManager& Strings() const { return manager_; }

  // A message box the runner saw (under Wine the dialog's, natively the model's).
  void RecordMessage(const std::string& text);
  // Records a status assignment still pending; the runner calls it after each command.
  void FlushStatus();
  // Every call recorded since the previous TakeCalls.
  std::vector<HostCall> TakeCalls();

  // Sees every call as it happens, reads included, as one line of text.
  void SetObserver(std::function<void(const std::string& line, bool isRead)> observer) {
    observer_ = std::move(observer);
  }

 private:
  void Record(HostCall call);
  void Called(HostCallKind kind, int number);
  void Notify(const std::string& line, bool isRead);
  FrameworkString StatusLine() const;
  void SetStatusLine(FrameworkString status);
  void ShareStatus();

  CountingStringManager manager_;
  std::unique_ptr<unsigned char[]> block3_;
  unsigned char block1_[64] = {};
  unsigned char block2_[64] = {};
  StringData* heldStatus_ = nullptr;  // the host's own reference to the status buffer
  bool statusPending_ = false;
  std::map<int, bool> leds_;
  std::map<int, double> dros_;
  std::vector<HostCall> calls_;
  std::function<void(const std::string&, bool)> observer_;
  bool pumping_ = false;
  int pumpDepth_ = 0;
  std::function<void()> timerMessage_;
  std::function<void(HostCallKind, int)> callHook_;
};

}  // namespace quenta::sim
