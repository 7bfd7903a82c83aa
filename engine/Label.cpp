#include "engine/Label.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/Renderer.h"
#include "engine/Texture2D.h"
#include "engine/services/FileUtils.h"

namespace eng {

// --- FreeType faces --------------------------------------------------------------------------

namespace {
FT_Library library() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l) != 0) {
      std::fprintf(stderr, "Label: FreeType cannot start\n");
      return FT_Library(nullptr);
    }
    return l;
  }();
  return lib;
}

// One face per font file; the bytes stay alive as long as the face.
struct Face {
  std::vector<uint8_t> bytes;
  FT_Face face = nullptr;
  int currentSize = 0;
};

Face* loadFace(const std::string& file) {
  static std::map<std::string, std::unique_ptr<Face>> faces;
  const std::string path = FileUtils::getInstance().fullPathForFilename(file);
  if (path.empty()) return nullptr;
  auto it = faces.find(path);
  if (it != faces.end()) return it->second.get();
  auto f = std::make_unique<Face>();
  if (!library() || !readWholeFile(path, f->bytes) ||
      FT_New_Memory_Face(library(), f->bytes.data(), FT_Long(f->bytes.size()), 0, &f->face) != 0) {
    std::fprintf(stderr, "Label: cannot load font %s\n", path.c_str());
    faces[path] = nullptr;
    return nullptr;
  }
  FT_Select_Charmap(f->face, FT_ENCODING_UNICODE);
  Face* raw = f.get();
  faces[path] = std::move(f);
  return raw;
}

bool setSize(Face* f, int px) {
  if (f->currentSize == px) return true;
  if (FT_Set_Pixel_Sizes(f->face, 0, FT_UInt(px)) != 0) return false;
  f->currentSize = px;
  return true;
}

bool isZeroWidth(char32_t cp) {
  return (cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0x200B && cp <= 0x200F) || cp == 0x2060 || cp == 0xFEFF;
}

std::map<std::pair<std::string, int>, std::unique_ptr<FontAtlas>>& atlases() {
  static std::map<std::pair<std::string, int>, std::unique_ptr<FontAtlas>> a;
  return a;
}
}  // namespace

struct FontAtlas::Impl {
  Face* primary = nullptr;
  Face* fallback = nullptr;
};

FontAtlas::~FontAtlas() = default;

FontAtlas* FontAtlas::get(const std::string& file, int px) {
  px = std::clamp(px, 1, 512);
  auto key = std::make_pair(FileUtils::getInstance().fullPathForFilename(file), px);
  if (key.first.empty()) return nullptr;
  auto& all = atlases();
  auto it = all.find(key);
  if (it != all.end()) return it->second.get();
  Face* face = loadFace(file);
  if (!face || !setSize(face, px)) return nullptr;
  std::unique_ptr<FontAtlas> a(new FontAtlas());
  a->impl_ = std::make_unique<Impl>();
  a->impl_->primary = face;
  a->impl_->fallback = loadFace(Label::FALLBACK_FONT);
  if (a->impl_->fallback == face) a->impl_->fallback = nullptr;
  a->pixelSize_ = px;
  const FT_Size_Metrics& m = face->face->size->metrics;
  a->ascender_ = float(m.ascender) / 64.f;
  a->descender_ = float(m.descender) / 64.f;
  a->lineHeight_ = float(m.height) / 64.f;
  FontAtlas* raw = a.get();
  all[key] = std::move(a);
  return raw;
}

void FontAtlas::releaseAll() { atlases().clear(); }

Texture2D* FontAtlas::page(int i) const {
  return i >= 0 && size_t(i) < pages_.size() ? pages_[size_t(i)].get() : nullptr;
}

float FontAtlas::kerning(const GlyphInfo& a, const GlyphInfo& b) const {
  if (a.faceIndex != b.faceIndex || a.faceIndex != 0) return 0;
  FT_Face f = impl_->primary->face;
  if (!FT_HAS_KERNING(f)) return 0;
  setSize(impl_->primary, pixelSize_);
  FT_Vector k{0, 0};
  if (FT_Get_Kerning(f, a.glyphIndex, b.glyphIndex, FT_KERNING_DEFAULT, &k) != 0) return 0;
  return float(k.x) / 64.f;
}

