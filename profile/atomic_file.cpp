#include <cstring>

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

std::string TempPathFor(const std::string& path) { return path + ".quenta-save.tmp"; }

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
