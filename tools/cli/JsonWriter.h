// A small streaming JSON writer for the tools' summaries: commas and nesting are tracked, strings
// are escaped (control characters and bytes above 0x7E as \u00XX, so any byte string yields
// valid JSON), and numbers that are not finite are written as null.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace tarvo::cli {

class JsonWriter {
 public:
  JsonWriter& beginObject() { return open('{'); }
  JsonWriter& endObject() { return close('}'); }
  JsonWriter& beginArray() { return open('['); }
  JsonWriter& endArray() { return close(']'); }

  // An object member's name; the next value call writes its value.
  JsonWriter& key(const std::string& name) {
    separate();
    quote(name);
    out_ += ':';
    afterKey_ = true;
    return *this;
  }
  JsonWriter& string(const std::string& value) {
    separate();
    quote(value);
    return *this;
  }
  JsonWriter& number(double value) {
    separate();
    if (!std::isfinite(value)) {
      out_ += "null";
      return *this;
    }
    char buf[40];
    // %.9g keeps every float exactly; the C locale is in force in the tools (no setlocale).
    std::snprintf(buf, sizeof buf, "%.9g", value);
    out_ += buf;
    return *this;
  }
  // Exact for every 64-bit integer (times in milliseconds, counts).
  JsonWriter& integer(long long value) {
    separate();
    out_ += std::to_string(value);
    return *this;
  }
  JsonWriter& boolean(bool value) {
    separate();
    out_ += value ? "true" : "false";
    return *this;
  }
  JsonWriter& null() {
    separate();
    out_ += "null";
    return *this;
  }

  const std::string& text() const { return out_; }

 private:
  JsonWriter& open(char c) {
    separate();
    out_ += c;
    first_.push_back(true);
    return *this;
  }
  JsonWriter& close(char c) {
    out_ += c;
    if (!first_.empty()) first_.pop_back();
    return *this;
  }
  void separate() {
    if (afterKey_) {
      afterKey_ = false;
      return;
    }
    if (first_.empty()) return;
    if (!first_.back()) out_ += ',';
    first_.back() = false;
  }
  void quote(const std::string& s) {
    out_ += '"';
    for (unsigned char c : s) {
      switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        default:
          if (c < 0x20 || c > 0x7E) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out_ += buf;
          } else {
            out_ += static_cast<char>(c);
          }
      }
    }
    out_ += '"';
  }

  std::string out_;
  std::vector<bool> first_;  // per open container: nothing written in it yet
  bool afterKey_ = false;
};

}  // namespace tarvo::cli
