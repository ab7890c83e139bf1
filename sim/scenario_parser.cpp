#include "sim/scenario_parser.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "sim/scenario_words.h"
#include "sim/whole_file.h"

namespace quenta::sim {

namespace {

using Kind = Command::Kind;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The words of one command after its name, as plain texts; a ';' is only
// allowed in expect.
std::vector<std::string> PlainWords(const std::vector<Word>& words) {
  std::vector<std::string> texts;
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (words[i].isSeparator || words[i].separatorAfter) Fail("';' is only allowed between the calls of expect");
    texts.push_back(words[i].text);
  }
  return texts;
}

void ExpectCount(const std::vector<std::string>& args, std::size_t count, const std::string& usage) {
  if (args.size() < count) Fail("missing word; usage: " + usage);
  if (args.size() > count) Fail("extra word '" + args[count] + "'; usage: " + usage);
}

int Count(const std::vector<std::string>& args, const std::string& usage) {
  if (args.size() > 1) Fail("extra word '" + args[1] + "'; usage: " + usage);
  if (args.empty()) return 1;
  return ParseIntWord(args[0], 0, kMaxRepeat, "count");
}

int ButtonBit(const std::string& word) {
  if (word == "shift") return 8;
  return ParseIntWord(word, 8, 28, "button bit");
}

std::vector<std::uint8_t> HexBytes(const std::vector<std::string>& args, std::size_t count, const std::string& usage) {
  ExpectCount(args, count, usage);
  std::vector<std::uint8_t> bytes;
  for (const std::string& word : args) bytes.push_back(ParseHexByte(word));
  return bytes;
}

HostCall ParseCall(const std::vector<std::string>& words) {
  const std::string& name = words.front();
  const std::vector<std::string> args(words.begin() + 1, words.end());
  if (name == "DoButton") {
    ExpectCount(args, 1, "DoButton CODE");
    return HostCall::DoButton(ParseIntWord(args[0], -32768, 32767, "DoButton code"));
  }
  if (name == "SetDRO") {
    ExpectCount(args, 2, "SetDRO N VALUE");
    return HostCall::SetDRO(ParseIntWord(args[0], kMinCode, kMaxCode, "DRO number"), ParseDroValue(args[1]));
  }
  if (name == "Code" || name == "Status" || name == "Message") {
    ExpectCount(args, 1, name + " \"TEXT\"");
    if (name == "Code") return HostCall::Code(args[0]);
    if (name == "Status") return HostCall::Status(args[0]);
    return HostCall::Message(args[0]);
  }
  Fail("unknown call '" + name + "' (DoButton, SetDRO, Code, Status or Message)");
}

std::vector<HostCall> ParseCalls(const std::vector<Word>& words) {
  if (words.size() == 2 && words[1].text == "nothing" && !words[1].separatorAfter && !words[1].isSeparator) return {};
  std::vector<HostCall> calls;
  std::vector<std::string> current;
  auto finish = [&] {
    if (current.empty()) Fail("empty call in expect");
    calls.push_back(ParseCall(current));
    current.clear();
  };
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (!words[i].isSeparator) current.push_back(words[i].text);
    if (words[i].isSeparator || words[i].separatorAfter) finish();
  }
  if (words.size() == 1) Fail("missing word; usage: expect CALL [; CALL]... or expect nothing");
  finish();
  return calls;
}

DialogSetting ParseSetting(const std::string& word) {
  const std::size_t equals = word.find('=');
  if (equals == std::string::npos) Fail("bad setting '" + word + "' (ID=TEXT, ID=#ROW, ID=on or ID=off)");
  DialogSetting setting;
  setting.controlId = ParseIntWord(word.substr(0, equals), kMinCode, kMaxCode, "control id");
  const std::string value = word.substr(equals + 1);
  switch (DialogControlKind(setting.controlId)) {
    case DialogControl::Edit:
      setting.kind = DialogSetting::Kind::Text;
      setting.text = value;
      break;
    case DialogControl::List:
      setting.kind = DialogSetting::Kind::Row;
      if (value.empty() || value[0] != '#') Fail("list " + std::to_string(setting.controlId) + " takes #ROW, not '" + value + "'");
      setting.row = ParseIntWord(value.substr(1), -1, 32767, "row");
      break;
    case DialogControl::Check:
      setting.kind = DialogSetting::Kind::Check;
      if (value != "on" && value != "off") Fail("check box " + std::to_string(setting.controlId) + " takes on or off, not '" + value + "'");
      setting.checked = value == "on";
      break;
    case DialogControl::None:
      Fail("no dialog control has the id " + std::to_string(setting.controlId));
  }
  return setting;
}

