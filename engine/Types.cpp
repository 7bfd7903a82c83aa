#include "engine/Types.h"

#include <algorithm>

namespace eng {

const BlendFunc BlendFunc::ALPHA_NON_PREMULTIPLIED{0x0302, 0x0303};
const BlendFunc BlendFunc::ALPHA_PREMULTIPLIED{1, 0x0303};
const BlendFunc BlendFunc::ADDITIVE{0x0302, 1};
const BlendFunc BlendFunc::DISABLE{1, 0};

Rect Rect::intersection(const Rect& r) const {
  const float x0 = std::max(getMinX(), r.getMinX());
  const float y0 = std::max(getMinY(), r.getMinY());
  const float x1 = std::min(getMaxX(), r.getMaxX());
  const float y1 = std::min(getMaxY(), r.getMaxY());
  if (x1 <= x0 || y1 <= y0) return Rect(x0, y0, 0, 0);
  return Rect(x0, y0, x1 - x0, y1 - y0);
}

Rect Rect::unionWithRect(const Rect& r) const {
  const float x0 = std::min(getMinX(), r.getMinX());
  const float y0 = std::min(getMinY(), r.getMinY());
  const float x1 = std::max(getMaxX(), r.getMaxX());
  const float y1 = std::max(getMaxY(), r.getMaxY());
  return Rect(x0, y0, x1 - x0, y1 - y0);
}

Mat4 Mat4::ortho(float l, float r, float b, float t, float n, float f) {
  Mat4 o;
  o.m[0] = 2 / (r - l);
  o.m[5] = 2 / (t - b);
  o.m[10] = -2 / (f - n);
  o.m[12] = -(r + l) / (r - l);
  o.m[13] = -(t + b) / (t - b);
  o.m[14] = -(f + n) / (f - n);
  return o;
}

Mat4 Mat4::translation(float x, float y, float z) {
  Mat4 o;
  o.m[12] = x;
  o.m[13] = y;
  o.m[14] = z;
  return o;
}

Mat4 Mat4::scale(float x, float y, float z) {
  Mat4 o;
  o.m[0] = x;
  o.m[5] = y;
  o.m[10] = z;
  return o;
}

Mat4 Mat4::rotationZ(float a) {
  Mat4 o;
  const float c = std::cos(a), s = std::sin(a);
  o.m[0] = c;
  o.m[1] = s;
  o.m[4] = -s;
  o.m[5] = c;
  return o;
}

Mat4 Mat4::operator*(const Mat4& o) const {
  Mat4 r;
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row) {
      float s = 0;
      for (int k = 0; k < 4; ++k) s += m[k * 4 + row] * o.m[col * 4 + k];
      r.m[col * 4 + row] = s;
    }
  return r;
}

Vec2 Mat4::transformPoint(Vec2 p) const {
  const float x = m[0] * p.x + m[4] * p.y + m[12];
  const float y = m[1] * p.x + m[5] * p.y + m[13];
  const float w = m[3] * p.x + m[7] * p.y + m[15];
  if (w != 0 && w != 1) return {x / w, y / w};
  return {x, y};
}

Mat4 Mat4::inverse() const {
  // Cofactor expansion (the classic 4x4 inverse).
  const float* a = m;
  float inv[16];
  inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] + a[9] * a[7] * a[14] +
           a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
  inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] - a[8] * a[7] * a[14] -
           a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
  inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] + a[8] * a[7] * a[13] +
           a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
  inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] - a[8] * a[6] * a[13] -
            a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
  inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] - a[9] * a[3] * a[14] -
           a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
  inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] + a[8] * a[3] * a[14] +
           a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
  inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] - a[8] * a[3] * a[13] -
           a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
  inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] + a[8] * a[2] * a[13] +
            a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
  inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
           a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
  inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] - a[4] * a[3] * a[14] -
           a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
  inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] + a[4] * a[3] * a[13] +
            a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
  inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] - a[4] * a[2] * a[13] -
            a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
  inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] - a[5] * a[3] * a[10] -
           a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
  inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
           a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
  inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
            a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
  inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
            a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
  const float det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
  if (det == 0 || !std::isfinite(det)) return Mat4{};
  Mat4 r;
  for (int i = 0; i < 16; ++i) r.m[i] = inv[i] / det;
  return r;
}

std::u32string decodeUtf8(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const uint8_t c = static_cast<uint8_t>(s[i]);
    int len = 0;
    char32_t cp = 0;
    if (c < 0x80) { out.push_back(c); ++i; continue; }
    if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; }
    bool ok = len > 0 && i + len <= n;
    for (int k = 1; ok && k < len; ++k) {
      const uint8_t cc = static_cast<uint8_t>(s[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (cc & 0x3F);
    }
    // Reject overlong forms, surrogates and values past U+10FFFF.
    if (ok) {
      static const char32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
      if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) ok = false;
    }
    if (!ok) { out.push_back(0xFFFD); ++i; continue; }
    out.push_back(cp);
    i += len;
  }
  return out;
}

std::string encodeUtf8(char32_t cp) {
  std::string o;
  if (cp < 0x80) o += char(cp);
  else if (cp < 0x800) { o += char(0xC0 | (cp >> 6)); o += char(0x80 | (cp & 0x3F)); }
  else if (cp < 0x10000) {
    o += char(0xE0 | (cp >> 12)); o += char(0x80 | ((cp >> 6) & 0x3F)); o += char(0x80 | (cp & 0x3F));
  } else {
    o += char(0xF0 | (cp >> 18)); o += char(0x80 | ((cp >> 12) & 0x3F));
    o += char(0x80 | ((cp >> 6) & 0x3F)); o += char(0x80 | (cp & 0x3F));
  }
  return o;
}

}  // namespace eng
