// A host-side string manager for the framework strings the test hands to the
// plug-in. It counts allocations and frees, so a test can prove that the
// plug-in releases what it takes exactly once.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

#include "plugin/framework_string.h"

namespace quenta::wine {

class CountingStringManager : public StringManager {
 public:
  StringData* Allocate(int allocLength, int charSize) override {
    auto* data = static_cast<StringData*>(std::calloc(1, sizeof(StringData) + (allocLength + 1) * charSize));
    if (data == nullptr) return nullptr;
    data->manager = this;
    data->allocLength = allocLength;
    data->refs = 1;
    ++allocations;
    return data;
  }
  void Free(StringData* data) override {
    ++frees;
    std::free(data);
  }
  StringData* Reallocate(StringData* data, int allocLength, int charSize) override {
    auto* grown = static_cast<StringData*>(std::realloc(data, sizeof(StringData) + (allocLength + 1) * charSize));
    if (grown != nullptr) grown->allocLength = allocLength;
    return grown;
  }
  StringData* GetNilString() override { return &nil_.data; }
  StringManager* Clone() override { return this; }

  FrameworkString Make(const std::string& text) {
    StringData* data = Allocate(static_cast<int>(text.size()), 1);
    data->dataLength = static_cast<int>(text.size());
    std::memcpy(data->chars(), text.c_str(), text.size() + 1);
    return FrameworkString{data->chars()};
  }

  int allocations = 0;
  int frees = 0;

 private:
  struct Nil {
    StringData data{nullptr, 0, 0, 2};
    char terminator = '\0';
  } nil_;
};

}  // namespace quenta::wine
