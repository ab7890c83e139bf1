// The host's side of the boundary: the callbacks it handed over, the four
// pointers of InitControl, and its status line, spoken to as a HostPort.
#pragma once

#include "control/host_port.h"
#include "plugin/host_api.h"

namespace quenta {

class HostConnection : public HostPort {
 public:
  HostCallbacks callbacks;
  void* block1 = nullptr;
  void* block2 = nullptr;
  void* block3 = nullptr;
  void* view = nullptr;

  // A callback the host never handed over is never called: a host that calls
  // out of order gets nothing done, and a question answers dark or zero.
  void DoButton(std::int32_t code) override;
  void Code(const char* text) override;
  void SetDRO(int dro, double value) override;
  bool GetLED(int led) override;
  double GetDRO(int dro) override;
  // Replaces the status-line text in HostBlock3; without one it is dropped.
  void ShowStatus(const char* text) override;
};

}  // namespace quenta
