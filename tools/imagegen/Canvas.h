// A small anti-aliased rasteriser for the generated images: shapes are signed distance
// functions (negative inside, in pixels), and coverage is 0.5 − distance clamped to [0, 1], which
// gives one-pixel soft edges. Coordinates have y downwards (image rows), pixel centres at +0.5.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace imagegen {

struct RGBA {
  float r = 1, g = 1, b = 1, a = 1;
};
inline RGBA rgb(int r, int g, int b, float a = 1.f) { return {r / 255.f, g / 255.f, b / 255.f, a}; }
inline const RGBA WHITE{1, 1, 1, 1};

using Sdf = std::function<float(float x, float y)>;
using Paint = std::function<RGBA(float x, float y)>;

class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h), px_(size_t(w) * h * 4, 0.f) {}
  int width() const { return w_; }
  int height() const { return h_; }

  // Composites colour over the canvas with the shape's coverage.
  void fill(const Sdf& shape, const RGBA& c) {
    fill(shape, [c](float, float) { return c; });
  }
  void fill(const Sdf& shape, const Paint& paint) {
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x) {
        const float fx = x + 0.5f, fy = y + 0.5f;
        const float cov = std::clamp(0.5f - shape(fx, fy), 0.f, 1.f);
        if (cov <= 0) continue;
        blend(x, y, paint(fx, fy), cov);
      }
  }
  // Places `src` with its top-left at (dx, dy) (used for atlases).
  void blit(const Canvas& src, int dx, int dy) {
    for (int y = 0; y < src.h_; ++y)
      for (int x = 0; x < src.w_; ++x) {
        const int tx = x + dx, ty = y + dy;
        if (tx < 0 || ty < 0 || tx >= w_ || ty >= h_) continue;
        for (int k = 0; k < 4; ++k) px_[(size_t(ty) * w_ + tx) * 4 + k] = src.px_[(size_t(y) * src.w_ + x) * 4 + k];
      }
  }
  // Coverage mask from an 8-bit bitmap (text), painted in one colour.
  void mask(const unsigned char* m, int mw, int mh, int pitch, int dx, int dy, const RGBA& c) {
    for (int y = 0; y < mh; ++y)
      for (int x = 0; x < mw; ++x) {
        const int tx = x + dx, ty = y + dy;
        if (tx < 0 || ty < 0 || tx >= w_ || ty >= h_) continue;
        const float cov = m[y * pitch + x] / 255.f;
        if (cov > 0) blend(tx, ty, c, cov);
      }
  }
  // Straight-alpha RGBA8, top row first.
  std::vector<unsigned char> bytes() const {
    std::vector<unsigned char> out(px_.size());
    for (size_t i = 0; i < px_.size(); i += 4) {
      const float a = px_[i + 3];
      for (int k = 0; k < 3; ++k) {
        const float v = a > 0 ? px_[i + k] / a : 0.f;  // stored premultiplied
        out[i + k] = static_cast<unsigned char>(std::lround(std::clamp(v, 0.f, 1.f) * 255.f));
      }
      out[i + 3] = static_cast<unsigned char>(std::lround(std::clamp(a, 0.f, 1.f) * 255.f));
    }
    return out;
  }

 private:
  void blend(int x, int y, const RGBA& c, float cov) {
    float* p = &px_[(size_t(y) * w_ + x) * 4];
    const float a = c.a * cov;
    p[0] = c.r * a + p[0] * (1 - a);
    p[1] = c.g * a + p[1] * (1 - a);
    p[2] = c.b * a + p[2] * (1 - a);
    p[3] = a + p[3] * (1 - a);
  }
  int w_, h_;
  std::vector<float> px_;  // premultiplied
};

// --- shapes ----------------------------------------------------------------------------------

