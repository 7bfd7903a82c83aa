// Records what the link reports through its callbacks, for both link test suites.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/AccessoryCommunication.h"

namespace tarvo::test {

struct LinkEvent {
  enum Kind { ADDED, OPEN_FAILED, REMOVED, DATA, WRITTEN } kind;
  UsbDeviceSummary device;
  int code = 0;  // error, reason, tag
  int result = 0;
  std::vector<uint8_t> bytes;
};

// Captures what is written to a FILE* (an anonymous temporary file, not open_memstream, whose
// ThreadSanitizer bookkeeping breaks under umockdev's preload). Read it after the writer stopped.
class CapturedStream {
 public:
  CapturedStream() : file_(std::tmpfile()) {}
  ~CapturedStream() {
    if (file_) std::fclose(file_);
  }
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;
  FILE* file() { return file_; }
  std::string text() {
    std::string all;
    if (!file_) return all;
    std::fflush(file_);
    long end = std::ftell(file_);
    std::rewind(file_);
    all.resize(static_cast<size_t>(end > 0 ? end : 0));
    size_t got = std::fread(all.data(), 1, all.size(), file_);
    all.resize(got);
    std::fseek(file_, 0, SEEK_END);
    return all;
  }

 private:
  FILE* file_ = nullptr;
};

class LinkRecorder {
 public:
  // The application's filter minus the model: the accessory's ids (or preapproved).
  std::function<bool(BrenicAccessoryDevice*)> filter = [](BrenicAccessoryDevice* d) {
    return d->matchesAccessory();
  };
  std::function<void(const LinkEvent&)> onEvent;  // runs on the link thread after recording
  std::vector<UsbDeviceSummary> offered;          // every shouldConnect call, in order

  void attach(AccessoryCommunication& link, bool withWriteCompleted = true) {
    link.setConnectionCallbacks(
        [this](AccessoryCommunication*, BrenicAccessoryDevice* d) {
          {
            std::lock_guard<std::mutex> g(m_);
            offered.push_back(d->summary());
          }
          return filter(d);
        },
        [this](AccessoryCommunication*, BrenicAccessoryDevice* d) {
          record({LinkEvent::ADDED, d->summary(), 0, 0, {}});
        },
        [this](AccessoryCommunication*, BrenicAccessoryDevice* d, int error) {
          record({LinkEvent::OPEN_FAILED, d->summary(), error, 0, {}});
        },
        [this](AccessoryCommunication*, BrenicAccessoryDevice* d, int reason) {
          record({LinkEvent::REMOVED, d->summary(), reason, 0, {}});
        });
    AccessoryCommunication::WriteCompleted written;
    if (withWriteCompleted) {
      written = [this](AccessoryCommunication*, BrenicAccessoryDevice* d, int tag, int result) {
        record({LinkEvent::WRITTEN, d->summary(), tag, result, {}});
      };
    }
    link.setDataCallbacks(
        [this](AccessoryCommunication*, BrenicAccessoryDevice* d, const uint8_t* b, int n) {
          record({LinkEvent::DATA, d->summary(), 0, 0, std::vector<uint8_t>(b, b + n)});
        },
        written);
  }

  int count(LinkEvent::Kind kind) {
    std::lock_guard<std::mutex> g(m_);
    int n = 0;
    for (const auto& e : events_) n += (e.kind == kind);
    return n;
  }
  std::vector<LinkEvent> events() {
    std::lock_guard<std::mutex> g(m_);
    return events_;
  }
  std::vector<UsbDeviceSummary> offers() {
    std::lock_guard<std::mutex> g(m_);
    return offered;
  }
  // All DATA bytes so far, concatenated.
  std::vector<uint8_t> received() {
    std::lock_guard<std::mutex> g(m_);
    std::vector<uint8_t> all;
    for (const auto& e : events_) {
      if (e.kind == LinkEvent::DATA) all.insert(all.end(), e.bytes.begin(), e.bytes.end());
    }
    return all;
  }

  // Waits until `kind` has been reported `n` times; false on time-out.
  bool waitFor(LinkEvent::Kind kind, int n,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, timeout, [&] {
      int c = 0;
      for (const auto& e : events_) c += (e.kind == kind);
      return c >= n;
    });
  }
  bool waitUntil(const std::function<bool()>& pred,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (pred()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
  }

 private:
  void record(LinkEvent e) {
    {
      std::lock_guard<std::mutex> g(m_);
      events_.push_back(e);
    }
    cv_.notify_all();
    if (onEvent) onEvent(e);
  }

  std::mutex m_;
  std::condition_variable cv_;
  std::vector<LinkEvent> events_;
};

inline std::unique_ptr<uint8_t[]> bufferOf(const std::vector<uint8_t>& bytes) {
  auto p = std::make_unique<uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), p.get());
  return p;
}

}  // namespace tarvo::test
