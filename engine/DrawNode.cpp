#include "engine/DrawNode.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace eng {

namespace {
Color4B toBytes(const Color4F& c) {
  auto b = [](float v) { return uint8_t(std::lround(std::clamp(v, 0.f, 1.f) * 255.f)); };
  return Color4B(b(c.r), b(c.g), b(c.b), b(c.a));
}
V2F_C4B_T2F vert(const Vec2& p, Color4B c) { return {p, c, 0, 0}; }
}  // namespace

DrawNode* DrawNode::create(float lineWidth) {
  auto* d = new DrawNode();
  d->lineWidth_ = lineWidth;
  if (!d->init()) {
    d->release();
    return nullptr;
  }
  d->autorelease();
  return d;
}

bool DrawNode::init() { return true; }

void DrawNode::clear() {
  triangles_.clear();
  lines_.clear();
  points_.clear();
  pointBatches_.clear();
}

void DrawNode::drawLine(const Vec2& a, const Vec2& b, const Color4F& color) {
  const Color4B c = toBytes(color);
  lines_.push_back(vert(a, c));
  lines_.push_back(vert(b, c));
}

void DrawNode::drawPoly(const Vec2* p, unsigned n, bool closed, const Color4F& color) {
  if (!p || n < 2) return;
  const Color4B c = toBytes(color);
  lines_.reserve(lines_.size() + 2 * n);
  for (unsigned i = 0; i + 1 < n; ++i) {
    lines_.push_back(vert(p[i], c));
    lines_.push_back(vert(p[i + 1], c));
  }
  if (closed && n > 2) {
    lines_.push_back(vert(p[n - 1], c));
    lines_.push_back(vert(p[0], c));
  }
}

void DrawNode::drawPoint(const Vec2& p, float size, const Color4F& color) { drawPoints(&p, 1, size, color); }

void DrawNode::drawPoints(const Vec2* p, unsigned n, float size, const Color4F& color) {
  if (!p || n == 0) return;
  const Color4B c = toBytes(color);
  if (pointBatches_.empty() || pointBatches_.back().size != size)
    pointBatches_.push_back({size, points_.size(), 0});
  for (unsigned i = 0; i < n; ++i) points_.push_back(vert(p[i], c));
  pointBatches_.back().count += n;
}

void DrawNode::drawRect(const Vec2& o, const Vec2& d, const Color4F& color) {
  const Vec2 pts[4] = {o, {d.x, o.y}, d, {o.x, d.y}};
  drawPoly(pts, 4, true, color);
}

void DrawNode::drawSolidRect(const Vec2& o, const Vec2& d, const Color4F& color) {
  const Vec2 pts[4] = {o, {d.x, o.y}, d, {o.x, d.y}};
  drawSolidPoly(pts, 4, color);
}

void DrawNode::drawSolidPoly(const Vec2* p, unsigned n, const Color4F& fill) {
  if (!p || n < 3) return;
  const Color4B c = toBytes(fill);
  for (unsigned i = 1; i + 1 < n; ++i) {
    triangles_.push_back(vert(p[0], c));
    triangles_.push_back(vert(p[i], c));
    triangles_.push_back(vert(p[i + 1], c));
  }
}

void DrawNode::drawTriangle(const Vec2& a, const Vec2& b, const Vec2& c, const Color4F& color) {
  const Vec2 pts[3] = {a, b, c};
  drawSolidPoly(pts, 3, color);
}

void DrawNode::drawCircle(const Vec2& ctr, float r, float angle, unsigned segments, bool toCentre, float sx,
                          float sy, const Color4F& color) {
  if (segments < 3) segments = 3;
  const float step = 2 * std::numbers::pi_v<float> / float(segments);
  const Color4B c = toBytes(color);
  auto at = [&](unsigned i) {
    const float a = angle + step * float(i);
    return Vec2(ctr.x + r * std::cos(a) * sx, ctr.y + r * std::sin(a) * sy);
  };
  lines_.reserve(lines_.size() + 2 * segments + 2);
  Vec2 prev = at(0);
  const Vec2 first = prev;
  for (unsigned i = 1; i <= segments; ++i) {
    const Vec2 p = at(i);
    lines_.push_back(vert(prev, c));
    lines_.push_back(vert(p, c));
    prev = p;
  }
  if (toCentre) drawLine(first, ctr, color);
}

void DrawNode::drawSolidCircle(const Vec2& ctr, float r, unsigned segments, const Color4F& color) {
  if (segments < 3) segments = 3;
  const float step = 2 * std::numbers::pi_v<float> / float(segments);
  std::vector<Vec2> pts(segments);
  for (unsigned i = 0; i < segments; ++i)
    pts[i] = Vec2(ctr.x + r * std::cos(step * float(i)), ctr.y + r * std::sin(step * float(i)));
  drawSolidPoly(pts.data(), segments, color);
}

void DrawNode::draw(Renderer& renderer, const Mat4& transform, uint32_t) {
  const uint8_t opacity = getDisplayedOpacity();
  auto emit = [&](Primitive prim, const V2F_C4B_T2F* v, size_t n, float pointSize) {
    if (n == 0) return;
    BatchCommand& b = renderer.addBatch(this, prim, transform);
    b.blend = blend_;
    b.lineWidth = lineWidth_;
    b.pointSize = pointSize;
    b.vertices.assign(v, v + n);
    if (opacity != 255)
      for (auto& x : b.vertices) x.color.a = uint8_t(unsigned(x.color.a) * opacity / 255);
  };
  emit(Primitive::TRIANGLES, triangles_.data(), triangles_.size(), 1);
  emit(Primitive::LINES, lines_.data(), lines_.size(), 1);
  for (const PointBatch& pb : pointBatches_) emit(Primitive::POINTS, points_.data() + pb.first, pb.count, pb.size);
}

}  // namespace eng