void ParseInside(Command& command, const std::vector<std::string>& args) {
  const char* usage = "inside DoButton|Code|SetDRO|GetLED|GetDRO [N]";
  if (args.empty()) Fail(std::string("missing word; usage: ") + usage);
  if (args.size() > 2) Fail("extra word '" + args[2] + "'; usage: " + usage);
  static const std::pair<const char*, HostCallKind> kCalls[] = {
      {"DoButton", HostCallKind::DoButton}, {"Code", HostCallKind::Code},     {"SetDRO", HostCallKind::SetDRO},
      {"GetLED", HostCallKind::GetLED},     {"GetDRO", HostCallKind::GetDRO},
  };
  const auto found = std::find_if(std::begin(kCalls), std::end(kCalls),
                                  [&](const auto& entry) { return args[0] == entry.first; });
  if (found == std::end(kCalls)) Fail("inside takes DoButton, Code, SetDRO, GetLED or GetDRO, not '" + args[0] + "'");
  command.call = found->second;
  if (args.size() < 2) return;
  switch (command.call) {
    case HostCallKind::Code: Fail("inside Code takes no number: Code names a text");
    case HostCallKind::DoButton: command.number = ParseIntWord(args[1], -32768, 32767, "DoButton code"); break;
    case HostCallKind::GetLED: command.number = ParseIntWord(args[1], kMinCode, kMaxCode, "LED number"); break;
    default: command.number = ParseIntWord(args[1], kMinCode, kMaxCode, "DRO number"); break;
  }
  command.hasNumber = true;
}

// What a host's message loop may do inside a call.
bool AllowedInside(Kind kind) {
  switch (kind) {
    case Kind::Poll: case Kind::Tick: case Kind::Press: case Kind::Release: case Kind::Raw: case Kind::Send:
    case Kind::Stream: case Kind::Stall: case Kind::Led: case Kind::Dro: case Kind::Unplug:
    case Kind::UnplugSilent: case Kind::Replug: case Kind::Plug: case Kind::OtherArrives:
    case Kind::OtherLeaves: case Kind::Fail: case Kind::Stop:
      return true;
    default:
      return false;
  }
}

