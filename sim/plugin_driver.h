// What a scenario runner needs from "the plug-in plus its surroundings":
// the native runner drives the portable core with a virtual pendant, the Wine
// runner drives the real DLL with a pipe pendant. Both hand the plug-in the
// callbacks of the one ScriptedHost they are built with, so every host call
// is recorded there, and neither checks anything itself: the scenario runner
// does all checking.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/reports.h"

namespace quenta::sim {

class ScriptedHost;

// One SETTING of `config`. The kind follows the control: edit boxes take
// text, drop-down lists a row (-1 selects none), check boxes on/off.
struct DialogSetting {
  enum class Kind { Text, Row, Check };
  int controlId = 0;
  Kind kind = Kind::Text;
  std::string text;  // Kind::Text: replaces the edit box's text
  int row = -1;      // Kind::Row
  bool checked = false;  // Kind::Check
};

// What the plug-in last asked of Windows's idle timers.
struct AwakeState {
  bool held = false;     // its last continuous request keeps the system from idle sleep
  bool touched = false;  // it reset the idle timers since the previous TakeAwake
};

enum class ConfigOutcome {
  Ran,          // Config ran; the dialog was closed with OK or Escape as asked
  Unavailable,  // this runner cannot show the dialog: the scenario fails
};

class PluginDriver {
 public:
  virtual ~PluginDriver() = default;

  // Set-up, before Start: how many pendants are present at discovery (0 = absent).
  // They enumerate in order, each at its own path.
  virtual void SetPendantCount(int count) = 0;

  // The host's start-up, in order: the six Set... exports with the scripted
  // host's callbacks, SetProName(profilePath) as a framework string of the
  // scripted host's manager, InitControl(HostBlock1..3, HostView),
  // PostInitControl. Returns the text SetProName returned.
  virtual std::string Start(const std::string& profilePath) = 0;

  // The pendant sends `count` reports of `report` now: the driver queues them
  // on every read handle open on a present pendant (at most 32 each, the
  // oldest dropped). Nothing reaches a pendant that is away.
  virtual void SendReports(const InputReport& report, int count) = 0;

  // The first pendant leaves (with a removal notification naming its path,
  // or silently: its handles then fail as a removed device's), comes back at
  // the path it had, or arrives under a new path (appended to the enumeration
  // order); another HID device arrives / is removed. Arrivals and removals
  // send WM_DEVICECHANGE (removal 0x8004 with the device's interface record,
  // arrival 0x8000) only while the plug-in is registered for HID interface
  // notifications. Unplugging an absent pendant or replugging a present one
  // changes nothing and sends nothing; with no pendant at discovery, Replug
  // makes one appear. OtherLeaves removes the device of the latest
  // OtherArrives still present, or else one that was there from the start.
  // Plug returns false, changing nothing, when the pendant is present.
  virtual void Unplug(bool silently) = 0;
  virtual void Replug() = 0;
  virtual bool Plug() = 0;
  virtual void OtherArrives() = 0;
  virtual void OtherLeaves() = 0;

  // The first pendant stays present while every read and write on its handles
  // fails with ERROR_GEN_FAILURE (31) and what it sends is lost; turning it
  // on also loses what its handles held. Off: they work again. The mode is
  // the pendant's: it holds while the pendant is away and on every path it takes.
  virtual void SetFailing(bool failing) = 0;

  // Windows announces the sleep (PBT_APMSUSPEND), or the wake
  // (PBT_APMRESUMEAUTOMATIC): every driver queue is then empty and a read
  // left waiting takes nothing; with staleHandles, handles opened before the
  // sleep hang from now on (reads never complete, writes time out).
  virtual void Suspend() = 0;
  virtual void Resume(bool staleHandles) = 0;

  // One timer message of the plug-in's window (nothing before Start or after
  // Stop). The scripted host's pump delivers the same message from inside DoButton.
  virtual void Poll() = 0;
  // One call of Update.
  virtual void Tick() = 0;
  // The Config export: apply `settings` in order while the dialog is open,
  // then OK (ok) or Escape. A refused OK: record the message box through
  // ScriptedHost::RecordMessage, dismiss it, then close the dialog with Escape.
  virtual ConfigOutcome Config(bool ok, const std::vector<DialogSetting>& settings) = 0;
  // StopPlug, also from inside a host call of the plug-in.
  virtual void Stop() = 0;

  // The last output report written to the pendant since the previous call, if any.
  virtual std::optional<OutputReport> TakeLastReport() = 0;
  virtual AwakeState TakeAwake() = 0;
};

// Makes a fresh driver (a freshly loaded module) for one scenario. The host
// outlives the driver.
using DriverFactory = std::function<std::unique_ptr<PluginDriver>(ScriptedHost& host)>;

}  // namespace quenta::sim
