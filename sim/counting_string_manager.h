// The host's side of the framework string, for every test host (unit tests,
// the scripted host, the Wine harness): a string manager that allocates from
// the heap and counts what it hands out and takes back, so a test can prove
// that the plug-in releases what it takes exactly once.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "plugin/framework_string.h"

namespace quenta::sim {

class CountingStringManager : public StringManager {
 public:
  CountingStringManager();
  ~CountingStringManager();
  CountingStringManager(const CountingStringManager&) = delete;
  CountingStringManager& operator=(const CountingStringManager&) = delete;

  StringData* Allocate(int allocLength, int charSize) override;
  void Free(StringData* data) override;
  StringData* Reallocate(StringData* data, int allocLength, int charSize) override;
  StringData* GetNilString() override;
  StringManager* Clone() override { return this; }

  // A new string holding text, one reference.
  FrameworkString Make(const std::string& text);

  int allocations = 0;
  int frees = 0;
  int badFrees = 0;  // the nil string, or a buffer this manager does not own
  int Live() const { return allocations - frees; }
  // Runs before each allocation the plug-in asks for.
  std::function<void()> onAllocate;

 private:
  bool Owns(const StringData* data) const;
  struct NilBuffer {
    StringData header;
    char chars[8];  // the characters follow the header directly
  };
  std::vector<StringData*> live_;
  NilBuffer nil_{};
};

}  // namespace quenta::sim
