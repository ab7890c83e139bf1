// The one number rule shared by the lists, the profile and the dialog: skip
// leading white space, an optional sign, then decimal digits up to the first
// other character; the rest is ignored.
#pragma once

#include <cstdint>

namespace quenta {

struct LeadingInteger {
  bool found = false;        // at least one digit was there
  std::int32_t value = 0;    // clamped to the signed 32-bit range
};

LeadingInteger ParseLeadingInteger(const char* text);

}  // namespace quenta
