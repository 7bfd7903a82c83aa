#include "engine/ui/Layout.h"

#include <algorithm>

#include "engine/Renderer.h"

namespace eng::ui {

namespace {

Margin marginOf(const Node* n) {
  const auto* w = dynamic_cast<const Widget*>(n);
  return w ? w->getLayoutParameter().margin : Margin();
}

LinearLayoutParameter::Gravity gravityOf(const Node* n) {
  const auto* w = dynamic_cast<const Widget*>(n);
  return w ? w->getLayoutParameter().gravity : LinearLayoutParameter::Gravity::NONE;
}

// Moves the child so that its bounding box's left edge is at x and its bottom edge at y.
void placeBox(Node* child, const Rect& box, float x, float y) {
  child->setPosition(child->getPosition() + Vec2(x - box.getMinX(), y - box.getMinY()));
}

// Rectangle (0, 0, size) under a transform, as an axis-aligned hull.
Rect hull(const Mat4& m, const Size& s) {
  const Vec2 c[4] = {m.transformPoint({0, 0}), m.transformPoint({s.width, 0}), m.transformPoint({0, s.height}),
                     m.transformPoint({s.width, s.height})};
  float x0 = c[0].x, x1 = x0, y0 = c[0].y, y1 = y0;
  for (const Vec2& p : c) {
    x0 = std::min(x0, p.x);
    x1 = std::max(x1, p.x);
    y0 = std::min(y0, p.y);
    y1 = std::max(y1, p.y);
  }
  return Rect(x0, y0, x1 - x0, y1 - y0);
}

}  // namespace

bool Layout::init() {
  if (!Widget::init()) return false;
  setAnchorPoint(Vec2(0, 0));
  return true;
}

void Layout::setLayoutType(Type t) {
  if (t == type_) return;
  type_ = t;
  requestDoLayout();
}

std::vector<Node*> Layout::layoutChildren() const {
  std::vector<Node*> out;
  for (Node* c : sortedChildren())
    if (!isProtectedChild(c)) out.push_back(c);
  return out;
}

void Layout::forceDoLayout() {
  doLayout();
  dirty_ = false;
}

void Layout::doLayout() {
  using G = LinearLayoutParameter::Gravity;
  const Size size = getContentSize();
  if (type_ == Type::VERTICAL) {
    float top = size.height;
    for (Node* c : layoutChildren()) {
      const Margin m = marginOf(c);
      const Rect box = c->getBoundingBox();
      top -= m.top;
      float x = m.left;
      const G g = gravityOf(c);
      if (g == G::CENTER_HORIZONTAL) x = (size.width - box.size.width) * 0.5f + (m.left - m.right) * 0.5f;
      else if (g == G::RIGHT) x = size.width - m.right - box.size.width;
      placeBox(c, box, x, top - box.size.height);
      top -= box.size.height + m.bottom;
    }
  } else if (type_ == Type::HORIZONTAL) {
    float left = 0;
    for (Node* c : layoutChildren()) {
      const Margin m = marginOf(c);
      const Rect box = c->getBoundingBox();
      left += m.left;
      float y = size.height - m.top - box.size.height;
      const G g = gravityOf(c);
      if (g == G::CENTER_VERTICAL) y = (size.height - box.size.height) * 0.5f + (m.bottom - m.top) * 0.5f;
      else if (g == G::BOTTOM) y = m.bottom;
      placeBox(c, box, left, y);
      left += box.size.width + m.right;
    }
  }
}

Size Layout::getLinearExtent() const {
  float w = 0, h = 0;
  for (Node* c : layoutChildren()) {
    const Margin m = marginOf(c);
    const Rect box = c->getBoundingBox();
    if (type_ == Type::VERTICAL) {
      w = std::max(w, box.size.width + m.left + m.right);
      h += box.size.height + m.top + m.bottom;
    } else if (type_ == Type::HORIZONTAL) {
      w += box.size.width + m.left + m.right;
      h = std::max(h, box.size.height + m.top + m.bottom);
    } else {
      w = std::max(w, box.getMaxX());
      h = std::max(h, box.getMaxY());
    }
  }
  return Size(w, h);
}

// --- children --------------------------------------------------------------------------------

void Layout::addChild(Node* child) { addChild(child, child ? child->getLocalZOrder() : 0, child ? child->getTag() : INVALID_TAG); }
void Layout::addChild(Node* child, int z) { addChild(child, z, child ? child->getTag() : INVALID_TAG); }
void Layout::addChild(Node* child, int z, int tag) {
  Widget::addChild(child, z, tag);
  requestDoLayout();
}

void Layout::removeChild(Node* child, bool cleanup) {
  Widget::removeChild(child, cleanup);
  requestDoLayout();
}

void Layout::removeAllChildrenWithCleanup(bool cleanup) {
  Widget::removeAllChildrenWithCleanup(cleanup);
  requestDoLayout();
}

// --- drawing ---------------------------------------------------------------------------------

void Layout::visit(Renderer& renderer, const Mat4& parentTransform, uint32_t flags) {
  if (!isVisible()) return;
  if (dirty_) {
    doLayout();
    dirty_ = false;
  }
  if (!clipping_) {
    Widget::visit(renderer, parentTransform, flags);
    return;
  }
  const Mat4 transform = parentTransform * getNodeToParentTransform();
  renderer.pushScissor(hull(transform, getContentSize()), this);
  Widget::visit(renderer, parentTransform, flags);
  renderer.popScissor(this);
}

void Layout::draw(Renderer& renderer, const Mat4& transform, uint32_t) {
  if (background_.a == 0) return;
  const Size s = getContentSize();
  if (s.width <= 0 || s.height <= 0) return;
  const Color3B c = getDisplayedColor();
  const uint8_t a = uint8_t(unsigned(background_.a) * getDisplayedOpacity() / 255);
  const Color4B col(uint8_t(background_.r * c.r / 255), uint8_t(background_.g * c.g / 255),
                    uint8_t(background_.b * c.b / 255), a);
  renderer.addQuad(this, transform, Rect(0, 0, s.width, s.height), col, BlendFunc());
}

}  // namespace eng::ui
