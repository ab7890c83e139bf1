// One call the plug-in made into the host, in the words of the scenario
// language, so that expected and recorded calls compare and print alike.
#pragma once

#include <string>
#include <vector>

namespace quenta::sim {

struct HostCall {
  enum class Kind { DoButton, SetDRO, Code, Status, Message };
  Kind kind = Kind::DoButton;
  int number = 0;     // DoButton: the code; SetDRO: the DRO
  double value = 0;   // SetDRO
  std::string text;   // Code, Status, Message

  static HostCall DoButton(int code) { return {Kind::DoButton, code, 0, {}}; }
  static HostCall SetDRO(int dro, double v) { return {Kind::SetDRO, dro, v, {}}; }
  static HostCall Code(std::string t) { return {Kind::Code, 0, 0, std::move(t)}; }
  static HostCall Status(std::string t) { return {Kind::Status, 0, 0, std::move(t)}; }
  static HostCall Message(std::string t) { return {Kind::Message, 0, 0, std::move(t)}; }
};

// The host callbacks the plug-in calls, reads included: what an `inside`
// block waits for.
enum class HostCallKind { DoButton, Code, SetDRO, GetLED, GetDRO };

// DRO values compare as doubles, exactly.
bool operator==(const HostCall& a, const HostCall& b);
inline bool operator!=(const HostCall& a, const HostCall& b) { return !(a == b); }

// "DoButton 205", "SetDRO 821 110.00000000000001", "Code \"M12\"".
std::string FormatCall(const HostCall& call);
// Calls joined by "; ", or "nothing".
std::string FormatCalls(const std::vector<HostCall>& calls);
// The shortest decimal that reads back as the same double.
std::string FormatDouble(double value);
// Quoted, with " and \ escaped as the language reads them back.
std::string QuoteText(const std::string& text);

}  // namespace quenta::sim
