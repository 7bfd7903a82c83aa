#include "engine/Image.h"

#include <png.h>

#include <cstdio>
#include <cstring>

#include "engine/services/FileUtils.h"

namespace eng {

bool decodePng(const uint8_t* bytes, size_t size, Image& out, std::string* error) {
  out = Image{};
  if (!bytes || size < 8) {
    if (error) *error = "not a PNG (too short)";
    return false;
  }
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, bytes, size)) {
    if (error) *error = img.message;
    return false;
  }
  img.format = PNG_FORMAT_RGBA;
  // Refuse absurd headers before allocating (a corrupt file must not exhaust memory).
  if (img.width == 0 || img.height == 0 || img.width > 8192 || img.height > 8192) {
    if (error) *error = "image size out of range";
    png_image_free(&img);
    return false;
  }
  std::vector<uint8_t> buf(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, buf.data(), 0, nullptr)) {
    if (error) *error = img.message;
    png_image_free(&img);
    return false;
  }
  out.width = int(img.width);
  out.height = int(img.height);
  out.rgba = std::move(buf);
  return true;
}

bool loadPng(const std::string& path, Image& out, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!readWholeFile(path, bytes)) {
    out = Image{};
    if (error) *error = "cannot read " + path;
    return false;
  }
  return decodePng(bytes.data(), bytes.size(), out, error);
}

bool savePng(const std::string& path, const Image& image, bool opaque, std::string* error) {
  if (image.empty() || image.rgba.size() < size_t(image.width) * image.height * 4) {
    if (error) *error = "empty image";
    return false;
  }
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = png_uint_32(image.width);
  img.height = png_uint_32(image.height);
  img.format = opaque ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
  std::vector<uint8_t> rgb;
  const void* data = image.rgba.data();
  if (opaque) {
    rgb.resize(size_t(image.width) * image.height * 3);
    for (size_t i = 0, n = size_t(image.width) * image.height; i < n; ++i)
      std::memcpy(&rgb[i * 3], &image.rgba[i * 4], 3);
    data = rgb.data();
  }
  // Write to a temporary name and rename, so a reader never sees half a file.
  const std::string tmp = path + ".part";
  if (!png_image_write_to_file(&img, tmp.c_str(), 0, data, 0, nullptr)) {
    if (error) *error = img.message;
    std::remove(tmp.c_str());
    return false;
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    if (error) *error = "cannot rename to " + path;
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

bool pngSize(const uint8_t* b, size_t n, int& w, int& h) {
  static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (n < 24 || std::memcmp(b, sig, 8) != 0 || std::memcmp(b + 12, "IHDR", 4) != 0) return false;
  w = int((uint32_t(b[16]) << 24) | (uint32_t(b[17]) << 16) | (uint32_t(b[18]) << 8) | b[19]);
  h = int((uint32_t(b[20]) << 24) | (uint32_t(b[21]) << 16) | (uint32_t(b[22]) << 8) | b[23]);
  return w > 0 && h > 0;
}

}  // namespace eng
