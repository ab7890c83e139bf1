#include "probe/open_failure_text.h"

namespace quenta::probe {

std::string ExplainOpenFailure(const HidOpenFailure& failure) {
  std::string text;
  switch (failure.error) {
    case HidOpenError::InUse:
      text = "it is in use: another program holds it and shares it with no one. Close the programs that "
             "use the pendant and try again (Travix with this plug-in shares it, so it is not the cause).";
      break;
    case HidOpenError::AccessDenied:
      text = "access denied: Windows does not let this user open it. Run the probe as administrator "
             "(right-click it, Run as administrator); if it is still denied, a security policy blocks the "
             "device: ask whoever looks after this computer.";
      break;
    case HidOpenError::Missing:
      text = "it went away while it was being opened. Check the cable and the USB port.";
      break;
    case HidOpenError::Other:
    case HidOpenError::None:
      text = "Windows refused without saying why. Unplug the pendant, plug it in again and try again.";
      break;
  }
  if (failure.systemCode != 0) text += " (Windows error " + std::to_string(failure.systemCode) + ")";
  return text;
}

}  // namespace quenta::probe
