// GridLayer: the graticule behind every plot.
//
// The plot is divided into 10 columns and 8 rows (major) and 50 columns and 40 rows (minor),
// the divisions the scale labels count. Five switches, all on at creation, follow bits 0 to 4
// of the model's `graticule` setting (the scene sets them every frame):
//   crosshair   bit 0  one vertical line through the centre
//   major ticks bit 1  ticks of length 4 on the edges and the centre line, at major divisions
//   minor ticks bit 2  ticks of length 2 on the edges and the centre line, at minor divisions
//   major grid  bit 3  9 horizontal and 11 vertical lines
//   minor grid  bit 4  41 horizontal and 51 vertical lines
// The border is always drawn. All coordinates are inset by 2 points from the layer's edges.
//
// The geometry lives in one draw node (line width 2) that is rebuilt only by regenerate(), in
// the order minor grid, major grid, minor ticks, major ticks, crosshair, border, so brighter
// elements are drawn over darker ones.
#pragma once

#include <cstdint>

#include "display/DisplayConventions.h"
#include "engine/DrawNode.h"

namespace tarvo {

class GridLayer : public ClippingLayer {
 public:
  ENG_CREATE_FUNC(GridLayer)
  bool init() override;

  // Rebuilds the geometry for the current size and switches.
  void regenerate();

  enum Switch { CROSSHAIR = 0, MAJOR_TICKS = 1, MINOR_TICKS = 2, MAJOR_GRID = 3, MINOR_GRID = 4 };
  static constexpr int SWITCH_COUNT = 5;
  void setSwitch(int which, bool on);
  bool getSwitch(int which) const;

  // Colours (RGBA 0..1).
  static constexpr eng::Color4F MINOR_GRID_COLOR{0.1f, 0.1f, 0.1f, 1.0f};
  static constexpr eng::Color4F MAJOR_GRID_COLOR{0.15f, 0.15f, 0.15f, 1.0f};
  static constexpr eng::Color4F MARK_COLOR{0.5f, 0.5f, 0.5f, 1.0f};  // ticks, crosshair, border

  eng::DrawNode* drawNode() const { return drawNode_.get(); }
  // How often the geometry was rebuilt (a statistic for tests and benchmarks).
  uint64_t regenerationCount() const { return regenerations_; }

 private:
  void addTicks(float length, int columns, int rows);

  uint8_t switches_[SWITCH_COUNT] = {1, 1, 1, 1, 1};
  eng::RefPtr<eng::DrawNode> drawNode_;
  uint64_t regenerations_ = 0;
};

}  // namespace tarvo
