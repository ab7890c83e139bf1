#include "sim/host_call.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
  char text[64];
  int precision = 1;
  for (; precision <= 17; ++precision) {
    std::snprintf(text, sizeof text, "%.*e", precision - 1, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  const char* exponentMark = std::strchr(text, 'e');
  if (precision > 17 || exponentMark == nullptr) return text;  // not a number, or infinite
  // Those digits in plain notation where that stays short (250, not 2.5e+02).
  const int exponent = std::atoi(exponentMark + 1);
  if (exponent < -6 || exponent > 20) {
    std::snprintf(text, sizeof text, "%.*g", precision, value);
    return text;
  }
  std::snprintf(text, sizeof text, "%.*f", std::max(0, precision - 1 - exponent), value);
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
