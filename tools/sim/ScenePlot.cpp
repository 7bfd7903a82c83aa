#include "tools/sim/ScenePlot.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <array>
#include <cctype>
#include <map>

namespace tarvo::sim {

namespace {

// 3x5 glyphs, one 3-bit row each, top row first.
const std::map<char, std::array<uint8_t, 5>>& glyphs() {
  static const std::map<char, std::array<uint8_t, 5>> g = {
      {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 7, 1, 7}},
      {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 1, 1}},
      {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'A', {2, 5, 7, 5, 5}}, {'B', {6, 5, 6, 5, 6}},
      {'C', {3, 4, 4, 4, 3}}, {'D', {6, 5, 5, 5, 6}}, {'E', {7, 4, 6, 4, 7}}, {'F', {7, 4, 6, 4, 4}},
      {'G', {3, 4, 5, 5, 3}}, {'H', {5, 5, 7, 5, 5}}, {'I', {7, 2, 2, 2, 7}}, {'J', {1, 1, 1, 5, 2}},
      {'K', {5, 5, 6, 5, 5}}, {'L', {4, 4, 4, 4, 7}}, {'M', {5, 7, 7, 5, 5}}, {'N', {6, 5, 5, 5, 5}},
      {'O', {2, 5, 5, 5, 2}}, {'P', {6, 5, 6, 4, 4}}, {'Q', {2, 5, 5, 6, 3}}, {'R', {6, 5, 6, 5, 5}},
      {'S', {3, 4, 2, 1, 6}}, {'T', {7, 2, 2, 2, 2}}, {'U', {5, 5, 5, 5, 7}}, {'V', {5, 5, 5, 5, 2}},
      {'W', {5, 5, 7, 7, 5}}, {'X', {5, 5, 2, 5, 5}}, {'Y', {5, 5, 2, 2, 2}}, {'Z', {7, 1, 2, 4, 7}},
      {'-', {0, 0, 7, 0, 0}}, {'.', {0, 0, 0, 0, 2}}, {':', {0, 2, 0, 2, 0}}, {'/', {1, 1, 2, 4, 4}},
      {'+', {0, 2, 7, 2, 0}}, {'%', {5, 1, 2, 4, 5}}, {' ', {0, 0, 0, 0, 0}},
  };
  return g;
}

constexpr Rgb BACKGROUND{12, 12, 16};
constexpr Rgb GRID{48, 48, 56};
constexpr Rgb LABEL{200, 200, 200};
constexpr Rgb MAX_HOLD{255, 60, 60};
constexpr Rgb AVERAGE{255, 220, 0};
constexpr Rgb LATEST{0, 255, 0};

int mapY(float dbm, float lo, float hi, int top, int height) {
  const float f = std::clamp((dbm - lo) / (hi - lo), 0.0f, 1.0f);
  return top + height - 1 - static_cast<int>(std::lround(f * (height - 1)));
}

std::string fmt(const char* f, double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, f, v);
  return buf;
}

void levelGrid(Image& img, int left, int top, int width, int height, float lo, float hi) {
  for (int db = static_cast<int>(std::ceil(lo / 10.0f)) * 10; db <= hi; db += 10) {
    const int y = mapY(static_cast<float>(db), lo, hi, top, height);
    img.line(left, y, left + width - 1, y, GRID);
    img.text(2, y - 5, fmt("%.0f", db), LABEL, 2);
  }
}

}  // namespace

Image::Image(int width, int height, Rgb bg) : w_(std::max(width, 1)), h_(std::max(height, 1)), px_(static_cast<size_t>(w_) * h_ * 3) {
  for (size_t i = 0; i < px_.size(); i += 3) {
    px_[i] = bg.r;
    px_[i + 1] = bg.g;
    px_[i + 2] = bg.b;
  }
}

Rgb Image::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= w_ || y >= h_) return {};
  const size_t i = (static_cast<size_t>(y) * w_ + x) * 3;
  return {px_[i], px_[i + 1], px_[i + 2]};
}

void Image::set(int x, int y, Rgb c) {
  if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
  const size_t i = (static_cast<size_t>(y) * w_ + x) * 3;
  px_[i] = c.r;
  px_[i + 1] = c.g;
  px_[i + 2] = c.b;
}