const GlyphInfo& FontAtlas::glyph(char32_t cp) {
  auto it = glyphs_.find(cp);
  if (it != glyphs_.end()) return it->second;
  GlyphInfo g;
  if (isZeroWidth(cp) || cp == '\n' || cp == '\r') {
    g.valid = true;
    return glyphs_[cp] = g;
  }
  Face* face = impl_->primary;
  unsigned faceIndex = 0;
  FT_UInt index = FT_Get_Char_Index(face->face, FT_ULong(cp));
  if (index == 0 && impl_->fallback) {
    const FT_UInt fi = FT_Get_Char_Index(impl_->fallback->face, FT_ULong(cp));
    if (fi != 0) {
      face = impl_->fallback;
      faceIndex = 1;
      index = fi;
    }
  }
  // index 0 is the font's "missing glyph" box: still drawn, so the gap is visible.
  if (!setSize(face, pixelSize_) || FT_Load_Glyph(face->face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) {
    return glyphs_[cp] = g;
  }
  const FT_GlyphSlot slot = face->face->glyph;
  const FT_Bitmap& bm = slot->bitmap;
  g.valid = true;
  g.faceIndex = faceIndex;
  g.glyphIndex = index;
  g.advance = float(slot->advance.x) / 64.f;
  g.bearingX = float(slot->bitmap_left);
  g.bearingY = float(slot->bitmap_top);
  g.width = int(bm.width);
  g.height = int(bm.rows);
  if (g.width > 0 && g.height > 0 && g.width < PAGE_SIZE - 2 && g.height < PAGE_SIZE - 2) {
    // Shelf packing with one pixel of gutter so linear filtering never bleeds.
    if (pages_.empty() || penX_ + g.width + 1 > PAGE_SIZE) {
      penX_ = 1;
      penY_ += rowHeight_ + 1;
      rowHeight_ = 0;
    }
    if (pages_.empty() || penY_ + g.height + 1 > PAGE_SIZE) {
      Texture2D* t = Texture2D::create();
      t->initWithData(nullptr, 0, Texture2D::PixelFormat::A8, PAGE_SIZE, PAGE_SIZE,
                      Size(float(PAGE_SIZE), float(PAGE_SIZE)));
      pages_.emplace_back(t);
      penX_ = penY_ = 1;
      rowHeight_ = 0;
    }
    std::vector<uint8_t> rows(size_t(g.width) * g.height);
    for (int y = 0; y < g.height; ++y)
      for (int x = 0; x < g.width; ++x) {
        uint8_t v = 0;
        if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) v = bm.buffer[y * bm.pitch + x];
        else if (bm.pixel_mode == FT_PIXEL_MODE_MONO) v = (bm.buffer[y * bm.pitch + x / 8] & (0x80 >> (x % 8))) ? 255 : 0;
        rows[size_t(y) * g.width + x] = v;
      }
    g.page = int(pages_.size()) - 1;
    g.x = penX_;
    g.y = penY_;
    pages_.back()->updateWithData(rows.data(), g.x, g.y, g.width, g.height);
    penX_ += g.width + 1;
    rowHeight_ = std::max(rowHeight_, g.height);
  } else {
    g.width = g.height = 0;
  }
  return glyphs_[cp] = g;
}

// --- Label -----------------------------------------------------------------------------------

Label* Label::create() {
  auto* l = new Label();
  if (!l->init()) {
    l->release();
    return nullptr;
  }
  l->autorelease();
  return l;
}

Label* Label::createWithTTF(const std::string& text, const std::string& font, float size, const Size& dim,
                            TextHAlignment h, TextVAlignment v) {
  auto* l = new Label();
  if (!l->initWithTTF(text, font, size, dim, h, v)) {
    l->release();
    return nullptr;
  }
  l->autorelease();
  return l;
}

Label* Label::createWithSystemFont(const std::string& text, const std::string& name, float size, const Size& dim,
                                   TextHAlignment h, TextVAlignment v) {
  const bool isFile = !name.empty() && FileUtils::getInstance().isFileExist(name);
  return createWithTTF(text, isFile ? name : std::string(DEFAULT_FONT), size, dim, h, v);
}

bool Label::init() {
  setAnchorPoint(Vec2(0.5f, 0.5f));
  return true;
}

bool Label::initWithTTF(const std::string& text, const std::string& font, float size, const Size& dim,
                        TextHAlignment h, TextVAlignment v) {
  setAnchorPoint(Vec2(0.5f, 0.5f));
  fontFile_ = font;
  fontSize_ = size > 0 ? size : 12;
  dimensions_ = dim;
  hAlign_ = h;
  vAlign_ = v;
  text_ = text;
  if (!FontAtlas::get(fontFile_, int(std::lround(fontSize_)))) return false;
  layout();
  return true;
}

