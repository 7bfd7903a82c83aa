// Value types shared by the whole engine: points, sizes, rectangles, colours, 4x4 matrices,
// blend functions and UTF-8 decoding. Plain data, GL-free.
//
// Coordinates are points with the origin at the bottom-left of the window (y grows upwards);
// with the design size equal to the window size, one point is one framebuffer pixel.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace eng {

struct Vec2 {
  float x = 0, y = 0;
  constexpr Vec2() = default;
  constexpr Vec2(float x_, float y_) : x(x_), y(y_) {}
  constexpr Vec2 operator+(Vec2 o) const { return {x + o.x, y + o.y}; }
  constexpr Vec2 operator-(Vec2 o) const { return {x - o.x, y - o.y}; }
  constexpr Vec2 operator-() const { return {-x, -y}; }
  constexpr Vec2 operator*(float s) const { return {x * s, y * s}; }
  constexpr Vec2 operator/(float s) const { return {x / s, y / s}; }
  Vec2& operator+=(Vec2 o) { x += o.x; y += o.y; return *this; }
  Vec2& operator-=(Vec2 o) { x -= o.x; y -= o.y; return *this; }
  constexpr bool operator==(const Vec2&) const = default;
  float length() const { return std::sqrt(x * x + y * y); }
  float distance(Vec2 o) const { return (*this - o).length(); }
  float distanceSquared(Vec2 o) const { const Vec2 d = *this - o; return d.x * d.x + d.y * d.y; }
};

struct Size {
  float width = 0, height = 0;
  constexpr Size() = default;
  constexpr Size(float w, float h) : width(w), height(h) {}
  constexpr bool operator==(const Size&) const = default;
  constexpr Size operator*(float s) const { return {width * s, height * s}; }
};

struct Rect {
  Vec2 origin;
  Size size;
  constexpr Rect() = default;
  constexpr Rect(float x, float y, float w, float h) : origin(x, y), size(w, h) {}
  constexpr Rect(Vec2 o, Size s) : origin(o), size(s) {}
  constexpr bool operator==(const Rect&) const = default;
  constexpr float getMinX() const { return origin.x; }
  constexpr float getMidX() const { return origin.x + size.width * 0.5f; }
  constexpr float getMaxX() const { return origin.x + size.width; }
  constexpr float getMinY() const { return origin.y; }
  constexpr float getMidY() const { return origin.y + size.height * 0.5f; }
  constexpr float getMaxY() const { return origin.y + size.height; }
  // Edges included, as a touch on the border of a control counts as inside.
  constexpr bool containsPoint(Vec2 p) const {
    return p.x >= getMinX() && p.x <= getMaxX() && p.y >= getMinY() && p.y <= getMaxY();
  }
  constexpr bool intersectsRect(const Rect& r) const {
    return !(getMaxX() < r.getMinX() || r.getMaxX() < getMinX() || getMaxY() < r.getMinY() ||
             r.getMaxY() < getMinY());
  }
  // The common part of two rectangles; an empty rectangle (size 0) when they do not overlap.
  Rect intersection(const Rect& r) const;
  Rect unionWithRect(const Rect& r) const;
};

struct Color3B {
  uint8_t r = 255, g = 255, b = 255;
  constexpr Color3B() = default;
  constexpr Color3B(uint8_t r_, uint8_t g_, uint8_t b_) : r(r_), g(g_), b(b_) {}
  constexpr bool operator==(const Color3B&) const = default;
};

struct Color4B {
  uint8_t r = 255, g = 255, b = 255, a = 255;
  constexpr Color4B() = default;
  constexpr Color4B(uint8_t r_, uint8_t g_, uint8_t b_, uint8_t a_) : r(r_), g(g_), b(b_), a(a_) {}
  constexpr Color4B(Color3B c, uint8_t a_ = 255) : r(c.r), g(c.g), b(c.b), a(a_) {}
  constexpr bool operator==(const Color4B&) const = default;
};

struct Color4F {
  float r = 1, g = 1, b = 1, a = 1;
  constexpr Color4F() = default;
  constexpr Color4F(float r_, float g_, float b_, float a_) : r(r_), g(g_), b(b_), a(a_) {}
  constexpr Color4F(Color4B c) : r(c.r / 255.f), g(c.g / 255.f), b(c.b / 255.f), a(c.a / 255.f) {}
  constexpr Color4F(Color3B c, float a_ = 1.f) : r(c.r / 255.f), g(c.g / 255.f), b(c.b / 255.f), a(a_) {}
  constexpr bool operator==(const Color4F&) const = default;
};

// The named colours of the system.
namespace colors {
inline constexpr Color3B WHITE{255, 255, 255};
inline constexpr Color3B BLACK{0, 0, 0};
inline constexpr Color3B RED{255, 0, 0};
inline constexpr Color3B GREEN{0, 255, 0};
inline constexpr Color3B BLUE{0, 0, 255};
inline constexpr Color3B ORANGE{255, 127, 0};
inline constexpr Color3B MAGENTA{255, 0, 255};
inline constexpr Color3B YELLOW{255, 255, 0};
inline constexpr Color3B GRAY{166, 166, 166};
}  // namespace colors

// Column-major 4x4 matrix, as OpenGL expects it: m[col * 4 + row].
struct Mat4 {
  float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

  static Mat4 identity() { return Mat4{}; }
  static Mat4 ortho(float left, float right, float bottom, float top, float nearZ, float farZ);
  static Mat4 translation(float x, float y, float z = 0);
  static Mat4 scale(float x, float y, float z = 1);
  // Rotation about z by `radians`, counter-clockwise in a y-up frame.
  static Mat4 rotationZ(float radians);

  Mat4 operator*(const Mat4& o) const;
  bool operator==(const Mat4&) const = default;
  Vec2 transformPoint(Vec2 p) const;
  // General inverse; the identity when the matrix is singular (e.g. a node scaled to 0).
  Mat4 inverse() const;
  bool isIdentity() const { return *this == Mat4{}; }
};

// OpenGL blend factors by value, so this header needs no GL include.
struct BlendFunc {
  unsigned src = 0x0302;  // GL_SRC_ALPHA
  unsigned dst = 0x0303;  // GL_ONE_MINUS_SRC_ALPHA
  constexpr bool operator==(const BlendFunc&) const = default;
  static const BlendFunc ALPHA_NON_PREMULTIPLIED;  // SRC_ALPHA, ONE_MINUS_SRC_ALPHA (the default)
  static const BlendFunc ALPHA_PREMULTIPLIED;      // ONE, ONE_MINUS_SRC_ALPHA
  static const BlendFunc ADDITIVE;                 // SRC_ALPHA, ONE
  static const BlendFunc DISABLE;                  // ONE, ZERO
};

using Data = std::vector<uint8_t>;

// Decodes UTF-8 into code points. Malformed or truncated sequences (raw SSID bytes need not be
// UTF-8) become U+FFFD one byte at a time, so every input yields text and nothing is skipped.
std::u32string decodeUtf8(std::string_view text);
std::string encodeUtf8(char32_t cp);

}  // namespace eng
