#include "engine/Node.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/Actions.h"
#include "engine/Director.h"
#include "engine/Renderer.h"
#include "engine/Scheduler.h"
#include "engine/Touch.h"

namespace eng {

namespace {
unsigned nextArrival() {
  static unsigned counter = 0;
  return ++counter;
}
}  // namespace

Node::Node() : arrival_(nextArrival()) {}

Node::~Node() {
  // Nothing may keep calling into a destroyed node.
  Director& d = *Director::getInstance();
  d.getScheduler()->unscheduleAllForTarget(this);
  d.getActionManager()->removeAllActionsFromTarget(this);
  d.getEventDispatcher()->removeEventListenersForTarget(this);
  for (Node* c : children_) {
    c->parent_ = nullptr;
    c->release();
  }
}

Scheduler& Node::scheduler() { return *Director::getInstance()->getScheduler(); }
ActionManager& Node::actionManager() { return *Director::getInstance()->getActionManager(); }

bool Node::init() { return true; }

void Node::onEnter() {
  running_ = true;
  // Iterate over a copy: an onEnter override may add or remove siblings.
  const std::vector<Node*> kids = children_;
  for (Node* c : kids) c->retain();
  for (Node* c : kids) {
    if (c->parent_ == this && !c->running_) c->onEnter();
  }
  for (Node* c : kids) c->release();
  scheduler().resumeTarget(this);
  actionManager().resumeTarget(this);
}

void Node::onExit() {
  scheduler().pauseTarget(this);
  actionManager().pauseTarget(this);
  const std::vector<Node*> kids = children_;
  for (Node* c : kids) c->retain();
  for (Node* c : kids) {
    if (c->parent_ == this && c->running_) c->onExit();
  }
  for (Node* c : kids) c->release();
  running_ = false;
}

void Node::cleanup() {
  stopAllActions();
  scheduler().unscheduleAllForTarget(this);
  for (Node* c : children_) c->cleanup();
}

void Node::update(float) {}

void Node::draw(Renderer&, const Mat4&, uint32_t) {}

void Node::visit(Renderer& renderer, const Mat4& parentTransform, uint32_t flags) {
  if (!visible_) return;
  const Mat4 transform = parentTransform * getNodeToParentTransform();
  const std::vector<Node*>& kids = sortedChildren();
  // Copy the order and hold the children: a draw or visit override may change the tree.
  if (kids.empty()) {
    renderer.noteVisited(this);
    draw(renderer, transform, flags);
    return;
  }
  const std::vector<Node*> order = kids;
  for (Node* c : order) c->retain();
  size_t i = 0;
  for (; i < order.size() && order[i]->localZ_ < 0; ++i) order[i]->visit(renderer, transform, flags);
  renderer.noteVisited(this);
  draw(renderer, transform, flags);
  for (; i < order.size(); ++i) order[i]->visit(renderer, transform, flags);
  for (Node* c : order) c->release();
}

// --- children --------------------------------------------------------------------------------

void Node::addChild(Node* child) { addChild(child, child ? child->localZ_ : 0, child ? child->tag_ : INVALID_TAG); }
void Node::addChild(Node* child, int z) { addChild(child, z, child ? child->tag_ : INVALID_TAG); }
void Node::addChild(Node* child, int z, int tag) { insertChild(child, z, tag); }

void Node::insertChild(Node* child, int z, int tag) {
  assert(child && "addChild(nullptr)");
  assert(child->parent_ == nullptr && "the child already has a parent");
  assert(child != this && "a node cannot be its own child");
  if (!child || child->parent_ || child == this) return;
  child->retain();
  child->parent_ = this;
  child->localZ_ = z;
  child->tag_ = tag;
  child->arrival_ = nextArrival();
  children_.push_back(child);
  sortDirty_ = true;
  if (running_) child->onEnter();
}

void Node::detachChild(Node* child, size_t index, bool doCleanup) {
  if (child->running_) child->onExit();
  if (doCleanup) child->cleanup();
  // onExit/cleanup overrides may have changed the list; find the child again.
  auto it = std::find(children_.begin(), children_.end(), child);
  if (it == children_.end()) return;
  (void)index;
  children_.erase(it);
  sortDirty_ = true;
  child->parent_ = nullptr;
  child->release();
}

void Node::removeChild(Node* child, bool doCleanup) {
  if (!child) return;
  auto it = std::find(children_.begin(), children_.end(), child);
  if (it == children_.end()) return;
  detachChild(child, size_t(it - children_.begin()), doCleanup);
}

void Node::removeChildByTag(int tag, bool doCleanup) {
  if (Node* c = getChildByTag(tag)) removeChild(c, doCleanup);
}

void Node::removeAllChildrenWithCleanup(bool doCleanup) {
  while (!children_.empty()) detachChild(children_.back(), children_.size() - 1, doCleanup);
}

void Node::removeFromParentAndCleanup(bool doCleanup) {
  if (parent_) parent_->removeChild(this, doCleanup);
}

Node* Node::getChildByTag(int tag) const {
  for (Node* c : children_)
    if (c->tag_ == tag) return c;
  return nullptr;
}

Node* Node::getChildByName(const std::string& name) const {
  for (Node* c : children_)
    if (c->name_ == name) return c;
  return nullptr;
}

const std::vector<Node*>& Node::sortedChildren() const {
  if (sortDirty_ || sorted_.size() != children_.size()) {
    sorted_ = children_;
    std::stable_sort(sorted_.begin(), sorted_.end(), [](const Node* a, const Node* b) {
      if (a->localZ_ != b->localZ_) return a->localZ_ < b->localZ_;
      return a->arrival_ < b->arrival_;
    });
    sortDirty_ = false;
  }
  return sorted_;
}

void Node::setLocalZOrder(int z) {
  if (z == localZ_) return;
  localZ_ = z;
  // A re-ordered node keeps its place among equals by its original insertion.
  if (parent_) parent_->sortDirty_ = true;
}

// --- geometry --------------------------------------------------------------------------------

void Node::setContentSize(const Size& s) {
  if (s == contentSize_) return;
  contentSize_ = s;
  onTransformChanged();
}
void Node::setPosition(const Vec2& p) { position_ = p; }
void Node::setAnchorPoint(const Vec2& a) {
  if (a == anchor_) return;
  anchor_ = a;
  onTransformChanged();
}
void Node::setScaleX(float s) { scaleX_ = s; }
void Node::setScaleY(float s) { scaleY_ = s; }
void Node::setRotation(float r) { rotation_ = r; }

Mat4 Node::getNodeToParentTransform() const {
  // T(position) · R(−rotation) · S(scale) · T(−anchor in points)
  const Vec2 a = getAnchorPointInPoints();
  const float rad = -rotation_ * std::numbers::pi_v<float> / 180.f;
  const float c = std::cos(rad), s = std::sin(rad);
  Mat4 m;
  m.m[0] = c * scaleX_;
  m.m[1] = s * scaleX_;
  m.m[4] = -s * scaleY_;
  m.m[5] = c * scaleY_;
  m.m[12] = position_.x - (m.m[0] * a.x + m.m[4] * a.y);
  m.m[13] = position_.y - (m.m[1] * a.x + m.m[5] * a.y);
  return m;
}

Mat4 Node::getNodeToWorldTransform() const {
  Mat4 m = getNodeToParentTransform();
  for (const Node* p = parent_; p; p = p->parent_) m = p->getNodeToParentTransform() * m;
  return m;
}

Vec2 Node::convertToNodeSpace(const Vec2& world) const { return getWorldToNodeTransform().transformPoint(world); }
Vec2 Node::convertToWorldSpace(const Vec2& local) const { return getNodeToWorldTransform().transformPoint(local); }

Vec2 Node::convertTouchToNodeSpace(const Touch* t) const {
  return t ? convertToNodeSpace(t->getLocation()) : Vec2();
}

bool Node::hitTest(const Vec2& world) const {
  const Vec2 p = convertToNodeSpace(world);
  return Rect(0, 0, contentSize_.width, contentSize_.height).containsPoint(p);
}

Rect Node::getBoundingBox() const {
  const Mat4 m = getNodeToParentTransform();
  const Vec2 corners[4] = {m.transformPoint({0, 0}), m.transformPoint({contentSize_.width, 0}),
                           m.transformPoint({0, contentSize_.height}),
                           m.transformPoint({contentSize_.width, contentSize_.height})};
  float x0 = corners[0].x, x1 = x0, y0 = corners[0].y, y1 = y0;
  for (const Vec2& p : corners) {
    x0 = std::min(x0, p.x); x1 = std::max(x1, p.x);
    y0 = std::min(y0, p.y); y1 = std::max(y1, p.y);
  }
  return Rect(x0, y0, x1 - x0, y1 - y0);
}

// --- colour and opacity ----------------------------------------------------------------------

void Node::setColor(const Color3B& c) { color_ = c; }
void Node::setOpacity(uint8_t o) { opacity_ = o; }

uint8_t Node::getDisplayedOpacity() const {
  unsigned v = opacity_;
  for (const Node* p = parent_; p && p->cascadeOpacity_; p = p->parent_) v = v * p->opacity_ / 255;
  return static_cast<uint8_t>(v);
}

Color3B Node::getDisplayedColor() const {
  unsigned r = color_.r, g = color_.g, b = color_.b;
  for (const Node* p = parent_; p && p->cascadeColor_; p = p->parent_) {
    r = r * p->color_.r / 255;
    g = g * p->color_.g / 255;
    b = b * p->color_.b / 255;
  }
  return Color3B(uint8_t(r), uint8_t(g), uint8_t(b));
}

// --- actions and scheduling ------------------------------------------------------------------

Action* Node::runAction(Action* action) {
  assert(action && "runAction(nullptr)");
  if (!action) return nullptr;
  actionManager().addAction(action, this, !running_);
  return action;
}
void Node::stopAllActions() { actionManager().removeAllActionsFromTarget(this); }
void Node::stopAction(Action* a) { actionManager().removeAction(a); }
void Node::stopActionByTag(int tag) { actionManager().removeActionByTag(tag, this); }
Action* Node::getActionByTag(int tag) const { return actionManager().getActionByTag(tag, this); }
int Node::getNumberOfRunningActions() const { return actionManager().getNumberOfRunningActionsInTarget(this); }

void Node::scheduleUpdate() { scheduleUpdateWithPriority(0); }
void Node::scheduleUpdateWithPriority(int priority) { scheduler().scheduleUpdate(this, priority, !running_); }
void Node::unscheduleUpdate() { scheduler().unscheduleUpdate(this); }

void Node::schedule(std::function<void(float)> cb, float interval, const std::string& key) {
  schedule(std::move(cb), interval, Scheduler::REPEAT_FOREVER, 0.f, key);
}
void Node::schedule(std::function<void(float)> cb, float interval, unsigned repeat, float delay,
                    const std::string& key) {
  scheduler().schedule(std::move(cb), this, interval, repeat, delay, !running_, key);
}
void Node::scheduleOnce(std::function<void(float)> cb, float delay, const std::string& key) {
  schedule(std::move(cb), 0.f, 0, delay, key);
}
void Node::unschedule(const std::string& key) { scheduler().unschedule(key, this); }
bool Node::isScheduled(const std::string& key) const { return scheduler().isScheduled(key, this); }
void Node::unscheduleAllCallbacks() { scheduler().unscheduleAllForTarget(this); }

// --- Scene, Layer, LayerColor ----------------------------------------------------------------

bool Scene::init() {
  setContentSize(Director::getInstance()->getVisibleSize());
  return true;
}

bool Layer::init() {
  setContentSize(Director::getInstance()->getVisibleSize());
  return true;
}

LayerColor* LayerColor::create(const Color4B& color) {
  const Size s = Director::getInstance()->getVisibleSize();
  return create(color, s.width, s.height);
}

LayerColor* LayerColor::create(const Color4B& color, float w, float h) {
  auto* l = new LayerColor();
  if (!l->initWithColor(color, w, h)) {
    l->release();
    return nullptr;
  }
  l->autorelease();
  return l;
}

bool LayerColor::init() {
  const Size s = Director::getInstance()->getVisibleSize();
  return initWithColor(Color4B(0, 0, 0, 0), s.width, s.height);
}

bool LayerColor::initWithColor(const Color4B& c, float w, float h) {
  if (!Layer::init()) return false;
  setColor(Color3B(c.r, c.g, c.b));
  setOpacity(c.a);
  setContentSize(Size(w, h));
  return true;
}

void LayerColor::draw(Renderer& renderer, const Mat4& transform, uint32_t) {
  const Color3B c = getDisplayedColor();
  const Color4B col(c, getDisplayedOpacity());
  const Size s = getContentSize();
  renderer.addQuad(this, transform, Rect(0, 0, s.width, s.height), col, blend_);
}

}  // namespace eng