void Image::blend(int x, int y, Rgb c, float a) {
  if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
  a = std::clamp(a, 0.0f, 1.0f);
  const size_t i = (static_cast<size_t>(y) * w_ + x) * 3;
  px_[i] = static_cast<uint8_t>(px_[i] + (c.r - px_[i]) * a);
  px_[i + 1] = static_cast<uint8_t>(px_[i + 1] + (c.g - px_[i + 1]) * a);
  px_[i + 2] = static_cast<uint8_t>(px_[i + 2] + (c.b - px_[i + 2]) * a);
}

void Image::fillRect(int x0, int y0, int x1, int y1, Rgb c) {
  for (int y = std::max(y0, 0); y <= std::min(y1, h_ - 1); ++y)
    for (int x = std::max(x0, 0); x <= std::min(x1, w_ - 1); ++x) set(x, y, c);
}

void Image::line(int x0, int y0, int x1, int y1, Rgb c, float alpha) {
  const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  for (int guard = 0; guard < 100000; ++guard) {
    blend(x0, y0, c, alpha);
    if (x0 == x1 && y0 == y1) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

void Image::text(int x, int y, const std::string& s, Rgb c, int scale) {
  const auto& g = glyphs();
  for (char ch : s) {
    const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const auto it = g.find(u);
    if (it != g.end())
      for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 3; ++col)
          if (it->second[row] & (4 >> col)) fillRect(x + col * scale, y + row * scale, x + col * scale + scale - 1, y + row * scale + scale - 1, c);
    x += 4 * scale;
  }
}

bool writePng(const std::string& path, const Image& image, std::string* error) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    if (error) *error = "libpng could not start";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    if (error) *error = "libpng failed writing " + path;
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, image.width(), image.height(), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height(); ++y)
    png_write_row(png, const_cast<png_bytep>(image.rgb().data() + static_cast<size_t>(y) * image.width() * 3));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  const bool ok = std::fclose(f) == 0;
  if (!ok && error) *error = "cannot close " + path;
  return ok;
}

