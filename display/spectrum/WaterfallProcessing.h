// Waterfall arithmetic, GL-free: rows of colour from a band's sweep history, the strongest
// points along the cursor lines, and the threshold/zoom rules of the touch layer.
//
//   waterfallZoomDivisor    waterfallOption 0, 1, 2 -> 1, 2, 5 (anything else 1)
//   WaterfallColorScale     value -> 256-entry colour-table index between the two thresholds
//   buildWaterfallRows      the newest min(rows, 500) sweeps as RGBA texels, oldest row first
//   findWaterfallMarkers    the markers of both cursors (fills markerSlots)
//   dragThreshold           a threshold drag that pulls or pushes the other threshold along
//   stepZoomOption          one pinch step of waterfallOption
//   fadeLevel               the read-outs' fade from one frame to the next
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/AnalyzerModel.h"
#include "display/spectrum/ColorTable.h"

namespace tarvo {

constexpr int WATERFALL_ROWS = 500;                // rows over the layer height at zoom 1
constexpr int WATERFALL_TEXTURE_HEIGHT = 512;      // 2^ceil(log2(500))
constexpr int WATERFALL_TEXTURE_WIDTH = 512;       // 2^ceil(log2(512))
constexpr size_t WATERFALL_BUFFER_BYTES = size_t(WATERFALL_TEXTURE_WIDTH) * WATERFALL_TEXTURE_HEIGHT * 4;
constexpr int WATERFALL_MARKERS_PER_GROUP = 5;
constexpr int WATERFALL_MARKER_GROUPS = 4;  // cursor 1 row, cursor 1 column, cursor 2 row, cursor 2 column
static_assert(WATERFALL_MARKERS_PER_GROUP * WATERFALL_MARKER_GROUPS == MARKER_SLOT_COUNT);

int waterfallZoomDivisor(int waterfallOption);
// The option as the pinch steps it: 0, 1 or 2 (anything else counts as 1, like its divisor).
int sanitizeZoomOption(int waterfallOption);

// Colour index of a value between the thresholds: trunc(value × scale + offset) with
// scale = 255 ÷ (top − bottom), offset = −scale × bottom, kept inside the table.
struct WaterfallColorScale {
  WaterfallColorScale(float topDbm, float bottomDbm);
  int index(float value) const;
  // Alpha 0: the texel is transparent (below the bottom threshold, or not a number).
  bool hidden(float value) const { return !(value >= bottom); }
  // The colour-table entry a shown value takes: the last one from the top threshold on.
  int entryFor(float value) const { return value < top ? index(value) : WATERFALL_COLOR_ENTRIES - 1; }
  float top, bottom, scale, offset;
};

struct WaterfallPicture {
  bool empty = true;      // nothing to show: the used fractions become 0
  bool tooLarge = false;  // does not fit the buffer: nothing written
  int rows = 0, bins = 0;
};

// Bins of a band's rows as the waterfall uses them: lastSweepBins, or the row size when it is
// negative (no sweep yet); never more than the row size.
int waterfallBinCount(const SpectrumStore& store);

// Writes texel (r, i) at (r × bins + i) × 4 for the newest min(R, 500) rows, oldest first:
// transparent beyond binsShown or below the bottom threshold, colour[index] up to the top
// threshold, the last colour from there on. `table` has WATERFALL_COLOR_ENTRIES entries.
WaterfallPicture buildWaterfallRows(const SpectrumStore& store, int binsShown, const WaterfallColorScale& scale,
                                    const Rgb* table, uint8_t* buffer, size_t bufferBytes);

// --- cursor markers --------------------------------------------------------------------------------

struct WaterfallMarker {
  float x = 0, y = 0;
  int colorIndex = 0;  // into the 256-entry table
};

struct WaterfallMarkerInput {
  float width = 0, height = 0;  // layer size
  int zoomDivisor = 1;
  int binsShown = 0;
  float cursorX[2] = {0, 0};
  float cursorY[2] = {0, 0};
  int rowMarkers = 0;     // markers on the horizontal cursor lines, 0 ... 5
  int columnMarkers = 0;  // markers on the vertical cursor lines, 0 ... 5
};

// Empties all four groups of `slots`, then for each cursor: the five strongest bins (at or above
// the bottom threshold) of the sweep under its horizontal line into group 2k, the five strongest
// ages of the bin under its vertical line into group 2k + 1, and a marker for the first
// rowMarkers / columnMarkers entries of each. Only the rows on screen (500 ÷ d) are searched
// along the vertical line. Returns the number of markers written to `out` (at most 20).
int findWaterfallMarkers(const SpectrumStore& store, const WaterfallMarkerInput& in, const WaterfallColorScale& scale,
                         std::array<MarkerSlot, MARKER_SLOT_COUNT>& slots, WaterfallMarker* out);

// --- thresholds and zoom ---------------------------------------------------------------------------

enum WaterfallDragState : int { DRAG_NONE = 0, DRAG_PINCH = 1, DRAG_LOWER = 2, DRAG_UPPER = 3 };

// Moves the dragged threshold by dy ÷ yScale (points to dB). The upper one pulls the lower one
// down with it when it falls below it; the lower one pushes the upper one up.
void dragThreshold(int dragState, float dy, float yScale, float& topDbm, float& bottomDbm);

// One pinch step: spreading zooms in (0 -> 1 -> 2), pinching together zooms out (2 -> 1 -> 0).
// Returns the new option (equal to the sanitised old one when already at the limit).
int stepZoomOption(int waterfallOption, bool spreading);

// Total vertical movement of both touches a pinch needs before it steps the zoom.
constexpr float PINCH_STEP_POINTS = 100.0f;

// Fade of the threshold read-outs: 1 while dragging, otherwise down by dt per frame while above 0.
float fadeLevel(float fade, bool dragging, float dt);

}  // namespace tarvo
