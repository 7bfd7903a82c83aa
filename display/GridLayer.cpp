#include "display/GridLayer.h"

namespace tarvo {

bool GridLayer::init() {
  if (!ClippingLayer::init()) return false;
  regenerate();
  return true;
}

void GridLayer::setSwitch(int which, bool on) {
  if (which >= 0 && which < SWITCH_COUNT) switches_[which] = on ? 1 : 0;
}

bool GridLayer::getSwitch(int which) const { return which >= 0 && which < SWITCH_COUNT && switches_[which] != 0; }

void GridLayer::regenerate() {
  if (!drawNode_) {
    drawNode_ = eng::DrawNode::create(2.0f);
    addChild(drawNode_.get());
  }
  ++regenerations_;
  eng::DrawNode& d = *drawNode_;
  d.clear();
  const float W = getContentSize().width;
  const float H = getContentSize().height;
  auto x = [W](int i, int n) { return (W - 4) * float(i) / float(n) + 2; };
  auto y = [H](int j, int m) { return (H - 4) * float(j) / float(m) + 2; };

  auto grid = [&](int columns, int rows, const eng::Color4F& color) {
    for (int j = 0; j <= rows; ++j) d.drawLine({2, y(j, rows)}, {W - 2, y(j, rows)}, color);
    for (int i = 0; i <= columns; ++i) d.drawLine({x(i, columns), 2}, {x(i, columns), H - 2}, color);
  };
  if (switches_[MINOR_GRID]) grid(50, 40, MINOR_GRID_COLOR);
  if (switches_[MAJOR_GRID]) grid(10, 8, MAJOR_GRID_COLOR);
  if (switches_[MINOR_TICKS]) addTicks(2, 50, 40);
  if (switches_[MAJOR_TICKS]) addTicks(4, 10, 8);
  if (switches_[CROSSHAIR]) d.drawLine({W / 2, 2}, {W / 2, H - 2}, MARK_COLOR);
  d.drawRect({2, 2}, {W - 2, H - 2}, MARK_COLOR);
}

// Ticks point into the plot: up from the bottom edge, down from the top edge, right from the
// left edge, left from the right edge, and both ways across the vertical centre line. The
// horizontal centre line gets none.
void GridLayer::addTicks(float length, int columns, int rows) {
  eng::DrawNode& d = *drawNode_;
  const float W = getContentSize().width;
  const float H = getContentSize().height;
  auto x = [W](int i, int n) { return (W - 4) * float(i) / float(n) + 2; };
  auto y = [H](int j, int m) { return (H - 4) * float(j) / float(m) + 2; };
  for (int e : {0, 2}) {
    const float from = y(e, 2) - (e != 0 ? length : 0);
    const float to = y(e, 2) + (e != 2 ? length : 0);
    for (int i = 0; i <= columns; ++i) d.drawLine({x(i, columns), from}, {x(i, columns), to}, MARK_COLOR);
  }
  for (int e : {0, 1, 2}) {
    const float from = x(e, 2) - (e != 0 ? length : 0);
    const float to = x(e, 2) + (e != 2 ? length : 0);
    for (int j = 0; j <= rows; ++j) d.drawLine({from, y(j, rows)}, {to, y(j, rows)}, MARK_COLOR);
  }
}

}  // namespace tarvo
