#include "sim/counting_string_manager.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace quenta::sim {

CountingStringManager::CountingStringManager() {
  static_assert(offsetof(NilBuffer, chars) == sizeof(StringData), "nil characters must follow the header");
  nil_.header.manager = this;
  nil_.header.refs = 2;  // shared for ever: writers must copy, and nobody frees it
}

CountingStringManager::~CountingStringManager() {
  for (StringData* data : live_) std::free(data);
}

bool CountingStringManager::Owns(const StringData* data) const {
  return std::find(live_.begin(), live_.end(), data) != live_.end();
}

StringData* CountingStringManager::Allocate(int allocLength, int charSize) {
  if (allocLength < 0 || charSize != 1 || allocLength > 0x3FFFFFFF) return nullptr;
  if (onAllocate) onAllocate();
  void* memory = std::calloc(1, sizeof(StringData) + static_cast<std::size_t>(allocLength) + 1);
  if (memory == nullptr) return nullptr;
  auto* data = new (memory) StringData{this, 0, allocLength, 1};
  live_.push_back(data);
  ++allocations;
  return data;
}

void CountingStringManager::Free(StringData* data) {
  if (!Owns(data)) {
    ++badFrees;
    return;
  }
  live_.erase(std::find(live_.begin(), live_.end(), data));
  ++frees;
  std::free(data);
}

StringData* CountingStringManager::Reallocate(StringData* data, int allocLength, int charSize) {
  if (!Owns(data) || allocLength < data->dataLength) return nullptr;
  StringData* fresh = Allocate(allocLength, charSize);
  if (fresh == nullptr) return nullptr;
  std::memcpy(fresh->chars(), data->chars(), static_cast<std::size_t>(data->dataLength) + 1);
  fresh->dataLength = data->dataLength;
  fresh->refs = data->refs;
  Free(data);
  return fresh;
}

StringData* CountingStringManager::GetNilString() {
  nil_.header.refs = 2;
  return &nil_.header;
}

FrameworkString CountingStringManager::Make(const std::string& text) {
  const std::function<void()> hook = std::move(onAllocate);
  onAllocate = nullptr;
  StringData* data = Allocate(static_cast<int>(text.size()), 1);
  onAllocate = hook;
  if (data == nullptr) throw std::bad_alloc();
  std::memcpy(data->chars(), text.c_str(), text.size() + 1);
  data->dataLength = static_cast<int>(text.size());
  return FrameworkString{data->chars()};
}

}  // namespace quenta::sim
