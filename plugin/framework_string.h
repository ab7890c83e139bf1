// The host framework's reference-counted narrow string, as it crosses the
// boundary: SetProName receives one by value, and the status line inside
// HostBlock3 is one. Host and plug-in share its layout and its string manager.
#pragma once

#include <cstdint>
#include <string>

namespace quenta {

struct StringData;

// The framework's string manager. The order of the virtual functions is the
// layout the host relies on; do not reorder.
class StringManager {
 public:
  virtual StringData* Allocate(int allocLength, int charSize) = 0;
  virtual void Free(StringData* data) = 0;
  virtual StringData* Reallocate(StringData* data, int allocLength, int charSize) = 0;
  virtual StringData* GetNilString() = 0;
  virtual StringManager* Clone() = 0;

 protected:
  ~StringManager() = default;
};

// The header that sits immediately before the characters.
struct StringData {
  StringManager* manager;
  int dataLength;
  int allocLength;
  std::int32_t refs;  // below zero: locked buffer, never shared or freed by us

  char* chars() { return reinterpret_cast<char*>(this + 1); }
  static StringData* FromChars(char* chars) { return reinterpret_cast<StringData*>(chars) - 1; }
};

// The string object itself: one pointer to the first character. Trivially
// copyable on purpose, so it is passed by value exactly as the host pushes it.
struct FrameworkString {
  char* chars;
};

// Drops one reference; the last one frees the buffer through its own manager.
void ReleaseFrameworkString(FrameworkString& str);
std::string FrameworkStringText(const FrameworkString& str);
// Assigns text in place: a shared or too-small buffer is replaced by a new one
// from the same manager, and the old one released. False when the manager
// could not allocate (the string then keeps its old text).
bool AssignFrameworkString(FrameworkString& str, const std::string& text);

}  // namespace quenta
