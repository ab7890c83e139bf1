#include "sim/scenario_words.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace quenta::sim {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the run of digits starting at `at`.
std::size_t Digits(const std::string& word, std::size_t at) {
  std::size_t end = at;
  while (end < word.size() && IsDigit(word[end])) ++end;
  return end - at;
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void Fail(const std::string& message) { throw ScenarioSyntaxError{message}; }

int ParseIntWord(const std::string& word, int min, int max, const char* what) {
  const std::size_t start = !word.empty() && word[0] == '-' ? 1 : 0;
  const std::size_t digits = Digits(word, start);
  if (digits == 0 || start + digits != word.size()) Fail(std::string("bad ") + what + " '" + word + "'");
  long long value = 0;
  for (std::size_t i = start; i < word.size(); ++i) {
    value = value * 10 + (word[i] - '0');
    if (value > 1LL << 40) break;  // far outside every range we accept
  }
  if (start == 1) value = -value;
  if (value < min || value > max)
    Fail(std::string(what) + " '" + word + "' is out of range " + std::to_string(min) + " to " + std::to_string(max));
  return static_cast<int>(value);
}

void CheckIntegerText(const std::string& word) {
  const std::size_t start = !word.empty() && (word[0] == '-' || word[0] == '+') ? 1 : 0;
  const std::size_t digits = Digits(word, start);
  if (digits == 0 || start + digits != word.size()) Fail("bad integer '" + word + "'");
}

std::uint8_t ParseHexByte(const std::string& word) {
  if (word.size() != 2 || HexValue(word[0]) < 0 || HexValue(word[1]) < 0)
    Fail("bad report byte '" + word + "' (two hex digits)");
  return static_cast<std::uint8_t>(HexValue(word[0]) * 16 + HexValue(word[1]));
}

double ParseDroValue(const std::string& word) {
  std::size_t at = !word.empty() && word[0] == '-' ? 1 : 0;
  const std::size_t whole = Digits(word, at);
  at += whole;
  std::size_t fraction = 0;
  if (at < word.size() && word[at] == '.') {
    fraction = Digits(word, at + 1);
    at += 1 + fraction;
  }
  bool valid = whole + fraction > 0;
  if (valid && at < word.size() && (word[at] == 'e' || word[at] == 'E')) {
    std::size_t exponent = at + 1;
    if (exponent < word.size() && (word[exponent] == '+' || word[exponent] == '-')) ++exponent;
    const std::size_t digits = Digits(word, exponent);
    valid = digits > 0;
    at = exponent + digits;
  }
  if (!valid || at != word.size()) Fail("bad number '" + word + "'");
  const double value = std::strtod(word.c_str(), nullptr);
  if (!std::isfinite(value)) Fail("number '" + word + "' is too large");
  return value;
}

DialogControl DialogControlKind(int controlId) {
  switch (controlId) {
    case 4162: case 4163: case 4164: case 4165: case 4166: case 4167: case 4168: case 4185:
      return DialogControl::Edit;
    case 4040: case 4041: case 4032: case 4033: case 4034:
      return DialogControl::List;
    case 4245: case 4246: case 4247:
      return DialogControl::Check;
    default:
      return DialogControl::None;
  }
}

}  // namespace quenta::sim
