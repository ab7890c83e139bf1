#include "profile/leading_integer.h"

#include <cstdint>
#include <limits>

namespace quenta {

namespace {
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

LeadingInteger ParseLeadingInteger(const char* text) {
  LeadingInteger result;
  if (text == nullptr) return result;
  const char* p = text;
  while (IsSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  // Accumulate in 64 bits and saturate, so a huge number reads as the nearest limit.
  const std::int64_t limit = negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                                      : std::numeric_limits<std::int32_t>::max();
  std::int64_t magnitude = 0;
  for (; IsDigit(*p); ++p) {
    result.found = true;
    if (magnitude <= limit) magnitude = magnitude * 10 + (*p - '0');
  }
  if (magnitude > limit) magnitude = limit;
  result.value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return result;
}

}  // namespace quenta
