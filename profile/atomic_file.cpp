#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "profile/atomic_file.h"

namespace quenta {

namespace {
std::uint64_t Mix(std::uint64_t state, std::uint64_t word) {
  state = (state ^ word) * 0x9E3779B97F4A7C15u;
  return state ^ (state >> 32);
}
}  // namespace

std::uint32_t ComputerTagOf(const std::string& name) {
  std::uint32_t tag = 2166136261u;
  for (const char c : name) {
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    tag = (tag ^ static_cast<unsigned char>(lower)) * 16777619u;
  }
  return tag;
}

bool operator==(const FileSnapshot& a, const FileSnapshot& b) {
  return a.state == b.state && a.size == b.size && a.modified == b.modified && a.hash == b.hash;
}

std::string TempPathFor(const std::string& profile, std::uint32_t process, std::uint32_t save) {
  char computer[9];
  std::snprintf(computer, sizeof computer, "%08x", static_cast<unsigned>(CurrentComputerTag()));
  return TempPrefixFor(profile) + std::to_string(process) + "-" + std::to_string(save) + "-" + computer + ".tmp";
}

std::string TempPrefixFor(const std::string& profile) { return profile + ".quenta-save."; }

bool ParseTempTail(const std::string& tail, TempFile& temp) {
  temp.process = 0;
  temp.otherComputer = false;
  if (tail == "tmp") return true;
  const std::size_t dot = tail.find('.');
  if (dot == std::string::npos || tail.compare(dot, std::string::npos, ".tmp") != 0) return false;
  // Up to three fields: process, save and, from this version on, the computer.
  std::size_t from = 0;
  std::string fields[3];
  int count = 0;
  for (; count < 3 && from <= dot; ++count) {
    const std::size_t dash = std::min(tail.find('-', from), dot);
    fields[count] = tail.substr(from, dash - from);
    from = dash + 1;
  }
  const auto digits = [](const std::string& field, const char* allowed, std::size_t most) {
    return !field.empty() && field.size() <= most && field.find_first_not_of(allowed) == std::string::npos;
  };
  if (from <= dot || count < 2 || !digits(fields[0], "0123456789", 10) || !digits(fields[1], "0123456789", 10) ||
      (count == 3 && (fields[2].size() != 8 || !digits(fields[2], "0123456789abcdef", 8))))
    return false;
  const unsigned long long id = std::stoull(fields[0]);
  if (id > 0xFFFFFFFFu) return false;
  temp.process = static_cast<std::uint32_t>(id);
  temp.otherComputer = count == 3 && std::stoul(fields[2], nullptr, 16) != CurrentComputerTag();
  return true;
}

void ByteHash::Add(const char* data, std::size_t size) {
  total_ += size;
  while (size > 0) {
    if (pendingSize_ == 0) {
      for (; size >= 8; data += 8, size -= 8) {
        std::uint64_t word;
        std::memcpy(&word, data, 8);
        state_ = Mix(state_, word);
      }
      if (size == 0) break;
    }
    const std::size_t take = size < 8 - pendingSize_ ? size : 8 - pendingSize_;
    std::memcpy(pending_ + pendingSize_, data, take);
    pendingSize_ += take;
    data += take;
    size -= take;
    if (pendingSize_ == 8) {
      std::uint64_t word;
      std::memcpy(&word, pending_, 8);
      state_ = Mix(state_, word);
      pendingSize_ = 0;
    }
  }
}

std::uint64_t ByteHash::Value() const {
  std::uint64_t word = 0;
  std::memcpy(&word, pending_, pendingSize_);
  return Mix(Mix(state_, word), total_);
}

}  // namespace quenta
