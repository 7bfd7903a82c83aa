// MainScene: the one scene of the application.
//
// It owns the display layers of the spectrum and power views, the read-out labels in the
// menu-bar strip, the demo watermark and the "Acquiring SSID" indicator, and it hosts the menu
// bar through the menu controller (MenuAttachment.h). It holds no data of its own: every frame
// it reads the model and brings the scene into line with it.
//
// Rebuilds. The display layers are thrown away and built again for the mode key (spectrumMode,
// displayMode, band, ssidEnabled) on the first frame, whenever the key changes, and on the frame
// after a window resize; never otherwise. Draw order within z 0 is the order of creation:
//   trace view      grid, trace, SSID markers (ssidEnabled), cursors, channel guide, overlay
//   waterfall view  grid, waterfall, cursors, threshold, channel guide, overlay
//   power mode      grid, power trace, cursors, power UI, overlay
// The grid covers the plot area, every other layer the inner plot area. Layers other than the
// grid and the overlay come from the DisplayLayerFactory; an empty entry leaves its slot empty.
//
// Z orders of the scene's children: display layers 0, read-out labels and the two tables 60,
// the acquiring indicator 59, the watermark 65, the scaling popover 100; the menu bar (70) is
// added by the menu controller.
//
// Per frame (update): menu-bar connection state, watermark opacity (65 without an accessory,
// 0 with one), the 5 GHz guard, the rebuild check, the graticule switches, the label texts and
// their layout, aging of the access-point list every 10 s while a table is shown, the tables'
// refresh and the acquiring indicator. A window resize is noticed in visit() before drawing.
//
// Main thread only. Locks: apListMutex for aging and table refreshes, spectrumMutex on a resize;
// never both at once.
#pragma once

#include <array>
#include <cstdint>

#include "display/DisplayLayerFactory.h"
#include "display/GridLayer.h"
#include "display/MenuAttachment.h"
#include "display/OverlayLayer.h"
#include "engine/Label.h"
#include "engine/Node.h"
#include "engine/Sprite.h"
#include "engine/services/Clock.h"

namespace tarvo {

class AnalyzerModel;

class MainScene : public eng::Scene {
 public:
  // The scene of the application: the process-wide model, the system clock, the process-wide
  // menu attachment and layer factory.
  static MainScene* create();
  // A scene over another model and clock (tests). Both must outlive the scene.
  static MainScene* create(AnalyzerModel& model, eng::Clock& clock);

  bool init() override;
  void onEnter() override;
  void onExit() override;
  void update(float dt) override;
  void visit(eng::Renderer& renderer, const eng::Mat4& parentTransform, uint32_t flags) override;

  void rebuildLayers();
  void updateScaleLabels();
  // f = the menu bar's slide fraction (0 retracted, 1 covering the strip), v = 1 − f.
  void layoutReadoutLabels(float f, float v);

  void showSSIDTable();
  void hideSSIDTable();
  void refreshSSIDTable();
  void showUtilizationTable();
  void hideUtilizationTable();
  void refreshUtilizationTable();

  // The read-out labels, in creation order.
  enum Readout {
    AMPLITUDE_SCALE = 0,
    HORIZONTAL_SCALE,
    CURSOR_X_POSITION,
    CURSOR_X_DIFFERENCE,
    CURSOR_Y_POSITION_1,
    CURSOR_Y_DIFFERENCE_1,
    CURSOR_Y_POSITION_2,
    CURSOR_Y_DIFFERENCE_2,
    CURSOR_Y_POSITION_3,
    CURSOR_Y_DIFFERENCE_3,
    TRIGGER_STATE,
    READOUT_COUNT
  };
  eng::Label* readoutLabel(Readout which) const { return labels_[which].get(); }