// Fills `command` from its words; the name was already looked up.
void ParseOperands(Command& command, const std::string& name, const std::vector<Word>& words) {
  if (command.kind == Kind::Expect) {
    command.calls = ParseCalls(words);
    return;
  }
  const std::vector<std::string> args = PlainWords(words);
  switch (command.kind) {
    case Kind::Set:
      ExpectCount(args, 2, "set KEY VALUE");
      if (SectionForKey(args[0]) == nullptr) Fail("unknown setting key '" + args[0] + "'");
      CheckIntegerText(args[1]);
      command.section = SectionForKey(args[0]);
      command.key = args[0];
      command.text = args[1];
      break;
    case Kind::Profile:
      ExpectCount(args, 1, "profile \"XML\" or profile none");
      if (args[0] == "none") command.kind = Kind::ProfileNone;
      command.text = args[0];
      break;
    case Kind::Pendant:
      ExpectCount(args, 1, "pendant N or pendant absent");
      command.number = args[0] == "absent" ? 0 : ParseIntWord(args[0], 1, 4, "pendant count");
      break;
    case Kind::Led:
      ExpectCount(args, 2, "led N on|off");
      command.number = ParseIntWord(args[0], kMinCode, kMaxCode, "LED number");
      if (args[1] != "on" && args[1] != "off") Fail("led takes on or off, not '" + args[1] + "'");
      command.on = args[1] == "on";
      break;
    case Kind::Pump:
      ExpectCount(args, 1, "pump on|off");
      if (args[0] != "on" && args[0] != "off") Fail("pump takes on or off, not '" + args[0] + "'");
      command.on = args[0] == "on";
      break;
    case Kind::Dro:
      ExpectCount(args, 2, "dro N VALUE");
      command.number = ParseIntWord(args[0], kMinCode, kMaxCode, "DRO number");
      command.value = ParseDroValue(args[1]);
      break;
    case Kind::Press:
    case Kind::Release:
      if (args.empty()) Fail("missing word; usage: " + name + " B...");
      for (const std::string& word : args) command.bits.push_back(ButtonBit(word));
      break;
    case Kind::Raw:
      command.bytes = HexBytes(args, 8, "raw HH HH HH HH HH HH HH HH");
      break;
    case Kind::Stream:
      ExpectCount(args, 1, "stream N");
      command.number = ParseIntWord(args[0], 0, kStreamMax, "reports per poll");
      break;
    case Kind::Fail:
      ExpectCount(args, 1, "fail on|off");
      if (args[0] != "on" && args[0] != "off") Fail("fail takes on or off, not '" + args[0] + "'");
      command.on = args[0] == "on";
      break;
    case Kind::Inside: ParseInside(command, args); break;
    case Kind::Unplug:
      if (args.size() > 1) Fail("extra word '" + args[1] + "'; usage: unplug [silent]");
      if (args.size() == 1) {
        if (args[0] != "silent") Fail("unplug takes only the word silent, not '" + args[0] + "'");
        command.kind = Kind::UnplugSilent;
      }
      break;
    case Kind::Send:
    case Kind::Stall:
    case Kind::Poll:
    case Kind::Tick:
      command.number = Count(args, name + " [N]");
      break;
    case Kind::Config:
      if (args.empty() || (args[0] != "ok" && args[0] != "cancel")) Fail("usage: config ok|cancel [SETTING...]");
      command.on = args[0] == "ok";
      for (std::size_t i = 1; i < args.size(); ++i) command.settings.push_back(ParseSetting(args[i]));
      break;
    case Kind::ExpectReport:
      if (args.size() == 1 && args[0] == "none") {
        command.kind = Kind::ExpectReportNone;
        break;
      }
      command.bytes = HexBytes(args, 5, "expect-report HH HH HH HH HH or expect-report none");
      break;
    case Kind::ExpectProfile:
      ExpectCount(args, 3, "expect-profile SECTION KEY VALUE|absent");
      if (args[0].empty() || args[1].empty()) Fail("empty section or key name");
      command.section = args[0];
      command.key = args[1];
      command.text = args[2];
      if (args[2] == "absent") command.kind = Kind::ExpectProfileAbsent;
      break;
    case Kind::Resume:
      if (args.size() > 1) Fail("extra word '" + args[1] + "'; usage: resume [stale]");
      if (!args.empty() && args[0] != "stale") Fail("resume takes only the word stale, not '" + args[0] + "'");
      command.on = !args.empty();
      break;
    case Kind::ExpectAwake: {
      const char* usage = "expect-awake held|free [touched|untouched]";
      if (args.empty()) Fail(std::string("missing word; usage: ") + usage);
      if (args.size() > 2) Fail("extra word '" + args[2] + "'; usage: " + usage);
      if (args[0] != "held" && args[0] != "free") Fail("expect-awake takes held or free, not '" + args[0] + "'");
      command.on = args[0] == "held";
      if (args.size() == 2) {
        if (args[1] != "touched" && args[1] != "untouched")
          Fail("expect-awake's second word is touched or untouched, not '" + args[1] + "'");
        command.touch = args[1] == "touched" ? Command::Touch::Touched : Command::Touch::Untouched;
      }
      break;
    }
    case Kind::ExpectTitle:
      ExpectCount(args, 1, "expect-title \"TEXT\"");
      command.text = args[0];
      break;
    default:  // commands without operands
      ExpectCount(args, 0, name);
      break;
  }
}

