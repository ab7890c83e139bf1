// Bytes as a whole pendant session: raw input reports streamed at any rate or
// sent on change, polls, ticks, stalls, unplug with or without notice,
// replug, failing links, host calls that run a message loop of their own,
// StopPlug, LED and DRO values, settings and device-change records of any
// content, all into the real link and control logic with the scripted host.
// Besides crashes and sanitizer findings it looks for handles left open, a
// status-line string freed wrongly and breaches of the jog-safety rules of
// tests/support/jog_session.h.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "tests/support/jog_session.h"

namespace {

using quenta::fuzz::FuzzInput;
using quenta::jog_session::Action;
using quenta::jog_session::Kind;

const int kLeds[] = {14, 15, 57, 800, 804, 805};
const int kDros[] = {3, 828, 821, 74};
constexpr int kNumberSettings = 13;  // then three reverse flags
constexpr std::uint8_t kFirstLaterStep = 224;  // steps added later: bytes below keep their old meaning

Action Decode(FuzzInput& in) {
  const std::uint8_t op = in.Byte();
  if (op >= kFirstLaterStep) {
    switch (op % 4) {
      case 0: return {Kind::Inside, in.Byte() % 5, static_cast<double>(in.Byte() % 6 + 1)};
      case 1: return {Kind::Fail, 0, static_cast<double>(in.Byte() & 1)};
      case 2: return {Kind::Stop};
      default: return {in.Byte() & 1 ? Kind::Plug : Kind::OtherArrives};
    }
  }
  switch (op % 14) {
    case 0: {
      Action raw{Kind::Raw};
      for (int i = 0; i < 8; ++i) raw.bytes.push_back(in.Byte());
      return raw;
    }
    case 1:
    case 2: return {Kind::Poll, in.Byte() % 4 + 1};
    case 3: return {Kind::Ticks, in.Byte() % 32};
    case 4: return {Kind::Stall, in.Byte() % 4};
    case 5: return {Kind::Send, in.Byte() % 40};
    case 6:
    case 12: return {in.Byte() & 1 ? Kind::Unplug : Kind::UnplugSilent};
    case 7: return {Kind::Replug};
    case 8: return {Kind::Led, kLeds[in.Byte() % 6], static_cast<double>(in.Byte() & 1)};
    case 9: {
      const int dro = kDros[in.Byte() % 4];
      return {Kind::Dro, dro, in.Double()};
    }
    case 10: {
      const std::uint8_t which = in.Byte();
      if (which < kNumberSettings * 16) return {Kind::Setting, which % kNumberSettings, static_cast<double>(static_cast<std::int16_t>(in.Word()))};
      return {Kind::Setting, kNumberSettings + which % 3, static_cast<double>(in.Byte() & 1)};
    }
    case 11: {
      Action record{Kind::Broadcast};
      record.bytes.resize(in.Byte() % 64 + 4);
      for (std::uint8_t& byte : record.bytes) byte = in.Byte();
      record.a = in.Byte() & 1;
      return record;
    }
    default: return {Kind::Rate, in.Byte() % 33};
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  std::vector<Action> actions;
  while (!in.Empty() && actions.size() < 4096) actions.push_back(Decode(in));
  const quenta::jog_session::Outcome outcome = quenta::jog_session::RunSession(actions, 1);
  if (outcome.breach || outcome.leaks) {
    // A breach is shown shrunk, as the property test shows it: the fewest steps that still break the rule.
    if (outcome.breach) actions = quenta::jog_session::Shrink(actions, 1);
    const auto shown = quenta::jog_session::RunSession(actions, 1).breach;
    std::fprintf(stderr, "%s\n%s", shown ? shown->c_str() : "handles or host strings leaked",
                 quenta::jog_session::Describe(actions).c_str());
    std::abort();
  }
  return 0;
}
