// The host as the control logic and the pendant link speak to it: the five
// callbacks it handed over and its status line, at the host's argument
// widths. The module implements it over the host's real callbacks; each link
// puts its own stop in front of it (see PandrelWin).
#pragma once

#include <cstdint>

namespace quenta {

class HostPort {
 public:
  virtual ~HostPort() = default;
  // DoButton carries only the low 16 bits of a code.
  virtual void DoButton(std::int32_t code) = 0;
  virtual void Code(const char* text) = 0;
  virtual void SetDRO(int dro, double value) = 0;
  virtual void ShowStatus(const char* text) = 0;
  // Questions: see generation.h for what may happen while one is asked.
  virtual bool GetLED(int led) = 0;
  virtual double GetDRO(int dro) = 0;
  // The handler that asked has made its last call for this report.
  virtual void HandlerDone() {}
};

}  // namespace quenta
