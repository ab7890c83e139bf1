#include "probe/hid_survey.h"

#include <cstdio>

#include "device/hid_system.h"

namespace quenta::probe {

namespace {

std::string Identity(const std::optional<HidAttributes>& attributes) {
  if (!attributes) return "????:????";
  char text[16];
  std::snprintf(text, sizeof text, "%04X:%04X", attributes->vendorId, attributes->productId);
  return text;
}

}  // namespace

HidSurvey SurveyHid(HidSystem& hid) {
  HidSurvey survey;
  hid.ForEachInterface(hid.HidClassGuid(), [&](const std::string& path) {
    survey.interfaces.push_back({path, hid.QueryAttributes(path)});
    if (IsPendant(survey.interfaces.back().attributes)) survey.pendants.push_back(survey.interfaces.size() - 1);
    return false;
  });
  return survey;
}

void PrintSurvey(std::ostream& out, const HidSurvey& survey) {
  out << "HID interfaces present: " << survey.interfaces.size() << '\n';
  for (std::size_t i = 0; i < survey.interfaces.size(); ++i) {
    const HidInterface& hid = survey.interfaces[i];
    out << "  " << i + 1 << ". " << Identity(hid.attributes) << "  " << hid.path;
    if (!hid.attributes) out << "  (its identity cannot be read)";
    if (!survey.pendants.empty() && i == survey.pendants.front())
      out << "  <- the pendant" << (survey.pendants.size() > 1 ? ", the one the plug-in takes" : "");
    else if (IsPendant(hid.attributes))
      out << "  <- another pendant, which the plug-in ignores";
    out << '\n';
  }
}

void WarnOfOtherPendants(std::ostream& out, const HidSurvey& survey) {
  if (survey.pendants.size() < 2) return;
  out << survey.pendants.size() << " pendants are plugged in. The plug-in takes only the first one Windows lists,\n"
      << "  " << survey.PendantPath() << "\n"
      << "and this probe reads that one too. Unplug the other";
  out << (survey.pendants.size() > 2 ? "s" : "") << " so that you know which pendant you are using:\n";
  for (std::size_t i = 1; i < survey.pendants.size(); ++i)
    out << "  " << survey.interfaces[survey.pendants[i]].path << '\n';
}

}  // namespace quenta::probe