  static constexpr int Z_DISPLAY_LAYERS = 0;
  static constexpr int Z_INDICATOR = 59;
  static constexpr int Z_READOUTS = 60;
  static constexpr int Z_TABLES = 60;
  static constexpr int Z_WATERMARK = 65;
  static constexpr int Z_POPOVER = 100;
  static constexpr uint8_t WATERMARK_OPACITY_DISCONNECTED = 65;
  static constexpr float AGING_PERIOD_SECONDS = 10.0f;
  static constexpr const char* READOUT_FONT = "fonts/roboto/Roboto-Regular.ttf";

  // --- slots (borrowed; empty when the slot is) ---
  GridLayer* grid() const { return grid_.get(); }
  OverlayLayer* overlay() const { return overlay_.get(); }
  eng::Node* traceLayer() const { return trace_.get(); }
  eng::Node* ssidMarkerLayer() const { return ssidMarkers_.get(); }
  eng::Node* waterfallLayer() const { return waterfall_.get(); }
  eng::Node* thresholdLayer() const { return threshold_.get(); }
  eng::Node* powerTraceLayer() const { return powerTrace_.get(); }
  eng::Node* powerUILayer() const { return powerUI_.get(); }
  eng::Node* cursorsLayer() const { return cursors_.get(); }
  eng::Node* channelGuideLayer() const { return channelGuide_.get(); }
  eng::Node* ssidTable() const { return ssidTable_.get(); }
  eng::Node* utilizationTable() const { return utilizationTable_.get(); }
  eng::Node* scalingPopover() const { return popover_.get(); }
  eng::Sprite* watermark() const { return watermark_.get(); }
  bool isAcquiringIndicatorShown() const { return indicatorLabel_ || indicatorBackground_; }
  eng::Node* acquiringIndicatorLabel() const { return indicatorLabel_.get(); }

  // --- statistics for tests ---
  uint64_t rebuildCount() const { return rebuilds_; }
  float menuBarHeightNow() const;

  // Replaces the layer factory (before onEnter; tests).
  void setLayerFactory(const DisplayLayerFactory& factory) { factory_ = factory; }
  // Replaces the menu attachment (before onEnter; tests). Borrowed.
  void setMenuAttachment(MenuAttachment& menus) { menus_ = &menus; }

 protected:
  MainScene() = default;
  ~MainScene() override;

 private:
  struct ModeKey {
    int spectrumMode = -1, displayMode = -1, band = -1, ssidEnabled = -1;
    bool operator==(const ModeKey&) const = default;
  };
  ModeKey currentKey() const;
  void releaseDisplayLayers();
  eng::Node* addDisplayLayer(eng::RefPtr<eng::Node>& slot, const DisplayLayerFactory::LayerCreator& creator,
                             const LayerContext& context);
  void createReadoutLabels();
  void createWatermark();
  void applyGraticule();
  void ageAccessPoints();
  void showAcquiringIndicator();
  void hideAcquiringIndicator();
  void refreshTable(eng::Node* table, int sortKey, bool descending);
  void onResize(eng::Size newSize);

  AnalyzerModel* model_ = nullptr;
  eng::Clock* clock_ = nullptr;
  MenuAttachment* menus_ = nullptr;
  DisplayLayerFactory factory_;

  // Display-layer slots (rebuilt).
  eng::RefPtr<GridLayer> grid_;
  eng::RefPtr<OverlayLayer> overlay_;
  eng::RefPtr<eng::Node> ssidMarkers_, trace_, waterfall_, threshold_, powerTrace_, powerUI_, cursors_,
      channelGuide_;
  // Other nodes.
  eng::RefPtr<eng::Sprite> watermark_;
  eng::RefPtr<eng::Node> popover_;
  eng::RefPtr<eng::Node> indicatorBackground_, outerWheel_, innerWheel_, indicatorLabel_;
  eng::RefPtr<eng::Node> ssidTable_, utilizationTable_;
  std::array<eng::RefPtr<eng::Label>, READOUT_COUNT> labels_;

  float dt_ = 0.0f;
  float agingSeconds_ = 0.0f;
  bool needsLayout_ = true;
  bool entered_ = false;
  ModeKey lastKey_;
  uint64_t rebuilds_ = 0;
};

}  // namespace tarvo
