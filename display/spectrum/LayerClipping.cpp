#include "display/spectrum/LayerClipping.h"

#include <algorithm>

namespace tarvo {

eng::Rect windowRectOf(const eng::Node& node, const eng::Mat4& parentTransform) {
  const eng::Mat4 m = parentTransform * node.getNodeToParentTransform();
  const eng::Size s = node.getContentSize();
  const eng::Vec2 a = m.transformPoint(eng::Vec2(0, 0));
  const eng::Vec2 b = m.transformPoint(eng::Vec2(s.width, s.height));
  const float x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  return eng::Rect(x0, y0, std::max(a.x, b.x) - x0, std::max(a.y, b.y) - y0);
}

void beginClip(const eng::Node& node, eng::Renderer& renderer, const eng::Mat4& parentTransform) {
  renderer.pushScissor(windowRectOf(node, parentTransform), &node);
}

void endClip(const eng::Node& node, eng::Renderer& renderer) { renderer.popScissor(&node); }

}  // namespace tarvo