Rgb heatColor(float dbm, float lo, float hi) {
  float f = std::clamp((dbm - lo) / (hi - lo), 0.0f, 1.0f);
  // Blue -> cyan -> green -> yellow -> red in four equal legs.
  const float legs = f * 4.0f;
  const int leg = std::min(static_cast<int>(legs), 3);
  const float t = legs - leg;
  auto c = [](float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
  switch (leg) {
    case 0: return {0, c(t), 255};
    case 1: return {0, 255, c(1 - t)};
    case 2: return {c(t), 255, 0};
    default: return {255, c(1 - t), 0};
  }
}

Image plotSpectrum(const std::string& title, const std::vector<std::vector<float>>& sweeps, const BinPlan& plan,
                   float lo, float hi) {
  const int bins = plan.bins;
  const int px = bins <= 128 ? 6 : bins <= 256 ? 3 : 2;
  const int left = 40, top = 24, panel = 240;
  const int width = left + bins * px + 10;
  const int rowHeight = sweeps.size() < 100 ? 3 : 1;
  const int waterTop = top + panel + 20;
  const int height = waterTop + static_cast<int>(sweeps.size()) * rowHeight + 10;
  Image img(width, height, BACKGROUND);
  img.text(left, 6, title, LABEL, 2);
  levelGrid(img, left, top, bins * px, panel, lo, hi);

  // Frequency grid every 10 MHz (2.4 GHz) or 50 MHz (5 GHz), labelled.
  const double gridStep = plan.startMHz > 5000 ? 50.0 : 10.0;
  const double lastMHz = plan.frequencyMHz(bins - 1);
  for (double f = std::ceil(plan.startMHz / gridStep) * gridStep; f <= lastMHz + 1e-9; f += gridStep) {
    const int x = left + static_cast<int>(std::lround((f - plan.startMHz) / plan.stepMHz * px));
    img.line(x, top, x, top + panel - 1, GRID);
    img.text(x - 14, top + panel + 4, fmt("%.0f", f), LABEL, 2);
  }

  std::vector<float> maxHold(bins, lo), sumMw(bins, 0.0f);
  for (const auto& s : sweeps)
    for (int i = 0; i < bins && i < static_cast<int>(s.size()); ++i) {
      maxHold[i] = std::max(maxHold[i], s[i]);
      sumMw[i] += std::pow(10.0f, s[i] / 10.0f);
    }
  auto trace = [&](const std::vector<float>& v, Rgb c) {
    for (int i = 1; i < bins; ++i)
      img.line(left + (i - 1) * px + px / 2, mapY(v[i - 1], lo, hi, top, panel), left + i * px + px / 2,
               mapY(v[i], lo, hi, top, panel), c);
  };
  if (!sweeps.empty()) {
    std::vector<float> average(bins);
    for (int i = 0; i < bins; ++i) average[i] = 10.0f * std::log10(sumMw[i] / static_cast<float>(sweeps.size()));
    trace(maxHold, MAX_HOLD);
    trace(average, AVERAGE);
    trace(sweeps.back(), LATEST);
  }
  // Waterfall, newest sweep on top.
  for (size_t r = 0; r < sweeps.size(); ++r) {
    const auto& s = sweeps[sweeps.size() - 1 - r];
    for (int i = 0; i < bins && i < static_cast<int>(s.size()); ++i)
      img.fillRect(left + i * px, waterTop + static_cast<int>(r) * rowHeight, left + i * px + px - 1,
                   waterTop + static_cast<int>(r) * rowHeight + rowHeight - 1, heatColor(s[i], lo, hi));
  }
  return img;
}

Image plotCaptures(const std::string& title, const std::vector<ReadCapture>& captures, float lo, float hi,
                   int triggerIndex, float triggerLevelDbm) {
  const int left = 40, top = 24, panelW = 1000, panelH = 320;
  Image img(left + panelW + 10, top + panelH + 30, BACKGROUND);
  img.text(left, 6, title, LABEL, 2);
  levelGrid(img, left, top, panelW, panelH, lo, hi);
  for (int d = 0; d <= 10; ++d) {
    const int x = left + d * (panelW - 1) / 10;
    img.line(x, top, x, top + panelH - 1, GRID);
  }
  const int n = captures.empty() ? 0 : static_cast<int>(captures.front().dbm.size());
  if (n >= 2) {
    const int xt = left + triggerIndex * (panelW - 1) / (n - 1);
    img.line(xt, top, xt, top + panelH - 1, {255, 127, 0});
    const int yl = mapY(triggerLevelDbm, lo, hi, top, panelH);
    for (int x = left; x < left + panelW; x += 8) img.line(x, yl, x + 4, yl, {0, 255, 255});
  }
  int triggered = 0;
  for (const auto& c : captures) {
    const Rgb colour = c.triggered ? LATEST : Rgb{150, 150, 150};
    triggered += c.triggered ? 1 : 0;
    for (int i = 1; i < n; ++i)
      img.line(left + (i - 1) * (panelW - 1) / (n - 1), mapY(c.dbm[i - 1], lo, hi, top, panelH),
               left + i * (panelW - 1) / (n - 1), mapY(c.dbm[i], lo, hi, top, panelH), colour, 0.35f);
  }
  img.text(left, top + panelH + 8,
           fmt("%.0f CAPTURES", static_cast<double>(captures.size())) + fmt("  %.0f TRIGGERED", triggered), LABEL, 2);
  return img;
}

Image plotRoll(const std::string& title, const std::vector<float>& samples, float lo, float hi) {
  const int left = 40, top = 24, panelH = 260;
  const int panelW = std::max(static_cast<int>(samples.size()), 2);
  Image img(left + panelW + 10, top + panelH + 10, BACKGROUND);
  img.text(left, 6, title, LABEL, 2);
  levelGrid(img, left, top, panelW, panelH, lo, hi);
  for (size_t i = 1; i < samples.size(); ++i)
    img.line(left + static_cast<int>(i) - 1, mapY(samples[i - 1], lo, hi, top, panelH), left + static_cast<int>(i),
             mapY(samples[i], lo, hi, top, panelH), LATEST);
  return img;
}

Image plotScans(const std::string& title, const std::vector<ReadScanFrame>& frames) {
  // Two panels: 2400-2500 MHz and 5145-5860 MHz, RSSI -100..-20 dBm.
  const int left = 40, top = 24, panelW = 715, panelH = 220, gap = 40;
  Image img(left + panelW + 10, top + 2 * panelH + gap + 30, BACKGROUND);
  img.text(left, 6, title, LABEL, 2);
  const float lo = -100.0f, hi = -20.0f;
  const int tops[2] = {top, top + panelH + gap};
  const double starts[2] = {2400.0, 5145.0};
  const double mhzPerPx[2] = {100.0 / panelW, 715.0 / panelW};
  for (int b = 0; b < 2; ++b) {
    levelGrid(img, left, tops[b], panelW, panelH, lo, hi);
    const double step = b == 0 ? 10.0 : 50.0;
    for (double f = std::ceil(starts[b] / step) * step; f <= starts[b] + panelW * mhzPerPx[b]; f += step) {
      const int x = left + static_cast<int>((f - starts[b]) / mhzPerPx[b]);
      img.line(x, tops[b], x, tops[b] + panelH - 1, GRID);
      img.text(x - 14, tops[b] + panelH + 4, fmt("%.0f", f), LABEL, 2);
    }
  }
  const Rgb securityColour[6] = {{0, 255, 0}, {255, 0, 255}, {255, 127, 0}, {255, 255, 0}, {0, 160, 255}, {160, 160, 160}};
  auto securityIndex = [](uint32_t f) {
    if (f == 0) return 0;
    if (f == 0xFFFFFFFFu) return 5;
    if (f & 0x100000) return 1;
    if (f & 0x200000) return 3;
    if (f & 0x400000) return 4;
    if (f & 0x1) return 2;
    return 5;
  };
  // Every sighting as a dot (the drift), the last cycle's records as channel shapes.
  size_t lastStart = frames.size();
  for (size_t i = 0; i < frames.size(); ++i) {
    if (i + 1 == frames.size() || frames[i].records.size() < SCAN_FRAME_MAX_RECORDS) {
      // frames[i] closes a cycle; remember where the last cycle began.
      size_t s = i;
      if (i > 0 && frames[i - 1].records.size() == SCAN_FRAME_MAX_RECORDS) s = i - 1;
      lastStart = s;
    }
  }
  for (size_t i = 0; i < frames.size(); ++i)
    for (const ScanRecord& r : frames[i].records) {
      const int b = r.bandCode == 0 ? 1 : 0;
      const double c = b == 1 ? 5000.0 + 5.0 * r.channel : (r.channel == 14 ? 2484.0 : 2407.0 + 5.0 * r.channel);
      const int x = left + static_cast<int>((c - starts[b]) / mhzPerPx[b]);
      const int y = mapY(static_cast<float>(r.rssiDbm), lo, hi, tops[b], panelH);
      const bool last = i >= lastStart;
      const Rgb colour = securityColour[securityIndex(r.securityFlags)];
      if (!last) {
        img.blend(x, y, colour, 0.5f);
        continue;
      }
      int widthMHz = (r.widthWord & 0x0C00) == 0x0400 ? 10 : (r.widthWord & 0x0C00) == 0x0C00 ? 40 : 20;
      double centre = c;
      if (widthMHz == 40 && (r.widthWord & 0x0300) == 0x0100) centre += 10.0;
      if (widthMHz == 40 && (r.widthWord & 0x0300) == 0x0200) centre -= 10.0;
      if (b == 1 && r.altA != 0 && r.altA != 255) {
        widthMHz = 80;
        centre = 5000.0 + 5.0 * r.altA;
      }
      const int half = static_cast<int>(widthMHz / 2.0 / mhzPerPx[b]);
      const int xc = left + static_cast<int>((centre - starts[b]) / mhzPerPx[b]);
      const int yb = tops[b] + panelH - 1;
      const int slant = b == 0 ? 3 : 1;
      img.line(xc - half, yb, xc - half + slant, y, colour);
      img.line(xc - half + slant, y, xc + half - slant, y, colour);
      img.line(xc + half - slant, y, xc + half, yb, colour);
      std::string name = r.ssid.empty() ? "(HIDDEN)" : r.ssid;
      img.text(xc - static_cast<int>(name.size()) * 2, y - 8, name, colour, 1);
    }
  img.text(left, tops[1] + panelH + 20, fmt("%.0f FRAMES", static_cast<double>(frames.size())), LABEL, 2);
  return img;
}

}  // namespace tarvo::sim
