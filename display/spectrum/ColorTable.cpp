#include "display/spectrum/ColorTable.h"

#include <algorithm>
#include <cmath>

namespace tarvo {

const char* colorMapName(int index) {
  switch (index) {
    case COLOR_MAP_RAINBOW: return "RAINBOW";
    case COLOR_MAP_FIRE: return "FIRE";
    case COLOR_MAP_XRAY: return "X-RAY";
    case COLOR_MAP_GREEN: return "GREEN";
    default: return nullptr;
  }
}

Rgb hsvToRgb(float hue, float s, float v) {
  if (hue == 360.0f) hue = 359.99f;
  const float h = hue / 60.0f;
  const float c = s * v;
  const float x = c * (1.0f - std::fabs(std::fmod(h, 2.0f) - 1.0f));
  const float m = v - c;
  float r = 0, g = 0, b = 0;
  if (!(h >= 0.0f && h < 6.0f)) {
    // Outside the six sectors (NaN included): black, not the value offset.
    return Rgb{};
  }
  switch (static_cast<int>(h)) {
    case 0: r = c; g = x; b = 0; break;
    case 1: r = x; g = c; b = 0; break;
    case 2: r = 0; g = c; b = x; break;
    case 3: r = 0; g = x; b = c; break;
    case 4: r = x; g = 0; b = c; break;
    default: r = c; g = 0; b = x; break;
  }
  auto byte = [](float channel) {
    const float f = std::clamp(channel * 255.0f, 0.0f, 255.0f);
    return static_cast<uint8_t>(f);
  };
  return Rgb{byte(r + m), byte(g + m), byte(b + m)};
}

namespace {

// The ramps are linear blends of whole numbers, so they are worked out in integers: exactly
// the truncation of the real-valued blend, with no float landing a hair below a whole value.
// trunc(255 × i ÷ (n − 1)) as a byte; the only entry of a one-entry table is the bottom.
int rampValue(int i, int n) {
  if (n <= 1) return 0;
  return static_cast<int>((255LL * i) / (n - 1));
}

// trunc(from × (1 − t) + to × t) with t = v ÷ den, for from <= to.
uint8_t blend(int from, int to, int v, int den) { return static_cast<uint8_t>(from + ((to - from) * v) / den); }

Rgb entry(int index, int i, int n) {
  const int v = rampValue(i, n);
  switch (index) {
    case COLOR_MAP_RAINBOW: {
      const float f = n <= 1 ? 0.0f : static_cast<float>(i) / static_cast<float>(n - 1);
      return hsvToRgb(300.0f - 300.0f * f, 1.0f, 1.0f);
    }
    case COLOR_MAP_FIRE:
      if (v <= 85) return Rgb{blend(85, 255, v, 85), 0, 0};
      if (v <= 170) return Rgb{255, blend(0, 255, v - 85, 85), 0};
      return Rgb{255, 255, blend(0, 255, v - 170, 85)};
    case COLOR_MAP_XRAY: return Rgb{blend(86, 174, v, 255), blend(93, 246, v, 255), blend(84, 235, v, 255)};
    case COLOR_MAP_GREEN: return Rgb{0, blend(50, 255, v, 255), 0};
    default: {
      const auto g = static_cast<uint8_t>(v);
      return Rgb{g, g, g};
    }
  }
}

}  // namespace

int buildColorTable(int index, int n, ColorTableForm form, Rgb* out) {
  if (form == ColorTableForm::WATERFALL) n = WATERFALL_COLOR_ENTRIES;
  if (n <= 0 || !out) return 0;
  if (form == ColorTableForm::WATERFALL && index == COLOR_MAP_RAINBOW) {
    for (int i = 0; i < n; ++i) {
      const float u = 1.0f - static_cast<float>(i) / 255.0f;
      out[i] = hsvToRgb((u - 0.1f * std::sin(6.283f * u)) * 255.0f, 1.0f, 1.0f);
    }
    return n;
  }
  for (int i = 0; i < n; ++i) out[i] = entry(index, i, n);
  return n;
}

std::vector<Rgb> buildColorTable(int index, int n, ColorTableForm form) {
  if (form == ColorTableForm::WATERFALL) n = WATERFALL_COLOR_ENTRIES;
  std::vector<Rgb> out(static_cast<size_t>(std::max(n, 0)));
  buildColorTable(index, n, form, out.data());
  return out;
}

const Rgb* ColorTableCache::get(int index, int n, ColorTableForm form) {
  n = std::clamp(n, 1, MAX_COLOR_ENTRIES);
  if (form == ColorTableForm::WATERFALL) n = WATERFALL_COLOR_ENTRIES;
  if (!valid_ || index != index_ || n != n_ || form != form_) {
    size_ = buildColorTable(index, n, form, table_.data());
    index_ = index;
    n_ = n;
    form_ = form;
    valid_ = true;
  }
  return table_.data();
}

}  // namespace tarvo
