#include "tests/unit/recording_host.h"

#include <sstream>

namespace quenta::testing_support {

namespace {
RecordingHost* current = nullptr;

void DoButton(short code) { current->calls.push_back("DoButton " + std::to_string(code)); }
void SetDRO(int code, double value) {
  std::ostringstream text;
  text.precision(17);
  text << "SetDRO " << code << ' ' << value;
  current->calls.push_back(text.str());
  current->dros[code] = value;
}
double GetDRO(int code) { return current->dros[code]; }
bool GetLED(int code) {
  ++current->ledReads;
  return current->leds[code];
}
void SetLED(int, bool) { current->calls.push_back("SetLED"); }
void Code(const char* text) { current->calls.push_back(std::string("Code ") + text); }
}  // namespace

void RecordingHost::Install() {
  ResetModuleState();
  current = this;
  Host.DoButton = DoButton;
  Host.SetDRO = SetDRO;
  Host.GetDRO = GetDRO;
  Host.GetLED = GetLED;
  Host.SetLED = SetLED;
  Host.Code = Code;
}

std::vector<std::string> RecordingHost::Take() {
  std::vector<std::string> taken;
  taken.swap(calls);
  return taken;
}

}  // namespace quenta::testing_support