void Label::setString(const std::string& t) {
  if (t == text_) return;
  text_ = t;
  markDirty();
}
void Label::setFontFile(const std::string& f) {
  if (f == fontFile_) return;
  fontFile_ = f;
  markDirty();
}
void Label::setFontSize(float s) {
  if (s <= 0 || s == fontSize_) return;
  fontSize_ = s;
  markDirty();
}
void Label::setDimensions(float w, float h) {
  dimensions_ = Size(std::max(0.f, w), std::max(0.f, h));
  markDirty();
}
void Label::setMaxLineWidth(float w) {
  maxLineWidth_ = std::max(0.f, w);
  markDirty();
}
void Label::setHorizontalAlignment(TextHAlignment h) {
  hAlign_ = h;
  markDirty();
}
void Label::setVerticalAlignment(TextVAlignment v) {
  vAlign_ = v;
  markDirty();
}
void Label::setOverflow(Overflow o) {
  overflow_ = o;
  markDirty();
}
void Label::setLineSpacing(float extra) {
  lineSpacing_ = extra;
  markDirty();
}
float Label::getLineHeight() const { return atlas_ ? atlas_->lineHeight() + lineSpacing_ : 0; }

void Label::setContentSize(const Size& s) {
  if (inLayout_) {
    Node::setContentSize(s);
    return;
  }
  dimensions_ = s;
  markDirty();
}

void Label::layout() {
  if (inLayout_) return;
  renderedSize_ = fontSize_;
  FontAtlas* atlas = FontAtlas::get(fontFile_, int(std::lround(fontSize_)));
  if (!atlas) {
    quads_.clear();
    lines_ = 0;
    inLayout_ = true;
    Node::setContentSize(dimensions_);
    inLayout_ = false;
    return;
  }
  bool fits = layoutAt(atlas, overflow_ == Overflow::SHRINK);
  if (overflow_ == Overflow::SHRINK && !fits) {
    // Step down one pixel size at a time until the text fits (never below 1 px).
    for (int px = int(std::lround(fontSize_)) - 1; px >= 1; --px) {
      FontAtlas* a = FontAtlas::get(fontFile_, px);
      if (!a) break;
      atlas = a;
      renderedSize_ = float(px);
      if (layoutAt(a, true)) break;
    }
  }
  layoutAt(atlas, false);
}

