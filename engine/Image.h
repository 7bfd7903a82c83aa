// RGBA8888 images in memory and their PNG form (libpng). Row 0 is the top row. Colours are
// straight (not premultiplied) alpha. GL-free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace eng {

struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;  // width × height × 4, top row first
  bool empty() const { return width <= 0 || height <= 0; }
  const uint8_t* pixel(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// Decodes a PNG of any colour type into RGBA8888; false (and an empty image) on bad data.
bool decodePng(const uint8_t* bytes, size_t size, Image& out, std::string* error = nullptr);
bool loadPng(const std::string& path, Image& out, std::string* error = nullptr);
// Writes RGBA8888; with `opaque` the alpha channel is written as 255 (screenshots).
bool savePng(const std::string& path, const Image& image, bool opaque = false, std::string* error = nullptr);
// Width and height from the PNG header alone.
bool pngSize(const uint8_t* bytes, size_t size, int& width, int& height);

}  // namespace eng
