// Reads a fuzzer's bytes as a stream of small values; past the end every read
// yields zero, so any input is a complete program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace quenta::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
  double Double() {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(Byte()) << (8 * i);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // Up to maxLength bytes, as they come.
  std::string Text(std::size_t maxLength) {
    const std::size_t length = Byte() % (maxLength + 1);
    std::string text;
    for (std::size_t i = 0; i < length && !Empty(); ++i) text += static_cast<char>(Byte());
    return text;
  }
  std::string Rest() {
    std::string rest(reinterpret_cast<const char*>(data_) + (pos_ < size_ ? pos_ : size_), size_ - (pos_ < size_ ? pos_ : size_));
    pos_ = size_;
    return rest;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace quenta::fuzz
