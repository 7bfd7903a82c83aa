// Colour maps of the heat map and the waterfall. GL-free.
//
//   buildColorTable   index (0 RAINBOW, 1 FIRE, 2 X-RAY, 3 GREEN, other: grey ramp) -> RGB triples
//   hsvToRgb          the hue conversion both RAINBOW forms use
//   ColorTableCache   a 256-entry table rebuilt only when the map or the entry count changes,
//                     for callers that need the table every frame
//
// The heat map asks for as many entries as it has amplitude levels; the waterfall, its cursor
// markers and the threshold bubbles ask for WATERFALL_COLOR_ENTRIES. RAINBOW has a different
// shape in the two uses (the waterfall's hue runs along a slight S-curve), so callers name the
// form they want.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tarvo {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  constexpr bool operator==(const Rgb&) const = default;
};

enum ColorMapIndex : int32_t {
  COLOR_MAP_RAINBOW = 0,
  COLOR_MAP_FIRE = 1,
  COLOR_MAP_XRAY = 2,
  COLOR_MAP_GREEN = 3,
};
constexpr int COLOR_MAP_COUNT = 4;
// "RAINBOW", "FIRE", "X-RAY", "GREEN"; nullptr for any other index (the grey ramp has no row).
const char* colorMapName(int index);

enum class ColorTableForm { HEAT_MAP, WATERFALL };
constexpr int WATERFALL_COLOR_ENTRIES = 256;
// The largest table anyone asks for: the heat map has at most 256 amplitude levels.
constexpr int MAX_COLOR_ENTRIES = 256;

// Writes `n` entries into `out` (which holds at least n) and returns n; n <= 0 writes nothing.
// The waterfall form of RAINBOW always has 256 entries whatever n is (out must hold 256).
// A one-entry table holds the bottom colour of the map.
int buildColorTable(int index, int n, ColorTableForm form, Rgb* out);
std::vector<Rgb> buildColorTable(int index, int n, ColorTableForm form = ColorTableForm::HEAT_MAP);

// Hue in degrees (exactly 360 is taken as 359.99), saturation and value 0..1; channels are
// truncated to bytes. Hues outside 0..360 give black.
Rgb hsvToRgb(float hue, float saturation, float value);

// A table kept between frames: get() rebuilds only when index, n or form differ from the
// last call, so a per-frame caller neither allocates nor recomputes.
class ColorTableCache {
 public:
  // n is clamped to 1 ... MAX_COLOR_ENTRIES.
  const Rgb* get(int index, int n, ColorTableForm form);
  int size() const { return size_; }

 private:
  std::array<Rgb, MAX_COLOR_ENTRIES> table_{};
  int index_ = 0, n_ = 0, size_ = 0;
  ColorTableForm form_ = ColorTableForm::HEAT_MAP;
  bool valid_ = false;
};

}  // namespace tarvo
