// Conventions shared by every display layer of the main scene.
//
// Geometry (points, origin at the bottom-left of the window):
//   - the menu-bar strip: a band of menuBarHeight(size class) along the bottom of the visible
//     area; the read-out labels of the scene live in it and the menu bar slides over it;
//   - the plot area: everything above the strip;
//   - the inner plot area: the plot area inset by one point on every side. Trace, marker,
//     cursor, power and overlay layers are created on it; the graticule covers the plot area.
//
// Clipping: a ClippingLayer turns the scissor test on for its own rectangle (in window points)
// before its children and its own drawing, and off after them, through two render commands.
//
// Layers keep no state of their own beyond caches: every setting is read from the model each
// frame, and a scene rebuild may discard any layer at any time.
#pragma once

#include "engine/Node.h"
#include "engine/Types.h"

namespace tarvo {

// Height of the menu bar for a display size class: 49 for class 0, 75 for classes 1 to 3
// (anything outside 0..3 is taken as the desktop class 3).
float menuBarHeight(int sizeClass);

// The display size class of the desktop start-up.
constexpr int DESKTOP_SIZE_CLASS = 3;

// The plot area above the strip and its one-point inset, for a visible rectangle.
eng::Rect plotArea(const eng::Rect& visible, float barHeight);
eng::Rect innerPlotArea(const eng::Rect& visible, float barHeight);

// The director's visible rectangle (origin and size).
eng::Rect visibleRect();

// A layer that clips itself and its children to its own rectangle.
class ClippingLayer : public eng::Layer {
 public:
  void visit(eng::Renderer& renderer, const eng::Mat4& parentTransform, uint32_t flags) override;
  // The layer's rectangle in window points (the axis-aligned hull of its transformed bounds).
  eng::Rect clippingRectInWindow(const eng::Mat4& parentTransform) const;
};

// Places a layer on a rectangle of its parent: anchor (0, 0), position and content size.
void placeOn(eng::Node* node, const eng::Rect& area);

}  // namespace tarvo
