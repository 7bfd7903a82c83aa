// DisplayLayerFactory: how the main scene creates the display layers that other parts of the
// system provide.
//
// The scene builds the graticule and the axis overlay itself. Every other layer of a rebuild,
// the scaling popover and the two access-point tables come from this factory; an empty entry
// leaves its slot empty, so the scene runs (grid, overlay, labels, watermark) before those
// layers exist. A creator returns an autoreleased node (the scene retains it) or nullptr.
//
// Plugging a layer in: set its entry on displayLayerFactory() before the scene is created, for
// example from the application's start-up:
//
//   displayLayerFactory().trace = [](const LayerContext& c) -> eng::Node* {
//     return RssiLayer::create(c.model, c.area, c.band24, c.band5);
//   };
//
// The cursor read-out texts belong to the cursors: cursorLabels, when set, writes them every
// frame while a cursor label is visible (the scene keeps their placeholders otherwise).
#pragma once

#include <functional>

#include "engine/Node.h"
#include "engine/Types.h"

namespace eng {
class Label;
}

namespace tarvo {

class AnalyzerModel;

// What a layer is created for: the model, its rectangle in the scene (the inner plot area)
// and the band flags of the current band.
struct LayerContext {
  AnalyzerModel& model;
  eng::Rect area;
  bool band24;
  bool band5;
};

// The cursor read-out labels, in the order of the scene's label table.
struct CursorLabels {
  eng::Label* xPosition;
  eng::Label* xDifference;
  eng::Label* yPosition[3];
  eng::Label* yDifference[3];
};

// A table layer (SSID table, utilisation table) reloads its rows when the scene asks; the scene
// holds apListMutex and has sorted the list by the table's key when it calls this.
class ReloadableTable {
 public:
  virtual ~ReloadableTable() = default;
  virtual void reloadRows() = 0;
};

struct DisplayLayerFactory {
  using LayerCreator = std::function<eng::Node*(const LayerContext&)>;
  using NodeCreator = std::function<eng::Node*(AnalyzerModel&)>;

  LayerCreator ssidMarkers;     // SSIDLayer: spectrum mode, trace view, ssidEnabled
  LayerCreator trace;           // RssiLayer: spectrum mode, trace view
  LayerCreator waterfall;       // WaterfallLayer: spectrum mode, waterfall view
  LayerCreator threshold;       // WaterfallThresholdAndTouchLayer: spectrum mode, waterfall view
  LayerCreator powerTrace;      // PowerLayer: power mode
  LayerCreator powerUI;         // PowerUIAndTouchLayer: power mode
  LayerCreator cursors;         // CursorsLayer: every mode
  LayerCreator channelGuide;    // ChannelGuideLayer: spectrum mode
  NodeCreator scalingPopover;   // ScalingPopoverLayer, created once with the scene
  NodeCreator ssidTable;        // SSIDTableLayer (implements ReloadableTable)
  NodeCreator utilizationTable; // SSIDUtilizationTableLayer (implements ReloadableTable)
  std::function<void(AnalyzerModel&, const CursorLabels&)> cursorLabels;
};

// The process-wide factory the scene copies when it is created.
DisplayLayerFactory& displayLayerFactory();

}  // namespace tarvo
