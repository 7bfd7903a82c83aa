// Hand-assembled accessory frames for the decoder tests: a byte buffer written field by field
// at the offsets of the wire format, and a screen-log sink that keeps every posted line.
#pragma once

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/AnalyzerModel.h"

namespace tarvo::test {

struct Frame {
  std::vector<uint8_t> bytes;

  explicit Frame(size_t length, std::initializer_list<uint8_t> head = {}) : bytes(length, 0) {
    size_t i = 0;
    for (uint8_t b : head) bytes.at(i++) = b;
  }
  Frame& u8(size_t offset, uint8_t v) {
    bytes.at(offset) = v;
    return *this;
  }
  // Literal bytes at an offset (how the wire shows them).
  Frame& raw(size_t offset, std::initializer_list<uint8_t> values) {
    for (uint8_t b : values) bytes.at(offset++) = b;
    return *this;
  }
  Frame& u16be(size_t offset, uint16_t v) { return raw(offset, {uint8_t(v >> 8), uint8_t(v)}); }
  Frame& u32be(size_t offset, uint32_t v) {
    return raw(offset, {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
  }
  Frame& f32be(size_t offset, float v) { return u32be(offset, std::bit_cast<uint32_t>(v)); }

  const uint8_t* data() const { return bytes.data(); }
  int size() const { return static_cast<int>(bytes.size()); }
};

struct CapturedScreenLog : ScreenLogSink {
  std::vector<std::string> lines;
  void post(const char* text) override { lines.emplace_back(text); }
};

}  // namespace tarvo::test
