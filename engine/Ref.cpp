#include "engine/Ref.h"

#include <algorithm>

namespace eng {

Ref::~Ref() = default;

void Ref::release() {
  assert(refs_ > 0 && "release of a destroyed object");
  if (--refs_ == 0) delete this;
}

Ref* Ref::autorelease() {
  AutoreleasePool::instance().add(this);
  return this;
}

AutoreleasePool& AutoreleasePool::instance() {
  static AutoreleasePool pool;
  return pool;
}

void AutoreleasePool::clear() {
  // A destructor may autorelease again (rare); keep draining until the pool stays empty.
  while (!objects_.empty()) {
    std::vector<Ref*> batch;
    batch.swap(objects_);
    for (Ref* r : batch) r->release();
  }
}

bool AutoreleasePool::contains(const Ref* r) const {
  return std::find(objects_.begin(), objects_.end(), r) != objects_.end();
}

}  // namespace eng
