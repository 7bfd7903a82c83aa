#include "engine/Touch.h"

#include <algorithm>
#include <unordered_map>

#include "engine/Director.h"
#include "engine/Node.h"

namespace eng {

EventListenerTouchOneByOne* EventListenerTouchOneByOne::create() {
  auto* l = new EventListenerTouchOneByOne();
  l->autorelease();
  return l;
}

EventListenerKeyboard* EventListenerKeyboard::create() {
  auto* l = new EventListenerKeyboard();
  l->autorelease();
  return l;
}

EventDispatcher::EventDispatcher() = default;
EventDispatcher::~EventDispatcher() = default;

void EventDispatcher::addEventListenerWithSceneGraphPriority(EventListenerTouchOneByOne* l, Node* node) {
  assert(l && node && !l->registered_ && "a listener is registered once, with a node");
  if (!l || !node || l->registered_) return;
  l->registered_ = true;
  l->node_ = node;
  l->fixedPriority_ = 0;
  l->order_ = ++orderCounter_;
  touchListeners_.emplace_back(l);
}

void EventDispatcher::addEventListenerWithFixedPriority(EventListenerTouchOneByOne* l, int priority) {
  assert(l && !l->registered_);
  if (!l || l->registered_) return;
  l->registered_ = true;
  l->node_ = nullptr;
  l->fixedPriority_ = priority == 0 ? 1 : priority;
  l->order_ = ++orderCounter_;
  touchListeners_.emplace_back(l);
}

void EventDispatcher::removeEventListener(EventListenerTouchOneByOne* l) {
  if (!l) return;
  auto it = std::find(touchListeners_.begin(), touchListeners_.end(), l);
  if (it == touchListeners_.end()) return;
  l->registered_ = false;
  l->node_ = nullptr;
  l->claimed_.clear();
  touchListeners_.erase(it);
}

void EventDispatcher::addKeyboardListener(EventListenerKeyboard* l, Node* node) {
  if (!l || l->registered_) return;
  l->registered_ = true;
  l->node_ = node;
  keyListeners_.emplace_back(l);
}

void EventDispatcher::removeKeyboardListener(EventListenerKeyboard* l) {
  auto it = std::find(keyListeners_.begin(), keyListeners_.end(), l);
  if (it == keyListeners_.end()) return;
  (*it)->registered_ = false;
  keyListeners_.erase(it);
}

void EventDispatcher::removeEventListenersForTarget(Node* node) {
  if (!node) return;
  std::vector<RefPtr<EventListenerTouchOneByOne>> gone;
  for (auto& l : touchListeners_)
    if (l->node_ == node) gone.push_back(l);
  for (auto& l : gone) removeEventListener(l.get());
  std::vector<RefPtr<EventListenerKeyboard>> goneKeys;
  for (auto& l : keyListeners_)
    if (l->node_ == node) goneKeys.push_back(l);
  for (auto& l : goneKeys) removeKeyboardListener(l.get());
}

void EventDispatcher::removeAllEventListeners() {
  for (auto& l : touchListeners_) {
    l->registered_ = false;
    l->node_ = nullptr;
    l->claimed_.clear();
  }
  touchListeners_.clear();
  for (auto& l : keyListeners_) l->registered_ = false;
  keyListeners_.clear();
  touches_.clear();
}

namespace {
// Draw order of the visible part of the tree, as Node::visit walks it.
void drawOrder(const Node* n, std::unordered_map<const Node*, unsigned>& index, unsigned& counter) {
  if (!n->isVisible()) return;
  const auto& kids = n->sortedChildren();
  size_t i = 0;
  for (; i < kids.size() && kids[i]->getLocalZOrder() < 0; ++i) drawOrder(kids[i], index, counter);
  index[n] = ++counter;
  for (; i < kids.size(); ++i) drawOrder(kids[i], index, counter);
}
}  // namespace

std::vector<EventListenerTouchOneByOne*> EventDispatcher::dispatchOrder() const {
  std::unordered_map<const Node*, unsigned> index;
  unsigned counter = 0;
  if (Scene* s = Director::getInstance()->getRunningScene()) drawOrder(s, index, counter);
  struct Item {
    EventListenerTouchOneByOne* l;
    int band;        // 0 fixed negative, 1 scene graph, 2 fixed positive
    long long key;   // ascending within a band
  };
  std::vector<Item> items;
  for (auto& lp : touchListeners_) {
    EventListenerTouchOneByOne* l = lp.get();
    if (!l->enabled_) continue;
    if (l->node_) {
      if (!l->node_->isRunning()) continue;
      auto it = index.find(l->node_);
      if (it == index.end()) continue;  // hidden, or not in the running scene
      items.push_back({l, 1, -static_cast<long long>(it->second)});
    } else {
      items.push_back({l, l->fixedPriority_ < 0 ? 0 : 2, l->fixedPriority_});
    }
  }
  std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
    if (a.band != b.band) return a.band < b.band;
    if (a.key != b.key) return a.key < b.key;
    return a.l->order_ < b.l->order_;
  });
  std::vector<EventListenerTouchOneByOne*> out;
  out.reserve(items.size());
  for (auto& i : items) out.push_back(i.l);
  return out;
}

Touch* EventDispatcher::activeTouch(int id) const {
  auto it = touches_.find(id);
  return it == touches_.end() ? nullptr : it->second.get();
}

