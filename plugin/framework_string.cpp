#include "plugin/framework_string.h"

#include <cstring>

namespace quenta {

namespace {

StringData* Header(const FrameworkString& str) { return StringData::FromChars(str.chars); }

// The host counts references with interlocked operations, from any of its
// threads; a plain decrement could lose one of its changes.
std::int32_t References(const StringData* data) { return __atomic_load_n(&data->refs, __ATOMIC_ACQUIRE); }
std::int32_t DropReference(StringData* data) { return __atomic_sub_fetch(&data->refs, 1, __ATOMIC_ACQ_REL); }

}  // namespace

void ReleaseFrameworkString(FrameworkString& str) {
  if (str.chars == nullptr) return;
  StringData* data = Header(str);
  str.chars = nullptr;
  if (References(data) < 0) return;  // locked, or the nil string's pinned buffer
  if (DropReference(data) <= 0) data->manager->Free(data);
}

std::string FrameworkStringText(const FrameworkString& str) {
  if (str.chars == nullptr) return {};
  StringData* data = Header(str);
  return std::string(str.chars, static_cast<std::size_t>(data->dataLength > 0 ? data->dataLength : 0));
}

bool AssignFrameworkString(FrameworkString& str, const std::string& text) {
  if (str.chars == nullptr || text.size() > 0x3FFFFFFF) return false;
  const int length = static_cast<int>(text.size());
  StringData* data = Header(str);
  // A locked buffer that is too short is left to its owner, never reallocated.
  if (References(data) > 1 || data->allocLength < length) {
    StringData* fresh = data->manager->Allocate(length, 1);
    if (fresh == nullptr) return false;
    fresh->refs = 1;
    FrameworkString old = str;
    str.chars = fresh->chars();
    ReleaseFrameworkString(old);
    data = fresh;
  }
  std::memcpy(data->chars(), text.data(), text.size());
  data->chars()[length] = '\0';
  data->dataLength = length;
  return true;
}

}  // namespace quenta
