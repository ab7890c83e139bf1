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

bool operator==(const FileSnapshot& a, const FileSnapshot& b) {
  return a.state == b.state && a.size == b.size && a.modified == b.modified && a.hash == b.hash;
}

std::string TempPathFor(const std::string& profile, std::uint32_t process, std::uint32_t save) {
  return TempPrefixFor(profile) + std::to_string(process) + "-" + std::to_string(save) + ".tmp";
}

std::string TempPrefixFor(const std::string& profile) { return profile + ".quenta-save."; }

bool ParseTempTail(const std::string& tail, std::uint32_t& process) {
  process = 0;
  if (tail == "tmp") return true;
  const std::size_t dash = tail.find('-');
  const std::size_t dot = tail.find('.');
  const auto digits = [&](std::size_t from, std::size_t to) {
    return to > from && to - from <= 10 && tail.find_first_not_of("0123456789", from) == to;
  };
  if (dash == std::string::npos || dot == std::string::npos || tail.compare(dot, std::string::npos, ".tmp") != 0 ||
      !digits(0, dash) || !digits(dash + 1, dot))
    return false;
  const unsigned long long id = std::stoull(tail.substr(0, dash));
  if (id > 0xFFFFFFFFu) return false;
  process = static_cast<std::uint32_t>(id);
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
