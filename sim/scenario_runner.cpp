#include "sim/scenario_runner.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <memory>
#include <random>
#include <utility>
#include <stdexcept>

#include "sim/profile_file.h"
#include "sim/whole_file.h"
#include "sim/scenario_words.h"
#include "sim/scripted_host.h"

namespace quenta::sim {

namespace {

namespace fs = std::filesystem;
using Kind = Command::Kind;

// A directory of its own for each scenario's profile, removed afterwards.
class TempProfile {
 public:
  TempProfile() {
    std::random_device random;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      char name[40];
      std::snprintf(name, sizeof name, "pendant-sim-%08x", static_cast<unsigned>(random()));
      std::error_code error;
      if (fs::create_directory(base / name, error)) {
        dir_ = base / name;
        return;
      }
    }
    throw std::runtime_error("cannot make a temporary directory in " + base.string());
  }
  ~TempProfile() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  TempProfile(const TempProfile&) = delete;
  TempProfile& operator=(const TempProfile&) = delete;

  std::string Path() const { return (dir_ / "profile.xml").string(); }

 private:
  fs::path dir_;
};

std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += byte;
  }
  return text;
}

// What a check that held means, in an operator's words.
std::string Plainly(const Command& command) {
  switch (command.kind) {
    case Kind::Expect:
      return command.calls.empty() ? "the host got nothing" : "the host got " + FormatCalls(command.calls);
    case Kind::ExpectReport: return "the pendant was sent " + HexBytes(command.bytes.data(), command.bytes.size());
    case Kind::ExpectReportNone: return "nothing was sent to the pendant";
    case Kind::ExpectProfile: return "the profile holds " + command.key + " = " + command.text;
    case Kind::ExpectProfileAbsent: return "the profile holds no " + command.key;
    case Kind::ExpectProfileUnchanged: return "the profile file is unchanged";
    case Kind::ExpectTitle: return "the plug-in's title is " + QuoteText(command.text);
    case Kind::ExpectAwake:
      return std::string(command.on ? "the PC is kept from idle sleep" : "the PC may sleep when idle") +
             (command.touch == Command::Touch::Touched     ? ", and the pendant counted as the operator's presence"
              : command.touch == Command::Touch::Untouched ? ", and nothing counted as the operator's presence"
                                                           : "");
    default: return command.source;
  }
}

// A check that did not hold, or a step that could not run.
struct Failure {
  std::string message;
};
// A step the file asks for that cannot be: the file is wrong, as for a syntax error.
struct FileError {
  std::string message;
};

class ScenarioRun {
 public:
  ScenarioRun(const Scenario& scenario, const DriverFactory& factory, const RunOptions& options, std::ostream& out)
      : scenario_(scenario), options_(options), out_(out) {
    host_.MakeCurrent();
    if (options.trace || options.narrate) {
      host_.SetObserver([this](const std::string& line, bool isRead) {
        if (options_.trace) out_ << "    " << line << '\n';
        else if (!isRead) out_ << "      host <- " << line << '\n';
      });
    }
    driver_ = factory(host_);
    host_.SetCallHook([this](HostCallKind kind, int number) { OnHostCall(kind, number); });
  }
  ~ScenarioRun() { host_.SetCallHook(nullptr); }

  int Run() {
    std::size_t narrated = 0;
    for (const Command& command : scenario_.commands) {
      narrated = Narrate(narrated, command.line);
      if (options_.trace) out_ << scenario_.file << ':' << command.line << ": " << command.source << '\n';
      if (options_.narrate && !command.IsExpectation()) out_ << "    > " << command.source << '\n';
      try {
        Execute(command);
        host_.FlushStatus();
        if (insideError_) std::rethrow_exception(std::exchange(insideError_, nullptr));
      } catch (const Failure& failure) {
        return Report(command, failure.message);
      } catch (const FileError& error) {
        out_ << scenario_.file << ':' << error.message << '\n';
        return 2;
      } catch (const std::exception& error) {
        return Report(command, std::string("error: ") + error.what());
      }
      if (command.IsExpectation()) {
        ++expectations_;
        if (options_.narrate) out_ << "    ok: " << Plainly(command) << '\n';
      }
    }
    Narrate(narrated, 1 << 30);
    if (!scenario_.commands.empty()) {
      const std::string leak = HostStringFault();
      if (!leak.empty()) return Report(scenario_.commands.back(), leak);
    }
    if (options_.narrate)
      out_ << "\nEvery expectation held (" << expectations_ << " expectations).\n";
    else
      out_ << "PASS " << scenario_.file << " (" << expectations_ << " expectations)\n";
    return 0;
  }