std::optional<Kind> LookUp(const std::string& name) {
  static const std::pair<const char*, Kind> kNames[] = {
      {"set", Kind::Set}, {"profile", Kind::Profile}, {"pendant", Kind::Pendant}, {"start", Kind::Start},
      {"led", Kind::Led}, {"dro", Kind::Dro}, {"press", Kind::Press}, {"release", Kind::Release},
      {"pump", Kind::Pump}, {"raw", Kind::Raw}, {"stream", Kind::Stream}, {"send", Kind::Send},
      {"stall", Kind::Stall}, {"unplug", Kind::Unplug}, {"replug", Kind::Replug}, {"plug", Kind::Plug},
      {"other-arrives", Kind::OtherArrives}, {"other-leaves", Kind::OtherLeaves}, {"fail", Kind::Fail},
      {"suspend", Kind::Suspend}, {"resume", Kind::Resume}, {"expect-awake", Kind::ExpectAwake},
      {"inside", Kind::Inside}, {"poll", Kind::Poll},
      {"tick", Kind::Tick}, {"config", Kind::Config}, {"stop", Kind::Stop}, {"expect", Kind::Expect},
      {"expect-report", Kind::ExpectReport}, {"expect-profile", Kind::ExpectProfile},
      {"expect-profile-unchanged", Kind::ExpectProfileUnchanged}, {"expect-title", Kind::ExpectTitle},
  };
  for (const auto& [text, kind] : kNames)
    if (name == text) return kind;
  return std::nullopt;
}

// What may stand between suspend and resume: the computer sleeps, so only
// what changes state without sending, reading or delivering anything.
bool AllowedAsleep(Kind kind) {
  switch (kind) {
    case Kind::Press: case Kind::Release: case Kind::Raw: case Kind::Led: case Kind::Dro: case Kind::Resume:
      return true;
    default:
      return false;
  }
}

// Order rules that make a file meaningless if broken. Whether the pendant is
// present follows from the commands alone, so a plug of a present pendant is
// refused before anything runs, in every runner alike.
struct OrderCheck {
  bool started = false;
  bool profileWritten = false;
  bool pendantPresent = true;
  int suspendedAt = 0;  // the line of the suspend still waiting for its resume

  void Check(const Command& command) {
    if (suspendedAt != 0 && !AllowedAsleep(command.kind))
      Fail("the computer sleeps since the suspend at line " + std::to_string(suspendedAt) +
           ": only press, release, raw, led and dro may come before resume");
    switch (command.kind) {
      case Kind::Suspend:
        suspendedAt = command.line;
        break;
      case Kind::Resume:
        if (suspendedAt == 0) Fail("resume without a suspend before it");
        suspendedAt = 0;
        break;
      case Kind::Start:
        if (started) Fail("start may come only once");
        started = true;
        break;
      case Kind::Pendant:
        if (started) Fail("pendant must come before start");
        pendantPresent = command.number > 0;
        break;
      case Kind::Unplug:
      case Kind::UnplugSilent:
        pendantPresent = false;
        break;
      case Kind::Replug:
        pendantPresent = true;
        break;
      case Kind::Plug:
        if (pendantPresent) Fail("plug while the pendant is present (unplug it first, or use pendant absent)");
        pendantPresent = true;
        break;
      case Kind::Profile:
      case Kind::ProfileNone:
        profileWritten = true;
        break;
      case Kind::ExpectProfileUnchanged:
        if (!profileWritten) Fail("expect-profile-unchanged needs an earlier profile command");
        break;
      default:
        break;
    }
  }
};

std::optional<Narration> NarrationLine(const std::string& line, int number) {
  std::size_t start = 0;
  while (start < line.size() && IsBlank(line[start])) ++start;
  if (line.compare(start, 2, "##") != 0) return std::nullopt;
  if (start + 2 < line.size() && line[start + 2] != ' ') return std::nullopt;
  return Narration{number, start + 3 <= line.size() ? line.substr(start + 3) : std::string()};
}

}  // namespace

bool Command::IsExpectation() const {
  switch (kind) {
    case Kind::Expect: case Kind::ExpectReport: case Kind::ExpectReportNone: case Kind::ExpectProfile:
    case Kind::ExpectProfileAbsent: case Kind::ExpectProfileUnchanged: case Kind::ExpectTitle:
    case Kind::ExpectAwake:
      return true;
    default:
      return false;
  }
}