inline Sdf circle(float cx, float cy, float r) {
  return [=](float x, float y) { return std::hypot(x - cx, y - cy) - r; };
}
// Rectangle (x0, y0)-(x1, y1) with corner radii top-left, top-right, bottom-right, bottom-left.
inline Sdf roundRect(float x0, float y0, float x1, float y1, float rtl, float rtr, float rbr, float rbl) {
  return [=](float x, float y) {
    const float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2, hx = (x1 - x0) / 2, hy = (y1 - y0) / 2;
    const float px = x - cx, py = y - cy;
    const float r = px < 0 ? (py < 0 ? rtl : rbl) : (py < 0 ? rtr : rbr);
    const float qx = std::abs(px) - hx + r, qy = std::abs(py) - hy + r;
    return std::min(std::max(qx, qy), 0.f) + std::hypot(std::max(qx, 0.f), std::max(qy, 0.f)) - r;
  };
}
inline Sdf roundRect(float x0, float y0, float x1, float y1, float r) { return roundRect(x0, y0, x1, y1, r, r, r, r); }
inline Sdf rect(float x0, float y0, float x1, float y1) { return roundRect(x0, y0, x1, y1, 0); }
// A stroke of half-width hw along the segment a-b (round caps).
inline Sdf segment(float ax, float ay, float bx, float by, float hw) {
  return [=](float x, float y) {
    const float dx = bx - ax, dy = by - ay;
    const float len2 = dx * dx + dy * dy;
    const float t = len2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.f, 1.f) : 0.f;
    return std::hypot(x - (ax + t * dx), y - (ay + t * dy)) - hw;
  };
}
// Convex polygon, points in either winding.
inline Sdf polygon(std::vector<std::pair<float, float>> pts) {
  float area = 0;
  for (size_t i = 0; i < pts.size(); ++i) {
    const auto& a = pts[i];
    const auto& b = pts[(i + 1) % pts.size()];
    area += a.first * b.second - b.first * a.second;
  }
  const float sign = area > 0 ? 1.f : -1.f;
  return [pts, sign](float x, float y) {
    float d = -1e9f;
    for (size_t i = 0; i < pts.size(); ++i) {
      const auto& a = pts[i];
      const auto& b = pts[(i + 1) % pts.size()];
      const float ex = b.first - a.first, ey = b.second - a.second;
      const float len = std::hypot(ex, ey);
      if (len <= 0) continue;
      // Outward normal for the winding.
      const float nx = sign * ey / len, ny = -sign * ex / len;
      d = std::max(d, (x - a.first) * nx + (y - a.second) * ny);
    }
    return d;
  };
}
// Outline of a shape: |d| − half width.
inline Sdf outline(Sdf s, float hw) {
  return [s, hw](float x, float y) { return std::abs(s(x, y)) - hw; };
}
// Shape shrunk inward by `by` pixels.
inline Sdf inset(Sdf s, float by) {
  return [s, by](float x, float y) { return s(x, y) + by; };
}
inline Sdf unite(Sdf a, Sdf b) {
  return [a, b](float x, float y) { return std::min(a(x, y), b(x, y)); };
}
inline Sdf intersect(Sdf a, Sdf b) {
  return [a, b](float x, float y) { return std::max(a(x, y), b(x, y)); };
}
inline Sdf subtract(Sdf a, Sdf b) {
  return [a, b](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}
// Polyline stroke through points.
inline Sdf polyline(std::vector<std::pair<float, float>> pts, float hw) {
  return [pts, hw](float x, float y) {
    float d = 1e9f;
    for (size_t i = 0; i + 1 < pts.size(); ++i)
      d = std::min(d, segment(pts[i].first, pts[i].second, pts[i + 1].first, pts[i + 1].second, hw)(x, y));
    return d;
  };
}
// Vertical gradient between two colours from y0 to y1.
inline Paint vgradient(RGBA top, RGBA bottom, float y0, float y1) {
  return [=](float, float y) {
    const float t = std::clamp((y - y0) / std::max(1e-3f, y1 - y0), 0.f, 1.f);
    return RGBA{top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t, top.b + (bottom.b - top.b) * t,
                top.a + (bottom.a - top.a) * t};
  };
}

}  // namespace imagegen
