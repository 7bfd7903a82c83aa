// Reference counting for engine objects.
//
// Every Ref starts with one reference owned by its creator. `create()` functions hand that
// reference to the autorelease pool, which drops it at the end of the frame: whatever is not
// retained by then (added to a parent, held in a RefPtr, retained by hand) is destroyed. A
// parent retains its children and releases them when they are removed. A bare pointer always
// means borrowed.
#pragma once

#include <cassert>
#include <cstddef>
#include <utility>
#include <vector>

namespace eng {

class Ref {
 public:
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;

  void retain() { assert(refs_ > 0 && "retain of a destroyed object"); ++refs_; }
  // Drops one reference; the object is destroyed when none is left.
  void release();
  // Hands one reference to the current autorelease pool (released at the end of the frame).
  Ref* autorelease();
  unsigned getReferenceCount() const { return refs_; }

 protected:
  Ref() = default;
  virtual ~Ref();

 private:
  unsigned refs_ = 1;
};

// The per-frame release pool. The director drains it after each frame; tests may drain it
// by hand (`AutoreleasePool::instance().clear()`).
class AutoreleasePool {
 public:
  static AutoreleasePool& instance();
  void add(Ref* r) { objects_.push_back(r); }
  // Releases every pooled reference; objects pooled while draining are released too.
  void clear();
  size_t size() const { return objects_.size(); }
  bool contains(const Ref* r) const;

 private:
  std::vector<Ref*> objects_;
};

// Owning smart pointer over an intrusive count: holds one reference while non-empty.
template <class T>
class RefPtr {
 public:
  RefPtr() = default;
  RefPtr(std::nullptr_t) {}
  RefPtr(T* p) : p_(p) { if (p_) p_->retain(); }
  RefPtr(const RefPtr& o) : RefPtr(o.p_) {}
  RefPtr(RefPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  RefPtr(const RefPtr<U>& o) : RefPtr(o.get()) {}
  ~RefPtr() { if (p_) p_->release(); }
  RefPtr& operator=(RefPtr o) noexcept { std::swap(p_, o.p_); return *this; }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  bool operator==(const RefPtr& o) const { return p_ == o.p_; }
  bool operator==(const T* o) const { return p_ == o; }
  void reset() { RefPtr().swapWith(*this); }
  void swapWith(RefPtr& o) noexcept { std::swap(p_, o.p_); }

 private:
  T* p_ = nullptr;
};

// The create() pattern: construct, init(args...), autorelease. A failed init destroys the
// object and returns nullptr.
template <class T, class... Args>
T* makeAutoreleased(Args&&... args) {
  T* p = new T();
  if (!p->init(std::forward<Args>(args)...)) {
    p->release();
    return nullptr;
  }
  p->autorelease();
  return p;
}

}  // namespace eng

// Declares `static T* create()` for a class with a `bool init()`.
#define ENG_CREATE_FUNC(T) \
  static T* create() { return ::eng::makeAutoreleased<T>(); }
