// The number rule of the lists, the profile and the dialog's edit boxes,
// checked against the C library's own reading of a leading decimal.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "profile/leading_integer.h"
#include "config/properties_model.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);  // stops at the first NUL for C
  const quenta::LeadingInteger number = quenta::ParseLeadingInteger(text.c_str());

  // strtoll skips the same white space in the C locale and saturates at its own limits.
  const char* start = text.c_str();
  while (*start == ' ' || (*start >= '\t' && *start <= '\r')) ++start;
  const bool digitFollows = (start[0] >= '0' && start[0] <= '9') ||
                            ((start[0] == '+' || start[0] == '-') && start[1] >= '0' && start[1] <= '9');
  Check(number.found == digitFollows);
  char* end = nullptr;
  errno = 0;
  const long long expected = std::strtoll(text.c_str(), &end, 10);
  const long long clamped = expected < std::numeric_limits<std::int32_t>::min()   ? std::numeric_limits<std::int32_t>::min()
                            : expected > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                                                  : expected;
  Check(number.value == (number.found ? clamped : 0));

  const std::optional<std::int16_t> edit = quenta::ParseEditNumber(text);
  Check(edit.has_value() == number.found);
  if (edit) {
    const std::int32_t limited = number.value < -32768 ? -32768 : number.value > 32767 ? 32767 : number.value;
    Check(*edit == limited);
  }
  return 0;
}