void EventDispatcher::touchesBegan(int id, Vec2 p) {
  // A second "began" for an id still down means its end was lost: cancel the old touch first.
  if (touches_.count(id)) finishTouch(id, touches_[id]->getLocation(), true);
  RefPtr<Touch> t(new Touch());
  t->release();  // the RefPtr holds the only reference
  t->id_ = id;
  t->location_ = t->previous_ = t->start_ = p;
  touches_[id] = t;
  const auto order = dispatchOrder();
  std::vector<RefPtr<EventListenerTouchOneByOne>> hold(order.begin(), order.end());
  for (EventListenerTouchOneByOne* l : order) {
    if (!l->registered_ || !l->enabled_ || !l->onTouchBegan) continue;
    if (l->node_ && !l->node_->isRunning()) continue;
    const bool claimed = l->onTouchBegan(t.get());
    if (!claimed) continue;
    if (l->registered_) l->claimed_.push_back(id);
    if (l->swallow_) break;
  }
}

void EventDispatcher::touchesMoved(int id, Vec2 p) { touchesMoved({{id, p}}); }

void EventDispatcher::touchesMoved(const std::vector<std::pair<int, Vec2>>& moves) {
  std::vector<RefPtr<Touch>> moved;
  for (auto& [id, p] : moves) {
    auto it = touches_.find(id);
    if (it == touches_.end()) continue;
    it->second->previous_ = it->second->location_;
    it->second->location_ = p;
    moved.push_back(it->second);
  }
  if (moved.empty()) return;
  const auto order = dispatchOrder();
  std::vector<RefPtr<EventListenerTouchOneByOne>> hold(order.begin(), order.end());
  for (const RefPtr<Touch>& t : moved) {
    for (EventListenerTouchOneByOne* l : order) {
      if (!l->registered_) continue;
      if (std::find(l->claimed_.begin(), l->claimed_.end(), t->id_) == l->claimed_.end()) continue;
      if (l->onTouchMoved) l->onTouchMoved(t.get());
      if (l->swallow_) break;
    }
  }
}

void EventDispatcher::touchesEnded(int id, Vec2 p) { finishTouch(id, p, false); }
void EventDispatcher::touchesCancelled(int id, Vec2 p) { finishTouch(id, p, true); }

void EventDispatcher::cancelAllTouches() {
  std::vector<std::pair<int, Vec2>> down;
  for (auto& [id, t] : touches_) down.emplace_back(id, t->getLocation());
  for (auto& [id, p] : down) finishTouch(id, p, true);
}

void EventDispatcher::finishTouch(int id, Vec2 p, bool cancelled) {
  auto it = touches_.find(id);
  if (it == touches_.end()) return;
  RefPtr<Touch> t = it->second;
  touches_.erase(it);
  t->previous_ = t->location_;
  t->location_ = p;
  // Every claiming listener hears the end, even one whose node stopped running meanwhile, so
  // no listener is left holding a touch that will never end.
  std::vector<RefPtr<EventListenerTouchOneByOne>> claimers;
  for (auto& l : dispatchOrder())
    if (std::find(l->claimed_.begin(), l->claimed_.end(), id) != l->claimed_.end()) claimers.emplace_back(l);
  for (auto& l : touchListeners_)
    if (std::find(claimers.begin(), claimers.end(), l) == claimers.end() &&
        std::find(l->claimed_.begin(), l->claimed_.end(), id) != l->claimed_.end())
      claimers.push_back(l);
  for (auto& l : claimers) {
    std::erase(l->claimed_, id);
    if (!l->registered_) continue;
    if (cancelled) {
      if (l->onTouchCancelled) l->onTouchCancelled(t.get());
    } else if (l->onTouchEnded) {
      l->onTouchEnded(t.get());
    }
    if (l->swallow_) break;
  }
}

void EventDispatcher::keyPressed(KeyCode key) {
  const auto listeners = keyListeners_;
  for (auto& l : listeners) {
    if (!l->registered_ || (l->node_ && !l->node_->isRunning())) continue;
    if (l->onKeyPressed) l->onKeyPressed(key);
  }
}

void EventDispatcher::keyReleased(KeyCode key) {
  const auto listeners = keyListeners_;
  for (auto& l : listeners) {
    if (!l->registered_ || (l->node_ && !l->node_->isRunning())) continue;
    if (l->onKeyReleased) l->onKeyReleased(key);
  }
}

// --- TouchScript -----------------------------------------------------------------------------

void TouchScript::tap(int id, Vec2 p) {
  dispatcher.touchesBegan(id, p);
  dispatcher.touchesEnded(id, p);
}

void TouchScript::drag(int id, Vec2 from, Vec2 to, int steps) {
  dispatcher.touchesBegan(id, from);
  steps = std::max(1, steps);
  for (int i = 1; i <= steps; ++i) dispatcher.touchesMoved(id, from + (to - from) * (float(i) / steps));
  dispatcher.touchesEnded(id, to);
}

void TouchScript::pinch(int a, int b, Vec2 c, Vec2 axis, float d0, float d1, int steps) {
  dispatcher.touchesBegan(a, c - axis * (d0 / 2));
  dispatcher.touchesBegan(b, c + axis * (d0 / 2));
  steps = std::max(1, steps);
  for (int i = 1; i <= steps; ++i) {
    const float d = d0 + (d1 - d0) * (float(i) / steps);
    dispatcher.touchesMoved({{a, c - axis * (d / 2)}, {b, c + axis * (d / 2)}});
  }
  dispatcher.touchesEnded(a, c - axis * (d1 / 2));
  dispatcher.touchesEnded(b, c + axis * (d1 / 2));
}

}  // namespace eng
