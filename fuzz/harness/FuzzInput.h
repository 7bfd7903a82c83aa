// FuzzInput: reads typed values off the front of a fuzzer's input.
//
// Every read succeeds: past the end it yields zeros (and empty byte runs), so a harness never
// has to check for exhaustion between fields, and an input cut short anywhere is still a valid
// input. Multi-byte values are little-endian.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tarvo::fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

  bool empty() const { return pos_ >= size_; }
  size_t remaining() const { return size_ - pos_; }

  uint8_t u8() { return empty() ? 0 : data_[pos_++]; }
  uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(u8()) << (8 * i);
    return v;
  }
  int64_t i64() {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(u8()) << (8 * i);
    return static_cast<int64_t>(v);
  }
  float f32() {
    const uint32_t bits = u32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
  // Up to n bytes (fewer when the input ends first).
  std::vector<uint8_t> bytes(size_t n) {
    n = std::min(n, remaining());
    std::vector<uint8_t> out(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    return out;
  }
  std::vector<uint8_t> rest() { return bytes(remaining()); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Builds inputs in the same format (seed corpora, regression inputs).
class FuzzInputWriter {
 public:
  FuzzInputWriter& u8(uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  FuzzInputWriter& u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
  FuzzInputWriter& u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  FuzzInputWriter& i64(int64_t v) {
    for (int i = 0; i < 8; ++i) u8(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
    return *this;
  }
  FuzzInputWriter& f32(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return u32(bits);
  }
  FuzzInputWriter& append(const std::vector<uint8_t>& b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace tarvo::fuzz
