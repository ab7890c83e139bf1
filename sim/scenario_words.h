// The word forms of the scenario language: integers, DRO values, report
// bytes, and the dialog's control ids. Each check throws ScenarioSyntaxError.
#pragma once

#include <climits>
#include <cstdint>
#include <string>

namespace quenta::sim {

struct ScenarioSyntaxError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& message);

constexpr int kMaxRepeat = 10000000;  // poll, tick, stall, send: bounded so a typo cannot hang a run
constexpr int kStreamMax = 32;        // reports per poll period: the driver's whole queue
constexpr int kMinCode = INT_MIN;
constexpr int kMaxCode = INT_MAX;

// Decimal, an optional leading '-', within [min, max]; `what` names it in the message.
int ParseIntWord(const std::string& word, int min, int max, const char* what);
// Any decimal integer text (optional sign, digits), of any size.
void CheckIntegerText(const std::string& word);
// Two hex digits.
std::uint8_t ParseHexByte(const std::string& word);
// A finite decimal with optional fraction and exponent, read exactly as strtod reads it.
double ParseDroValue(const std::string& word);

enum class DialogControl { None, Edit, List, Check };
DialogControl DialogControlKind(int controlId);

}  // namespace quenta::sim
