// Every HID interface present, with its identity, and which of them are
// pendants, found by the plug-in's own rule: the first pendant in
// enumeration order is the one the plug-in takes.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "device/hid_system.h"

namespace quenta::probe {

struct HidInterface {
  std::string path;
  std::optional<HidAttributes> attributes;  // none when the identity cannot be read
};

struct HidSurvey {
  std::vector<HidInterface> interfaces;  // in enumeration order
  std::vector<std::size_t> pendants;     // positions in interfaces, in the same order

  bool FoundPendant() const { return !pendants.empty(); }
  // The pendant the plug-in takes. Only when one was found.
  const std::string& PendantPath() const { return interfaces[pendants.front()].path; }
};

HidSurvey SurveyHid(HidSystem& hid);

// The interfaces, one a line, the pendants marked.
void PrintSurvey(std::ostream& out, const HidSurvey& survey);
// What to do about a second pendant; nothing when there is one or none.
void WarnOfOtherPendants(std::ostream& out, const HidSurvey& survey);

}  // namespace quenta::probe
