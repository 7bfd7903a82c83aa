// Relaxed<T>: a settings field shared between threads without a lock.
//
// Settings records are persisted as byte images, so a field must keep exactly the size,
// alignment and offset of a plain T. Relaxed<T> holds a plain T and routes every read and
// write through std::atomic_ref with relaxed ordering: each field is read and written whole,
// and no consistency across several fields is promised. Whole-record copies (persistence)
// go through copyRecordRelaxed, which copies byte by byte atomically, so they never race with
// a field access on another thread either.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace tarvo {

template <class T>
struct Relaxed {
  static_assert(std::is_trivially_copyable_v<T>);
  T raw{};

  Relaxed() = default;
  constexpr Relaxed(T v) : raw(v) {}  // NOLINT(google-explicit-constructor)
  Relaxed(const Relaxed& o) : raw(o.load()) {}
  Relaxed& operator=(const Relaxed& o) {
    store(o.load());
    return *this;
  }

  T load() const { return std::atomic_ref<T>(const_cast<T&>(raw)).load(std::memory_order_relaxed); }
  void store(T v) { std::atomic_ref<T>(raw).store(v, std::memory_order_relaxed); }

  operator T() const { return load(); }  // NOLINT(google-explicit-constructor)
  Relaxed& operator=(T v) {
    store(v);
    return *this;
  }
};

static_assert(sizeof(Relaxed<float>) == 4 && alignof(Relaxed<float>) == 4);
static_assert(sizeof(Relaxed<uint8_t>) == 1 && alignof(Relaxed<uint8_t>) == 1);
static_assert(sizeof(Relaxed<int32_t>) == 4 && alignof(Relaxed<int32_t>) == 4);
static_assert(std::is_standard_layout_v<Relaxed<float>>);

// Copies n bytes from src to dst with relaxed atomic accesses: whole aligned 32-bit words where
// both sides allow it, single bytes otherwise. Every settings field is at most four bytes wide
// and naturally aligned, so it always lies inside one word and a copy never tears a field.
inline void copyBytesRelaxed(void* dst, const void* src, size_t n) {
  auto* d = static_cast<uint8_t*>(dst);
  auto* s = static_cast<uint8_t*>(const_cast<void*>(src));
  size_t i = 0;
  if (reinterpret_cast<uintptr_t>(d) % 4 == 0 && reinterpret_cast<uintptr_t>(s) % 4 == 0) {
    for (; i + 4 <= n; i += 4) {
      auto& from = *reinterpret_cast<uint32_t*>(s + i);
      auto& to = *reinterpret_cast<uint32_t*>(d + i);
      std::atomic_ref<uint32_t>(to).store(std::atomic_ref<uint32_t>(from).load(std::memory_order_relaxed),
                                          std::memory_order_relaxed);
    }
  }
  for (; i < n; ++i)
    std::atomic_ref<uint8_t>(d[i]).store(std::atomic_ref<uint8_t>(s[i]).load(std::memory_order_relaxed),
                                         std::memory_order_relaxed);
}

// A settings record to or from its stored byte image.
// Byte buffers passed here should be 4-byte aligned (alignas(4)) so fields copy whole.
template <class Record>
void recordToBytes(const Record& r, uint8_t* out) {
  copyBytesRelaxed(out, &r, sizeof(Record));
}
template <class Record>
void recordFromBytes(Record& r, const uint8_t* in) {
  copyBytesRelaxed(&r, in, sizeof(Record));
}

}  // namespace tarvo
