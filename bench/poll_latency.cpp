// How many polls late a press and a release of a jog button reach the host,
// with pendants that send 1, 5 or 25 reports per poll period or report only
// on change, for the plug-in as built (every queued report each poll) beside
// a one-read-per-poll reading of the same driver queue. 0 means the host call
// comes in the poll that can first see the change. Counts polls, not time, so
// the figures are exact and repeatable.
#include <cstdio>
#include <string>

#include "bench/poll_rig.h"

namespace quenta::bench {
namespace {

constexpr int kWarmUpPolls = 100;  // long enough for a one-read backlog to fill the queue
constexpr int kGiveUpPolls = 200;
constexpr std::uint32_t kJogX = 1u << 10;
constexpr std::uint32_t kStepMode = 1u << 19;

class LatencyRig {
 public:
  LatencyRig(int rate, int reportsPerPoll) : rate_(rate), module_(host_.host, {}, reportsPerPoll) {
    host_.host.SetCallHook([this](sim::HostCallKind kind, int number) {
      if (kind == sim::HostCallKind::DoButton) lastCode_ = number;
    });
    path_ = hid_.AddPendant().path;
    module_.Start("");
  }

  // The pendant's buttons change; an on-change pendant reports it at once.
  void Change(std::uint32_t word) {
    for (int i = 0; i < 4; ++i) report_[i] = static_cast<std::uint8_t>(word >> (8 * i));
    if (rate_ == 0) hid_.Send(path_, report_);
  }
  void Poll() {
    hid_.Send(path_, report_, rate_);
    module_.Timer();
    if (hid_.written.size() > 64) {
      hid_.written.clear();
      host_.DropCalls();
    }
  }
  // Extra polls, after the first that can see the change, until the host gets `code`.
  int PollsUntil(int code) {
    lastCode_ = 0;
    for (int polls = 0; polls < kGiveUpPolls; ++polls) {
      Poll();
      if (lastCode_ == code) return polls;
    }
    return -1;
  }

 private:
  int rate_;
  BenchHost host_;
  int lastCode_ = 0;
  sim::NativeModule module_;
  VirtualHidSystem& hid_ = module_.Hid();
  std::string path_;
  InputReport report_{};
};

struct Latency {
  int press;
  int release;
};

Latency Measure(int rate, int reportsPerPoll) {
  LatencyRig rig(rate, reportsPerPoll);
  rig.Change(kStepMode);  // step jog mode: a press jogs at once
  for (int i = 0; i < kWarmUpPolls; ++i) rig.Poll();
  rig.Change(0);
  for (int i = 0; i < kWarmUpPolls; ++i) rig.Poll();
  rig.Change(kJogX);
  const int press = rig.PollsUntil(307);
  for (int i = 0; i < 5; ++i) rig.Poll();
  rig.Change(0);
  const int release = rig.PollsUntil(334);
  return {press, release};
}

std::string Polls(int n) { return n < 0 ? "never" : std::to_string(n); }

}  // namespace
}  // namespace quenta::bench

int main() {
  using namespace quenta::bench;
  std::printf("| pendant | press, every report per poll | release, every report per poll |"
              " press, one read per poll | release, one read per poll |\n|---|---|---|---|---|\n");
  for (int rate : {1, 5, 25, 0}) {
    const Latency drained = Measure(rate, quenta::kReportsPerPollMax);
    const Latency oneRead = Measure(rate, 1);
    const std::string pendant = rate == 0 ? "on change" : std::to_string(rate) + " per poll";
    std::printf("| %s | %s | %s | %s | %s |\n", pendant.c_str(), Polls(drained.press).c_str(),
                Polls(drained.release).c_str(), Polls(oneRead.press).c_str(), Polls(oneRead.release).c_str());
  }
  return 0;
}