// Lays the text out with `atlas`. Returns whether it fits the fixed dimensions (always true
// without them). With measureOnly no quads are kept.
bool Label::layoutAt(FontAtlas* atlas, bool measureOnly) {
  atlas_ = atlas;
  const std::u32string cps = decodeUtf8(text_);
  const float wrap = dimensions_.width > 0 ? dimensions_.width : maxLineWidth_;
  const float lineH = atlas->lineHeight() + lineSpacing_;

  // Break into lines: explicit "\n", then wrapping at spaces.
  struct Line {
    size_t begin, end;
    float width;
  };
  std::vector<Line> lines;
  auto measure = [&](size_t b, size_t e) {
    float w = 0;
    const GlyphInfo* prev = nullptr;
    for (size_t i = b; i < e; ++i) {
      const GlyphInfo& g = atlas->glyph(cps[i]);
      if (prev) w += atlas->kerning(*prev, g);
      w += g.advance;
      prev = &g;
    }
    return w;
  };
  bool tooWide = false;
  bool brokeWord = false;  // a word was split between characters
  size_t start = 0;
  for (size_t i = 0; i <= cps.size(); ++i) {
    if (i < cps.size() && cps[i] != U'\n') continue;
    // Paragraph [start, i)
    size_t b = start;
    if (wrap <= 0) {
      lines.push_back({b, i, measure(b, i)});
    } else {
      while (true) {
        float w = 0;
        size_t lastSpace = SIZE_MAX;
        size_t j = b;
        const GlyphInfo* prev = nullptr;
        for (; j < i; ++j) {
          const GlyphInfo& g = atlas->glyph(cps[j]);
          const float add = g.advance + (prev ? atlas->kerning(*prev, g) : 0);
          if (cps[j] == U' ') lastSpace = j;
          if (w + add > wrap + 0.01f && j > b && cps[j] != U' ') break;
          w += add;
          prev = &g;
        }
        if (j >= i) {
          lines.push_back({b, i, measure(b, i)});
          break;
        }
        size_t cut = (lastSpace != SIZE_MAX && lastSpace > b) ? lastSpace : j;
        if (cut == j && cps[j] != U' ') brokeWord = true;
        size_t lineEnd = cut;
        while (lineEnd > b && cps[lineEnd - 1] == U' ') --lineEnd;  // no trailing spaces
        lines.push_back({b, lineEnd, measure(b, lineEnd)});
        b = cut;
        while (b < i && cps[b] == U' ') ++b;
        if (b >= i) break;
      }
    }
    start = i + 1;
  }
  if (lines.empty()) lines.push_back({0, 0, 0});
  float widest = 0;
  for (const Line& l : lines) widest = std::max(widest, l.width);
  if (wrap > 0)
    for (const Line& l : lines) tooWide = tooWide || l.width > wrap + 0.01f;
  const float textH = float(lines.size()) * lineH;
  bool fits = true;
  if (dimensions_.width > 0 && widest > dimensions_.width + 0.01f) fits = false;
  if (tooWide) fits = false;
  // Shrinking aims at whole words: a word split to fit the width does not count as fitting.
  if (overflow_ == Overflow::SHRINK && brokeWord) fits = false;
  if (dimensions_.height > 0 && textH > dimensions_.height + 0.01f) fits = false;
  if (measureOnly) return fits;

  const float boxW = dimensions_.width > 0 ? dimensions_.width : (maxLineWidth_ > 0 ? std::max(widest, 0.f) : widest);
  const float boxH = dimensions_.height > 0 ? dimensions_.height : textH;
  float top = boxH;
  if (dimensions_.height > 0) {
    if (vAlign_ == TextVAlignment::CENTER) top = boxH - (boxH - textH) / 2;
    else if (vAlign_ == TextVAlignment::BOTTOM) top = textH;
  }
  quads_.clear();
  lines_ = int(lines.size());
  const float inv = 1.f / float(FontAtlas::PAGE_SIZE);
  for (size_t li = 0; li < lines.size(); ++li) {
    const Line& l = lines[li];
    float x = 0;
    if (hAlign_ == TextHAlignment::CENTER) x = (boxW - l.width) / 2;
    else if (hAlign_ == TextHAlignment::RIGHT) x = boxW - l.width;
    const float baseline = top - float(li) * lineH - atlas->ascender();
    const GlyphInfo* prev = nullptr;
    for (size_t i = l.begin; i < l.end; ++i) {
      const GlyphInfo& g = atlas->glyph(cps[i]);
      if (prev) x += atlas->kerning(*prev, g);
      if (g.width > 0 && g.height > 0) {
        Quad q;
        q.page = g.page;
        q.box = Rect(std::round(x + g.bearingX), std::round(baseline + g.bearingY - float(g.height)), float(g.width),
                     float(g.height));
        q.uv = Rect(float(g.x) * inv, float(g.y) * inv, float(g.width) * inv, float(g.height) * inv);
        quads_.push_back(q);
      }
      x += g.advance;
      prev = &g;
    }
  }
  inLayout_ = true;
  Node::setContentSize(Size(boxW, boxH));
  inLayout_ = false;
  return fits;
}

void Label::draw(Renderer& renderer, const Mat4& transform, uint32_t) {
  if (quads_.empty() || !atlas_) return;
  const Color3B nc = getDisplayedColor();
  const unsigned alpha = unsigned(textColor_.a) * getDisplayedOpacity() / 255;
  const Color4B c(uint8_t(unsigned(textColor_.r) * nc.r / 255), uint8_t(unsigned(textColor_.g) * nc.g / 255),
                  uint8_t(unsigned(textColor_.b) * nc.b / 255), uint8_t(alpha));
  for (size_t p = 0; p < atlas_->pageCount(); ++p) {
    BatchCommand* b = nullptr;
    for (const Quad& q : quads_) {
      if (size_t(q.page) != p) continue;
      if (!b) {
        b = &renderer.addBatch(this, Primitive::TRIANGLES, transform);
        b->texture = atlas_->page(int(p));
        b->alphaTexture = true;
      }
      const float x0 = q.box.getMinX(), x1 = q.box.getMaxX(), y0 = q.box.getMinY(), y1 = q.box.getMaxY();
      const float u0 = q.uv.getMinX(), u1 = q.uv.getMaxX(), vt = q.uv.getMinY(), vb = q.uv.getMaxY();
      const V2F_C4B_T2F v[6] = {{{x0, y0}, c, u0, vb}, {{x1, y0}, c, u1, vb}, {{x1, y1}, c, u1, vt},
                                {{x0, y0}, c, u0, vb}, {{x1, y1}, c, u1, vt}, {{x0, y1}, c, u0, vt}};
      b->vertices.insert(b->vertices.end(), v, v + 6);
    }
  }
}

}  // namespace eng