 private:
  std::size_t Narrate(std::size_t next, int beforeLine) {
    for (; next < scenario_.narration.size() && scenario_.narration[next].line < beforeLine; ++next)
      if (options_.narrate) out_ << scenario_.narration[next].text << '\n';
    return next;
  }

  // The host's strings the plug-in took must each have been released once:
  // in the end only the status line's buffer is left.
  std::string HostStringFault() {
    host_.FlushStatus();
    const CountingStringManager& strings = host_.Strings();
    if (strings.badFrees > 0)
      return "the plug-in freed " + std::to_string(strings.badFrees) + " host string(s) that were not live";
    if (strings.Live() != 1)
      return "the plug-in kept " + std::to_string(strings.Live() - 1) + " host string(s) it should have released";
    return {};
  }

  int Report(const Command& command, const std::string& message) {
    if (options_.narrate) out_ << "\nAn expectation did not hold.\n";
    out_ << "FAIL " << scenario_.file << ':' << command.line << ": " << message << '\n'
         << "    at line " << command.line << ": " << command.source << '\n';
    return 1;
  }

  // The host's message loop inside one of its calls: the waiting block runs
  // once, at the first call it names. Nothing may unwind through the
  // plug-in's frames, so what goes wrong in the block is kept for later.
  void OnHostCall(HostCallKind kind, int number) {
    if (inside_ == nullptr || inside_->call != kind || (inside_->hasNumber && inside_->number != number)) return;
    const Command* block = std::exchange(inside_, nullptr);
    try {
      for (const Command& command : block->block) {
        if (options_.trace) out_ << scenario_.file << ':' << command.line << ":   " << command.source << '\n';
        Execute(command);
      }
    } catch (...) {
      if (!insideError_) insideError_ = std::current_exception();
    }
  }

  // Identical reports beyond what the queue holds (32, and one more taken by
  // an outstanding read) only push out their own copies: the effect is the same.
  void Send(int count) {
    if (count > 0) driver_->SendReports(report_, std::min(count, kStreamMax + 1));
  }

  // Every cycle counts against a stall, whether or not the plug-in reads in it.
  void PollCycle() {
    if (stalls_ > 0)
      --stalls_;
    else
      Send(stream_);
    driver_->Poll();
  }

  void SetButton(int bit, bool down) {
    const std::uint8_t mask = static_cast<std::uint8_t>(1u << (bit % 8));
    std::uint8_t& byte = report_[static_cast<std::size_t>(bit / 8)];
    byte = static_cast<std::uint8_t>(down ? byte | mask : byte & ~mask);
  }

  void Execute(const Command& command) {
    switch (command.kind) {
      case Kind::Set: {
        std::string error;
        if (!SetProfileFile(profile_.Path(), command.section, command.key, command.text, error))
          throw Failure{"set: the profile file cannot be edited: " + error};
        break;
      }
      case Kind::Profile:
        if (!WriteWholeFile(profile_.Path(), command.text)) throw Failure{"profile: cannot write the profile file"};
        lastProfile_ = command.text;
        break;
      case Kind::ProfileNone: {
        std::error_code ignored;
        fs::remove(profile_.Path(), ignored);
        lastProfile_.reset();
        break;
      }
      case Kind::Pendant: driver_->SetPendantCount(command.number); break;
      case Kind::Start: title_ = driver_->Start(profile_.Path()); break;
      case Kind::Led: host_.SetLed(command.number, command.on); break;
      case Kind::Dro: host_.SetDro(command.number, command.value); break;
      case Kind::Pump: host_.SetPumping(command.on); break;
      case Kind::Press:
      case Kind::Release:
        for (int bit : command.bits) SetButton(bit, command.kind == Kind::Press);
        break;
      case Kind::Raw: std::copy(command.bytes.begin(), command.bytes.end(), report_.begin()); break;
      case Kind::Stream: stream_ = command.number; break;
      case Kind::Send: Send(command.number); break;
      case Kind::Stall: stalls_ += command.number; break;
      case Kind::Unplug: driver_->Unplug(false); break;
      case Kind::UnplugSilent: driver_->Unplug(true); break;
      case Kind::Replug: driver_->Replug(); break;
      case Kind::Plug:
        if (!driver_->Plug())
          throw FileError{std::to_string(command.line) + ": error: plug while the pendant is present"};
        break;
      case Kind::Fail: driver_->SetFailing(command.on); break;
      case Kind::Suspend: driver_->Suspend(); break;
      case Kind::Resume: driver_->Resume(command.on); break;
      case Kind::Inside: inside_ = &command; break;
      case Kind::OtherArrives: driver_->OtherArrives(); break;
      case Kind::OtherLeaves: driver_->OtherLeaves(); break;
      case Kind::Poll:
        for (int i = 0; i < command.number; ++i) PollCycle();
        break;
      case Kind::Tick:
        for (int i = 0; i < command.number; ++i) driver_->Tick();
        break;
      case Kind::Config:
        if (driver_->Config(command.on, command.settings) == ConfigOutcome::Unavailable)
          throw Failure{"config: the configuration dialog is not available"};
        break;
      case Kind::Stop: driver_->Stop(); break;
      default: Check(command); break;
    }
  }

