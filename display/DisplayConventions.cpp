#include "display/DisplayConventions.h"

#include <algorithm>

#include "engine/Director.h"
#include "engine/Renderer.h"

namespace tarvo {

float menuBarHeight(int sizeClass) { return sizeClass == 0 ? 49.0f : 75.0f; }

eng::Rect plotArea(const eng::Rect& visible, float barHeight) {
  return eng::Rect(visible.origin.x, visible.origin.y + barHeight, visible.size.width,
                   std::max(0.0f, visible.size.height - barHeight));
}

eng::Rect innerPlotArea(const eng::Rect& visible, float barHeight) {
  const eng::Rect p = plotArea(visible, barHeight);
  return eng::Rect(p.origin.x + 1, p.origin.y + 1, std::max(0.0f, p.size.width - 2),
                   std::max(0.0f, p.size.height - 2));
}

eng::Rect visibleRect() {
  eng::Director* d = eng::Director::getInstance();
  return eng::Rect(d->getVisibleOrigin(), d->getVisibleSize());
}

eng::Rect ClippingLayer::clippingRectInWindow(const eng::Mat4& parentTransform) const {
  const eng::Mat4 toWorld = parentTransform * getNodeToParentTransform();
  const eng::Size s = getContentSize();
  const eng::Vec2 corners[4] = {toWorld.transformPoint({0, 0}), toWorld.transformPoint({s.width, 0}),
                                toWorld.transformPoint({0, s.height}), toWorld.transformPoint({s.width, s.height})};
  float minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
  for (const eng::Vec2& c : corners) {
    minX = std::min(minX, c.x);
    maxX = std::max(maxX, c.x);
    minY = std::min(minY, c.y);
    maxY = std::max(maxY, c.y);
  }
  return eng::Rect(minX, minY, maxX - minX, maxY - minY);
}

void ClippingLayer::visit(eng::Renderer& renderer, const eng::Mat4& parentTransform, uint32_t flags) {
  if (!isVisible()) return;
  renderer.pushScissor(clippingRectInWindow(parentTransform), this);
  eng::Layer::visit(renderer, parentTransform, flags);
  renderer.popScissor(this);
}

void placeOn(eng::Node* node, const eng::Rect& area) {
  if (!node) return;
  node->setAnchorPoint(eng::Vec2(0, 0));
  node->setPosition(area.origin);
  node->setContentSize(area.size);
}

}  // namespace tarvo
