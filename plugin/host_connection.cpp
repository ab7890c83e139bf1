#include "plugin/host_connection.h"

#include <cstring>

#include "plugin/framework_string.h"

namespace quenta {

void HostConnection::DoButton(std::int32_t code) {
  // DoButton carries only the low 16 bits of a code.
  if (callbacks.DoButton != nullptr) callbacks.DoButton(static_cast<short>(code));
}

void HostConnection::Code(const char* text) {
  if (callbacks.Code != nullptr) callbacks.Code(text);
}

void HostConnection::SetDRO(int dro, double value) {
  if (callbacks.SetDRO != nullptr) callbacks.SetDRO(dro, value);
}

bool HostConnection::GetLED(int led) { return callbacks.GetLED != nullptr && callbacks.GetLED(led); }

double HostConnection::GetDRO(int dro) { return callbacks.GetDRO != nullptr ? callbacks.GetDRO(dro) : 0.0; }

void HostConnection::ShowStatus(const char* text) {
  if (block3 == nullptr) return;
  // At the host's offset the string object is only 4-byte aligned, which a
  // 64-bit pointer does not allow: copy it out and back.
  char* where = static_cast<char*>(block3) + kStatusLineOffset;
  FrameworkString status;
  std::memcpy(&status, where, sizeof status);
  AssignFrameworkString(status, text);
  std::memcpy(where, &status, sizeof status);
}

}  // namespace quenta