  void Check(const Command& command) {
    switch (command.kind) {
      case Kind::Expect: {
        const std::vector<HostCall> seen = host_.TakeCalls();
        if (seen != command.calls)
          throw Failure{"expected " + FormatCalls(command.calls) + "; got " + FormatCalls(seen)};
        break;
      }
      case Kind::ExpectReport:
      case Kind::ExpectReportNone: {
        const std::optional<OutputReport> written = driver_->TakeLastReport();
        const std::string got = written ? HexBytes(written->data(), written->size()) : "none";
        const std::string expected =
            command.kind == Kind::ExpectReportNone ? "none" : HexBytes(command.bytes.data(), command.bytes.size());
        if (got != expected) throw Failure{"expected report " + expected + "; got " + got};
        break;
      }
      case Kind::ExpectProfile:
      case Kind::ExpectProfileAbsent: {
        const ProfileRead read = ReadProfileFile(profile_.Path(), command.section, command.key);
        const std::string got = !read.wellFormed ? "a profile file that is not well-formed (" + read.error + ")"
                                : read.text      ? QuoteText(*read.text)
                                                 : "absent";
        const std::string expected = command.kind == Kind::ExpectProfileAbsent ? "absent" : QuoteText(command.text);
        if (!read.wellFormed || got != expected)
          throw Failure{"expected " + command.section + " " + command.key + " " + expected + "; got " + got};
        break;
      }
      case Kind::ExpectProfileUnchanged: {
        const std::optional<std::string> now = ReadWholeFile(profile_.Path());
        if (now != lastProfile_)
          throw Failure{"expected the profile file unchanged; got " +
                        (now ? "a changed file: " + QuoteText(*now) : std::string("no file"))};
        break;
      }
      case Kind::ExpectAwake: {
        const AwakeState awake = driver_->TakeAwake();
        const auto describe = [&command](bool held, bool touched) {
          return std::string(held ? "held" : "free") +
                 (command.touch == Command::Touch::Unchecked ? "" : touched ? " touched" : " untouched");
        };
        const bool touchedExpected = command.touch == Command::Touch::Touched;
        if (awake.held != command.on || (command.touch != Command::Touch::Unchecked && awake.touched != touchedExpected))
          throw Failure{"expected awake " + describe(command.on, touchedExpected) + "; got " +
                        describe(awake.held, awake.touched)};
        break;
      }
      case Kind::ExpectTitle:
        if (!title_ || *title_ != command.text)
          throw Failure{"expected title " + QuoteText(command.text) + "; got " +
                        (title_ ? QuoteText(*title_) : std::string("no start yet"))};
        break;
      default:
        break;
    }
  }

  const Scenario& scenario_;
  const RunOptions& options_;
  std::ostream& out_;
  TempProfile profile_;
  ScriptedHost host_;
  std::unique_ptr<PluginDriver> driver_;  // after host_: goes first
  InputReport report_{};  // the pendant's state
  int stream_ = 1;        // reports per poll period
  int stalls_ = 0;        // poll cycles still without a periodic report
  std::optional<std::string> title_;
  std::optional<std::string> lastProfile_;
  int expectations_ = 0;
  const Command* inside_ = nullptr;  // the block waiting for its host call
  std::exception_ptr insideError_;
};

}  // namespace

int RunScenario(const Scenario& scenario, const DriverFactory& factory, const RunOptions& options, std::ostream& out) {
  try {
    return ScenarioRun(scenario, factory, options, out).Run();
  } catch (const std::exception& error) {
    out << "FAIL " << scenario.file << ":1: error: " << error.what() << '\n';
    return 1;
  }
}

int RunScenarioFiles(const std::vector<std::string>& files, const DriverFactory& factory, const RunOptions& options,
                     std::ostream& out, std::ostream& err) {
  bool unreadable = false;
  bool failed = false;
  for (const std::string& file : files) {
    std::string error;
    const std::optional<Scenario> scenario = LoadScenario(file, error);
    if (!scenario) {
      err << error << '\n';
      unreadable = true;
      continue;
    }
    const int status = RunScenario(*scenario, factory, options, out);
    if (status == 2) unreadable = true;
    if (status == 1) failed = true;
    out.flush();
  }
  return unreadable ? 2 : failed ? 1 : 0;
}

}  // namespace quenta::sim
