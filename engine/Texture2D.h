// Textures: RGBA8888 (or alpha-only for glyph atlases) with a CPU copy of the pixels. Changes
// (initWithData, updateWithData) are uploaded the next time the texture is bound while
// rendering, and only the rows that changed; without a GL context nothing is uploaded, so
// headless code can create and update textures freely.
//
// Row 0 of the data is the top row: sprites show it at their top edge.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/Ref.h"
#include "engine/Types.h"

namespace eng {

struct Image;

class Texture2D : public Ref {
 public:
  enum class PixelFormat { RGBA8888, A8 };

  static Texture2D* create();
  // `len` must cover pw × ph pixels; the content size (points) is usually pw × ph.
  bool initWithData(const void* data, size_t len, PixelFormat format, int pixelsWide, int pixelsHigh,
                    const Size& contentSize);
  bool initWithImage(const Image& image);
  // Replaces the rectangle (x, y, w, h) (from the top-left) with tightly packed pixels.
  bool updateWithData(const void* data, int x, int y, int w, int h);

  void setAliasTexParameters();      // nearest
  void setAntiAliasTexParameters();  // linear (the default)
  bool isAntiAlias() const { return linear_; }

  int getPixelsWide() const { return width_; }
  int getPixelsHigh() const { return height_; }
  Size getContentSize() const { return contentSize_; }
  PixelFormat getPixelFormat() const { return format_; }
  // The used fractions of the texture (content ÷ pixels by default); the owner may set them.
  float getMaxS() const { return maxS_; }
  float getMaxT() const { return maxT_; }
  void setMaxS(float s) { maxS_ = s; }
  void setMaxT(float t) { maxT_ = t; }
  const uint8_t* pixels() const { return pixels_.data(); }
  int bytesPerPixel() const { return format_ == PixelFormat::A8 ? 1 : 4; }
  // Rows waiting for upload ([first, last), empty when none).
  std::pair<int, int> pendingRows() const { return {dirtyFrom_, dirtyTo_}; }

  // GL: binds to `unit`, creating and uploading as needed. Returns the GL name.
  unsigned bind(int unit = 0);
  unsigned getName() const { return name_; }

 protected:
  Texture2D() = default;
  ~Texture2D() override;

 private:
  void markDirty(int from, int to);
  std::vector<uint8_t> pixels_;
  PixelFormat format_ = PixelFormat::RGBA8888;
  int width_ = 0, height_ = 0;
  Size contentSize_;
  float maxS_ = 1, maxT_ = 1;
  bool linear_ = true;
  bool paramsDirty_ = true;
  int dirtyFrom_ = 0, dirtyTo_ = 0;
  unsigned name_ = 0;
  unsigned generation_ = 0;
};

// Textures from image files found through the search paths, each loaded once.
class TextureCache {
 public:
  static TextureCache* getInstance();
  // nullptr (and one line on stderr) when the file is missing or not a PNG.
  Texture2D* addImage(const std::string& file);
  Texture2D* getTextureForKey(const std::string& file) const;
  void removeAllTextures();

 private:
  std::map<std::string, RefPtr<Texture2D>> textures_;
};

}  // namespace eng
