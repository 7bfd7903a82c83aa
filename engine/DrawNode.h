// Immediate-style vector drawing: lines, polylines, points, rectangles, circles and filled
// shapes, kept until clear(). Lines are drawn with the node's line width (2 by default).
// Colours are 0..1 floats with alpha, multiplied by the node's displayed opacity. Within one
// node, filled shapes are drawn first, then lines, then points.
#pragma once

#include <vector>

#include "engine/Node.h"
#include "engine/Renderer.h"

namespace eng {

class DrawNode : public Node {
 public:
  static DrawNode* create(float lineWidth = 2.f);
  bool init() override;

  void clear();
  void setLineWidth(float w) { lineWidth_ = w; }
  float getLineWidth() const { return lineWidth_; }
  void setBlendFunc(const BlendFunc& b) { blend_ = b; }

  void drawLine(const Vec2& from, const Vec2& to, const Color4F& color);
  void drawSegment(const Vec2& from, const Vec2& to, const Color4F& color) { drawLine(from, to, color); }
  // Open or closed polyline through n points.
  void drawPoly(const Vec2* points, unsigned n, bool closed, const Color4F& color);
  void drawPoint(const Vec2& p, float size, const Color4F& color);
  void drawPoints(const Vec2* points, unsigned n, float size, const Color4F& color);
  // Outline of the axis-aligned rectangle with corners origin and dest.
  void drawRect(const Vec2& origin, const Vec2& dest, const Color4F& color);
  void drawSolidRect(const Vec2& origin, const Vec2& dest, const Color4F& color);
  // Convex polygon, filled (optionally with an outline of `borderWidth` > 0 in `borderColor`).
  void drawSolidPoly(const Vec2* points, unsigned n, const Color4F& fill);
  void drawTriangle(const Vec2& a, const Vec2& b, const Vec2& c, const Color4F& color);
  // Outline of an ellipse: `segments` chords starting at `angle` (radians), radius scaled by
  // scaleX / scaleY, optionally with a line from the start point to the centre.
  void drawCircle(const Vec2& centre, float radius, float angle, unsigned segments, bool lineToCentre,
                  float scaleX, float scaleY, const Color4F& color);
  void drawCircle(const Vec2& centre, float radius, float angle, unsigned segments, bool lineToCentre,
                  const Color4F& color) {
    drawCircle(centre, radius, angle, segments, lineToCentre, 1.f, 1.f, color);
  }
  void drawSolidCircle(const Vec2& centre, float radius, unsigned segments, const Color4F& color);

  size_t lineVertexCount() const { return lines_.size(); }
  size_t triangleVertexCount() const { return triangles_.size(); }
  size_t pointCount() const { return points_.size(); }

  void draw(Renderer& renderer, const Mat4& transform, uint32_t flags) override;

 protected:
  DrawNode() = default;

 private:
  struct PointBatch {
    float size;
    size_t first, count;
  };
  std::vector<V2F_C4B_T2F> triangles_, lines_, points_;
  std::vector<PointBatch> pointBatches_;
  float lineWidth_ = 2;
  BlendFunc blend_;
};

}  // namespace eng
