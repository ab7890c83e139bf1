#include "sim/host_call.h"

#include <cstdio>
#include <cstdlib>

namespace quenta::sim {

bool operator==(const HostCall& a, const HostCall& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case HostCall::Kind::DoButton: return a.number == b.number;
    case HostCall::Kind::SetDRO: return a.number == b.number && a.value == b.value;
    default: return a.text == b.text;
  }
}

std::string FormatDouble(double value) {
  char text[40];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(text, sizeof text, "%.*g", precision, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

std::string QuoteText(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

std::string FormatCall(const HostCall& call) {
  switch (call.kind) {
    case HostCall::Kind::DoButton: return "DoButton " + std::to_string(call.number);
    case HostCall::Kind::SetDRO: return "SetDRO " + std::to_string(call.number) + " " + FormatDouble(call.value);
    case HostCall::Kind::Code: return "Code " + QuoteText(call.text);
    case HostCall::Kind::Status: return "Status " + QuoteText(call.text);
    case HostCall::Kind::Message: return "Message " + QuoteText(call.text);
  }
  return {};
}

std::string FormatCalls(const std::vector<HostCall>& calls) {
  if (calls.empty()) return "nothing";
  std::string joined;
  for (const HostCall& call : calls) {
    if (!joined.empty()) joined += "; ";
    joined += FormatCall(call);
  }
  return joined;
}

}  // namespace quenta::sim