const char* SectionForKey(const std::string& key) {
  static const char* const kM2Keys[] = {"Macro1", "Macro2", "Macro3", "Macro4", "OEM1", "OEM2", "OEM3",
                                        "OEM4", "ScreenSel1", "ScreenSel2", "ScreenSel3", "Xreverse",
                                        "Yreverse", "Zreverse"};
  if (key == "BUTTON0" || key == "BUTTON1" || key == "BUTTON2") return "Quenta_M1_Pendant";
  for (const char* m2 : kM2Keys)
    if (key == m2) return "Quenta_M2_Pendant";
  return nullptr;
}

std::optional<std::vector<Word>> LexLine(const std::string& line, std::string& error) {
  std::vector<Word> words;
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (i < n) {
    while (i < n && IsBlank(line[i])) ++i;
    if (i >= n || line[i] == '#') break;
    Word word;
    bool bareSemicolonLast = false;
    while (i < n && !IsBlank(line[i])) {
      if (line[i] != '"') {
        bareSemicolonLast = line[i] == ';';
        word.text += line[i++];
        continue;
      }
      ++i;
      bool closed = false;
      while (i < n && !closed) {
        if (line[i] == '\\' && i + 1 < n && (line[i + 1] == '"' || line[i + 1] == '\\')) {
          word.text += line[i + 1];
          i += 2;
        } else if (line[i] == '"') {
          closed = true;
          ++i;
        } else {
          word.text += line[i++];
        }
      }
      if (!closed) {
        error = "unterminated quote";
        return std::nullopt;
      }
      bareSemicolonLast = false;
    }
    if (bareSemicolonLast) {
      word.text.pop_back();
      if (word.text.empty()) word.isSeparator = true;
      else word.separatorAfter = true;
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::optional<Scenario> ParseScenario(const std::string& file, const std::string& text, std::string& error) {
  Scenario scenario;
  scenario.file = file;
  OrderCheck order;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  Command* block = nullptr;  // the inside whose lines are being read
  while (std::getline(lines, line)) {
    ++number;
    if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    try {
      if (std::optional<Narration> narration = NarrationLine(line, number)) scenario.narration.push_back(*narration);
      std::string lexError;
      const std::optional<std::vector<Word>> words = LexLine(line, lexError);
      if (!words) Fail(lexError);
      if (words->empty()) continue;
      const Word& first = words->front();
      const std::optional<Kind> kind = LookUp(first.text);
      if (first.isSeparator || first.separatorAfter) Fail("';' is only allowed between the calls of expect");
      if (first.text == "end") {
        if (block == nullptr) Fail("end without inside");
        if (words->size() > 1) Fail("extra word '" + (*words)[1].text + "'; usage: end");
        block = nullptr;
        continue;
      }
      if (!kind) Fail("unknown command '" + first.text + "'");
      if (block != nullptr && *kind == Kind::Inside) Fail("inside cannot be nested: end the block first");
      if (block != nullptr && !AllowedInside(*kind)) Fail("'" + first.text + "' cannot run inside a host call");
      Command command;
      command.kind = *kind;
      command.line = number;
      command.source = line.substr(line.find_first_not_of(" \t"));
      ParseOperands(command, first.text, *words);
      order.Check(command);
      std::vector<Command>& into = block != nullptr ? block->block : scenario.commands;
      into.push_back(std::move(command));
      if (into.back().kind == Kind::Inside) block = &into.back();
    } catch (const ScenarioSyntaxError& syntax) {
      error = file + ":" + std::to_string(number) + ": error: " + syntax.message;
      return std::nullopt;
    }
  }
  if (block != nullptr) {
    error = file + ":" + std::to_string(block->line) + ": error: inside without end";
    return std::nullopt;
  }
  if (order.suspendedAt != 0) {
    error = file + ":" + std::to_string(order.suspendedAt) + ": error: suspend without a resume after it";
    return std::nullopt;
  }
  return scenario;
}

std::optional<Scenario> LoadScenario(const std::string& file, std::string& error) {
  std::error_code ignored;
  const std::optional<std::string> text =
      std::filesystem::is_directory(file, ignored) ? std::nullopt : ReadWholeFile(file);
  if (!text) {
    error = file + ": error: cannot read the file";
    return std::nullopt;
  }
  return ParseScenario(file, *text, error);
}

}  // namespace quenta::sim
