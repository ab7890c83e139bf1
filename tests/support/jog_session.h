// A pendant session against the real link and control logic, with the
// scripted host and the virtual pendant, judged for jog safety. The property
// test draws sessions at random and the poll-sequence fuzzer decodes them
// from bytes; both are judged by the same rules:
// - no jog outlives its release by more than one poll period, counting the
//   timer messages inside host calls, whatever selection is armed;
// - a removal while an axis jogs sends 1021 unless LED 800 is lit, and no
//   removal sends 1021 while it is lit;
// - an E-stop press the plug-in reads reaches the host before the next timer
//   message;
// - no start code follows its jog's end code;
// - after StopPlug nothing reaches the host but the end codes of jogs that ran,
//   and no jog runs on once the step that called it is over;
// - after a gap in the link no jog starts in rate jog mode from a single press.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quenta::jog_session {

enum class Kind {
  Press, Release, ReleaseAll,  // a: bit
  Raw,                         // bytes: all 8 bytes of the pendant's state
  Ticks, Poll, Stall, Send,    // a: count
  Rate,                        // a: reports per poll period; 0: only on change
  Unplug, UnplugSilent, Replug, Plug, OtherArrives,
  Broadcast,                   // a: 0 arrival, 1 removal; bytes: the record, sized by its own size field
  Led, Dro,                    // a: LED or DRO; b: lit, or the value
  Setting,                     // a: which (see kSettings in the source); b: the value
  Fail,                        // b: on
  Inside,                      // a: the host call (0 DoButton, 1 Code, 2 SetDRO, 3 GetLED, 4 GetDRO);
                               // b: the number of actions after this one that run inside it
  Stop,
};

struct Action {
  Kind kind;
  int a = 0;
  double b = 0;
  std::vector<std::uint8_t> bytes = {};
};

// For the judge's own tests: a host that drops these codes, shows these LEDs
// as dark to the plug-in while they are lit, or hears a code the plug-in did
// not send (the code, before the step of that index runs).
struct Faults {
  std::vector<int> deafTo = {};
  std::vector<int> darkFor = {};
  std::vector<std::pair<std::size_t, int>> heard = {};
};

struct Outcome {
  std::optional<std::string> breach;  // the first broken rule, and where
  int jogStarts = 0;
  int removalsWhileJogging = 0;
  int timersInsideCalls = 0;
  int stopsWhileJogging = 0;
  bool leaks = false;  // handles left open or a host string freed wrongly
};

// Runs the session on a freshly loaded module, the pendant connected and
// reporting `rate` times per poll period (0: on change).
Outcome RunSession(const std::vector<Action>& actions, int rate, const Faults& faults = {});

std::string Describe(const std::vector<Action>& actions);

// Removes chunks, down to single actions, while the session still breaks a rule.
std::vector<Action> Shrink(std::vector<Action> actions, int rate, const Faults& faults = {});

}  // namespace quenta::jog_session
