// Reads scenario files into commands. Every form the language does not allow
// is refused with "FILE:LINE: error: ...", before anything runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/host_call.h"
#include "sim/plugin_driver.h"

namespace quenta::sim {

struct Command {
  enum class Kind {
    Set, Profile, ProfileNone, Pendant, Start, Led, Dro, Pump, Press, Release, Raw, Stream, Send, Stall,
    Unplug, UnplugSilent, Replug, Plug, OtherArrives, OtherLeaves, Fail, Suspend, Resume, Poll, Tick, Config,
    Stop, Inside, Expect, ExpectReport, ExpectReportNone, ExpectProfile, ExpectProfileAbsent,
    ExpectProfileUnchanged, ExpectTitle, ExpectAwake,
  };
  // expect-awake's second word.
  enum class Touch { Unchecked, Touched, Untouched };
  Kind kind = Kind::Start;
  int line = 0;
  std::string source;  // the line as written, for messages

  std::string section, key;  // set, expect-profile
  std::string text;          // set / expect-profile: the value; profile: the XML; expect-title
  int number = 0;            // pendant count (0 = absent), LED or DRO code, repeat or report count
  bool on = false;           // led on; pump on; fail on; config ok; resume stale; expect-awake held
  Touch touch = Touch::Unchecked;  // expect-awake
  double value = 0;          // dro
  std::vector<int> bits;     // press, release
  std::vector<std::uint8_t> bytes;  // raw (8), expect-report (5)
  std::vector<HostCall> calls;      // expect; empty for `expect nothing`
  std::vector<DialogSetting> settings;  // config
  // inside: the host call whose message loop runs `block`, and the code,
  // LED or DRO number it must name (`number`, when hasNumber).
  HostCallKind call = HostCallKind::DoButton;
  bool hasNumber = false;
  std::vector<Command> block;

  bool IsExpectation() const;
};

// A comment line "## text": words for an operator, shown by the narrating mode.
struct Narration {
  int line = 0;
  std::string text;
};

struct Scenario {
  std::string file;
  std::vector<Command> commands;
  std::vector<Narration> narration;
};

// One word of a line after quoting: `separatorAfter` when an unquoted ';'
// ended it (that ';' removed), `isSeparator` for a bare ';' word.
struct Word {
  std::string text;
  bool separatorAfter = false;
  bool isSeparator = false;
};

// Splits one line into words; comments are dropped. Empty optional on a
// lexical error, described in `error`.
std::optional<std::vector<Word>> LexLine(const std::string& line, std::string& error);

// Parses a whole file's text. On failure `error` holds "FILE:LINE: error: ...".
std::optional<Scenario> ParseScenario(const std::string& file, const std::string& text, std::string& error);
// Reads and parses a file; an unreadable file is an error too.
std::optional<Scenario> LoadScenario(const std::string& file, std::string& error);

// The profile section the settings use for a key; null for an unknown key.
const char* SectionForKey(const std::string& key);

}  // namespace quenta::sim
