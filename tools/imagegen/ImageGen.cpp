// Draws every image the user interface loads, into <res>/ with the names it asks for.
//
//   tarvo_imagegen <res directory> <bold font file>
//
// Dark theme: panels and buttons in greys with a blue accent; shapes the views tint (bubbles,
// peak icon, ground label, markers, slider bar) are white. Atlases keep their parts in the
// quadrants or halves the views cut out. Everything is deterministic: the same build gives
// the same bytes.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>

#include "Canvas.h"

using namespace imagegen;

namespace {

std::string g_out;
int g_written = 0;
bool g_failed = false;

void save(const Canvas& c, const std::string& name) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = png_uint_32(c.width());
  img.height = png_uint_32(c.height());
  img.format = PNG_FORMAT_RGBA;
  const auto bytes = c.bytes();
  const std::string path = g_out + "/" + name;
  if (!png_image_write_to_file(&img, path.c_str(), 0, bytes.data(), 0, nullptr)) {
    std::fprintf(stderr, "imagegen: cannot write %s: %s\n", path.c_str(), img.message);
    g_failed = true;
    return;
  }
  ++g_written;
}

constexpr float PI = std::numbers::pi_v<float>;

// Palette
const RGBA PANEL = rgb(30, 30, 33, 0.94f);
const RGBA PANEL_EDGE = rgb(86, 86, 94);
const RGBA BTN = rgb(50, 50, 55);
const RGBA BTN_EDGE = rgb(100, 100, 110);
const RGBA SEL = rgb(0, 122, 204);
const RGBA SEL_EDGE = rgb(96, 176, 240);
const RGBA DIS = rgb(36, 36, 38);
const RGBA DIS_EDGE = rgb(58, 58, 62);
const RGBA ICON = rgb(205, 205, 210);
const RGBA ACCENT = rgb(0, 153, 239);

// A bordered rounded panel filling the canvas.
void panel(Canvas& c, RGBA fill, RGBA edge, float rtl, float rtr, float rbr, float rbl, float border = 1.5f) {
  const float w = float(c.width()), h = float(c.height());
  Sdf shape = roundRect(0.5f, 0.5f, w - 0.5f, h - 0.5f, rtl, rtr, rbr, rbl);
  c.fill(shape, edge);
  c.fill(inset(shape, border), fill);
}
void panel(Canvas& c, float r, RGBA fill, RGBA edge) { panel(c, fill, edge, r, r, r, r); }

// --- individual images -----------------------------------------------------------------------

void demoWatermark(const std::string& boldFont) {
  Canvas c(256, 96);
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&lib) == 0 && FT_New_Face(lib, boldFont.c_str(), 0, &face) == 0) {
    FT_Set_Pixel_Sizes(face, 0, 72);
    // Measure, then draw centred.
    const char* text = "DEMO";
    int width = 0;
    for (const char* p = text; *p; ++p) {
      FT_Load_Char(face, FT_ULong(*p), FT_LOAD_DEFAULT);
      width += int(face->glyph->advance.x >> 6);
    }
    int pen = (c.width() - width) / 2;
    const int baseline = 48 + int(face->size->metrics.ascender >> 6) / 2 - 4;
    for (const char* p = text; *p; ++p) {
      if (FT_Load_Char(face, FT_ULong(*p), FT_LOAD_RENDER) != 0) continue;
      const FT_Bitmap& bm = face->glyph->bitmap;
      c.mask(bm.buffer, int(bm.width), int(bm.rows), bm.pitch, pen + face->glyph->bitmap_left,
             baseline - face->glyph->bitmap_top, WHITE);
      pen += int(face->glyph->advance.x >> 6);
    }
    FT_Done_Face(face);
  } else {
    std::fprintf(stderr, "imagegen: cannot load %s for demo.png\n", boldFont.c_str());
    g_failed = true;
  }
  if (lib) FT_Done_FreeType(lib);
  c.fill(outline(roundRect(4, 4, 252, 92, 14), 2.5f), WHITE);
  save(c, "demo.png");
}

void wheels() {
  // Outer: a ring of twelve teeth; inner: a smaller ring with four spokes. Both centred in 64 × 64
  // so they turn about the same point.
  {
    Canvas c(64, 64);
    Sdf ring = outline(circle(32, 32, 26), 3.f);
    Sdf teeth = [](float x, float y) {
      const float a = std::atan2(y - 32, x - 32);
      const float k = std::fmod(a + 2 * PI, 2 * PI / 12) - PI / 12;
      const float r = std::hypot(x - 32, y - 32);
      return std::max(std::abs(k) * r - 2.5f, std::abs(r - 29.5f) - 2.5f);
    };
    c.fill(unite(ring, teeth), ACCENT);
    save(c, "OuterWheel.png");
  }
  {
    Canvas c(64, 64);
    Sdf ring = outline(circle(32, 32, 15), 2.5f);
    Sdf spokes = unite(segment(32, 19, 32, 45, 1.8f), segment(19, 32, 45, 32, 1.8f));
    c.fill(unite(ring, spokes), WHITE);
    c.fill(circle(32, 32, 4), WHITE);
    save(c, "InnerWheel.png");
  }
}

void peakIcon() {
  // A pin: round head with a tip at the bottom centre.
  Canvas c(32, 32);
  Sdf head = circle(16, 11, 9);
  Sdf tip = polygon({{8.2f, 15}, {23.8f, 15}, {16, 31}});
  c.fill(subtract(unite(head, tip), circle(16, 11, 3.5f)), WHITE);  // with a hole in the head
  save(c, "PeakIcon.png");
}

// A rounded bubble of w × h inside a cell, with a pointer: +1 at the bottom, −1 at the top, 0 none.
void bubble(Canvas& c, float ox, float oy, float w, float h, int pointer) {
  const float p = 7;  // pointer height
  const float top = oy + (pointer < 0 ? p : 1), bottom = oy + h - (pointer > 0 ? p : 1);
  Sdf body = roundRect(ox + 1, top, ox + w - 1, bottom, 6);
  if (pointer > 0) body = unite(body, polygon({{ox + w / 2 - 6, bottom - 1}, {ox + w / 2 + 6, bottom - 1}, {ox + w / 2, oy + h - 0.5f}}));
  if (pointer < 0) body = unite(body, polygon({{ox + w / 2 - 6, top + 1}, {ox + w / 2, oy + 0.5f}, {ox + w / 2 + 6, top + 1}}));
  c.fill(body, WHITE);
}

void bubbleAtlas() {
  // 2 × 2 cells of 64 × 32: top-left "above" (pointer down), top-right "below" (pointer up),
  // bottom-right "inside" (no pointer), bottom-left unused.
  Canvas c(128, 64);
  bubble(c, 0, 0, 64, 32, +1);
  bubble(c, 64, 0, 64, 32, -1);
  bubble(c, 64, 32, 64, 32, 0);
  save(c, "WhiteBubbleTextureMap.png");
}

void expandShrink() {
  // Left half: arrows pointing out; right half: arrows pointing in.
  Canvas c(64, 32);
  auto arrow = [&](float x0, float x1, float y) {  // shaft from x0 to x1, head at x1
    const float dir = x1 > x0 ? 1.f : -1.f;
    c.fill(segment(x0, y, x1 - dir * 3, y, 1.6f), ICON);
    c.fill(polygon({{x1, y}, {x1 - dir * 7, y - 5}, {x1 - dir * 7, y + 5}}), ICON);
  };
  arrow(16, 4, 16);
  arrow(16, 28, 16);
  arrow(34, 46, 16);  // shrink: heads meet near the centre bar
  arrow(62, 50, 16);
  c.fill(segment(48, 8, 48, 24, 1.3f), ICON);
  c.fill(segment(16, 8, 16, 24, 1.3f), ICON);
  save(c, "ExpandShrinkIcon.png");
}

void simplePanels() {
  {
    Canvas c(48, 48);
    panel(c, 8, rgb(44, 44, 50, 0.92f), rgb(140, 140, 150));
    save(c, "ChannelGuideButton.png");
  }
  {
    Canvas c(64, 64);
    panel(c, 10, PANEL, PANEL_EDGE);
    save(c, "MenuBackground.png");
  }
  {
    Canvas c(64, 64);
    panel(c, 12, rgb(24, 24, 28, 0.9f), rgb(110, 110, 120));
    save(c, "ScalingPopoverBackground.png");
  }
  {
    Canvas c(64, 64);
    panel(c, rgb(38, 38, 42, 0.97f), rgb(120, 120, 130), 12, 12, 12, 12, 2.f);
    save(c, "AlertViewBackground.png");
  }
}

void closeIcon() {
  Canvas c(24, 24);
  c.fill(circle(12, 12, 11), rgb(70, 70, 76));
  c.fill(outline(circle(12, 12, 11), 0.8f), rgb(150, 150, 160));
  c.fill(unite(segment(7.5f, 7.5f, 16.5f, 16.5f, 1.6f), segment(16.5f, 7.5f, 7.5f, 16.5f, 1.6f)), WHITE);
  save(c, "close_icon.png");
}

void popoverBoxes() {
  // 2 × 2 cells of 32 × 32: idle (dim outline), start (outlined in the accent), current
  // (filled), unused.
  Canvas c(64, 64);
  c.fill(outline(roundRect(4, 4, 28, 28, 4), 1.5f), rgb(150, 150, 155));
  c.fill(roundRect(36, 4, 60, 28, 4), rgb(255, 255, 255, 0.15f));
  c.fill(outline(roundRect(36, 4, 60, 28, 4), 2.f), rgb(255, 160, 40));
  c.fill(roundRect(4, 36, 28, 60, 4), ACCENT);
  c.fill(outline(roundRect(4, 36, 28, 60, 4), 1.f), SEL_EDGE);
  save(c, "ScalingPopoverBox.png");
}

void magnifier() {
  Canvas c(48, 48);
  c.fill(circle(20, 20, 13), rgb(255, 255, 255, 0.12f));
  c.fill(outline(circle(20, 20, 13), 2.5f), ICON);
  c.fill(segment(30, 30, 42, 42, 4.f), ICON);
  c.fill(segment(14, 20, 26, 20, 1.6f), ICON);
  c.fill(segment(20, 14, 20, 26, 1.6f), ICON);
  save(c, "magnifying-glass.png");
}

void groundLabel() {
  // 70 × 24: a pointed left end (the stretch-free left 0.1857 × width = 13 px) and a rounded
  // right end (0.0571 × width = 4 px); white, tinted by channel.
  Canvas c(70, 24);
  Sdf body = unite(polygon({{0.5f, 12}, {13, 1}, {13, 23}}), roundRect(12, 1, 69.5f, 23, 0, 4, 4, 0));
  c.fill(body, WHITE);
  save(c, "groundLabel.png");
}

void positionAndDelay() {
  // Stacked halves of 32 × 32: top the trigger-position marker (a triangle pointing down), bottom
  // the delay marker (a triangle pointing down standing on a bar).
  {
    Canvas c(32, 64);
    c.fill(polygon({{4, 6}, {28, 6}, {16, 28}}), WHITE);
    c.fill(rect(4, 36, 28, 40), WHITE);
    c.fill(polygon({{8, 42}, {24, 42}, {16, 60}}), WHITE);
    save(c, "PositionAndDelayIcon.png");
  }
  {
    // Side by side: left the level marker pointing left, right unused.
    Canvas c(64, 32);
    c.fill(polygon({{4, 16}, {28, 4}, {28, 28}}), WHITE);
    save(c, "PositionAndDelayIconSideways.png");
  }
}

void lineBars() {
  {
    Canvas c(64, 2);
    c.fill(rect(0, 0, 64, 2), rgb(110, 110, 118));
    save(c, "LineBar-grey.png");
  }
  {
    Canvas c(2, 64);
    c.fill(rect(0, 0, 2, 64), rgb(110, 110, 118));
    save(c, "LineBar-grey_rotated.png");
  }
}

void lock() {
  Canvas c(24, 24);
  c.fill(outline(roundRect(7, 3, 17, 15, 5, 5, 0, 0), 1.6f), ICON);
  c.fill(roundRect(4, 10, 20, 22, 2.5f), ICON);
  c.fill(circle(12, 15.5f, 2.f), rgb(30, 30, 33));
  c.fill(rect(11.2f, 16, 12.8f, 19.5f), rgb(30, 30, 33));
  save(c, "WifiIcon_lock.png");
}

void slider() {
  {
    Canvas c(64, 10);
    c.fill(roundRect(0.5f, 0.5f, 63.5f, 9.5f, 4.5f), WHITE);
    save(c, "sliderwhite.png");
  }
  {
    Canvas c(64, 10);
    c.fill(roundRect(0.5f, 0.5f, 63.5f, 9.5f, 4.5f), rgb(90, 190, 255));
    save(c, "sliderlightblue.png");
  }
  {
    Canvas c(28, 28);
    c.fill(circle(14, 14, 13), rgb(170, 215, 255));
    c.fill(circle(14, 14, 11), rgb(10, 60, 140));
    c.fill(circle(14, 14, 4), rgb(120, 190, 255));
    save(c, "balldarkblue.png");
  }
}

struct State {
  const char* name;
  RGBA fill, edge;
};
const State kStates[3] = {{"Unselected", BTN, BTN_EDGE}, {"Selected", SEL, SEL_EDGE}, {"Disabled", DIS, DIS_EDGE}};

void buttons() {
  for (const State& s : kStates) {
    Canvas c(48, 32);
    panel(c, 6, s.fill, s.edge);
    save(c, std::string("Button") + s.name + ".png");
  }
  for (const State& s : kStates) {
    struct Part {
      const char* name;
      float tl, tr, br, bl;
      bool separator;
    };
    const Part parts[] = {{"Start", 6, 0, 0, 6, true}, {"Middle", 0, 0, 0, 0, true}, {"End", 0, 6, 6, 0, false},
                          {"Single", 6, 6, 6, 6, false}};
    for (const Part& p : parts) {
      Canvas c(32, 32);
      panel(c, s.fill, s.edge, p.tl, p.tr, p.br, p.bl);
      if (p.separator) c.fill(rect(30.5f, 4, 32, 28), s.edge);
      save(c, std::string("SegmentedControl") + p.name + s.name + ".png");
    }
  }
  {
    Canvas c(64, 32);
    panel(c, 8, rgb(56, 56, 62), rgb(130, 130, 140));
    save(c, "AlertButtonUnselected.png");
  }
  {
    Canvas c(64, 32);
    panel(c, 8, SEL, SEL_EDGE);
    save(c, "AlertButtonSelected.png");
  }
}

void spotlight() {
  Canvas c(256, 256);
  c.fill([](float, float) { return -1.f; },
         [](float x, float y) {
           const float d = std::hypot(x - 128, y - 128) / 128.f;
           const float a = std::clamp(1.f - d, 0.f, 1.f);
           return RGBA{1, 1, 1, a * a * 0.8f};
         });
  save(c, "AlertViewSpotlight.png");
}

void picker() {
  const RGBA frame = rgb(70, 70, 78);
  {
    Canvas c(16, 64);
    c.fill(subtract(roundRect(0.5f, 0.5f, 17, 63.5f, 8, 0, 0, 8), roundRect(3, 3, 20, 61, 6, 0, 0, 6)), frame);
    save(c, "left-edge.png");
  }
  {
    Canvas c(16, 64);
    c.fill(unite(rect(0, 0.5f, 16, 3), rect(0, 61, 16, 63.5f)), frame);
    save(c, "middle-edge.png");
  }
  {
    Canvas c(16, 64);
    c.fill(subtract(roundRect(-1, 0.5f, 15.5f, 63.5f, 0, 8, 8, 0), roundRect(-4, 3, 13, 61, 0, 6, 6, 0)), frame);
    save(c, "right-edge.png");
  }
  {
    // The wheel: dark at the edges, lighter in the middle, and a band marking the chosen row.
    Canvas c(32, 64);
    c.fill(rect(0, 0, 32, 32), vgradient(rgb(12, 12, 14), rgb(58, 58, 64), 0, 32));
    c.fill(rect(0, 32, 32, 64), vgradient(rgb(58, 58, 64), rgb(12, 12, 14), 32, 64));
    c.fill(rect(0, 25, 32, 39), rgb(0, 153, 239, 0.25f));
    c.fill(unite(rect(0, 25, 32, 26), rect(0, 38, 32, 39)), rgb(0, 153, 239, 0.8f));
    save(c, "wheel.png");
  }
}

void menuBarTabs() {
  auto tab = [](bool outward) {
    Canvas c(48, 48);
    c.fill(roundRect(2, 4, 46, 44, 8), rgb(44, 44, 50, 0.95f));
    c.fill(outline(roundRect(2, 4, 46, 44, 8), 0.8f), BTN_EDGE);
    // Chevron: "<" pulls the bar out, ">" pushes it back in.
    const float dir = outward ? -1.f : 1.f;
    c.fill(polyline({{24 - dir * 5, 14}, {24 + dir * 5, 24}, {24 - dir * 5, 34}}, 2.2f), ICON);
    return c;
  };
  save(tab(true), "FlyoutUnselected.png");
  save(tab(false), "FlyinUnselected.png");
  Canvas blank(48, 48);
  save(blank, "BlankIcon.png");
}

void connection() {
  auto plug = [](RGBA col, bool connected) {
    Canvas c(48, 48);
    c.fill(roundRect(14, 16, 34, 32, 3), col);
    c.fill(rect(18, 8, 21, 16), col);
    c.fill(rect(27, 8, 30, 16), col);
    c.fill(segment(24, 32, 24, 42, 2.2f), col);
    if (!connected) c.fill(segment(8, 40, 40, 8, 2.5f), rgb(230, 60, 50));
    return c;
  };
  save(plug(rgb(60, 220, 110), true), "connectedIcon.png");
  save(plug(rgb(140, 140, 146), false), "disconnectedIcon.png");
}

// Menu-bar icons: a light glyph on transparent (unselected), white on a blue tile (selected).
void menuIcons() {
  using Glyph = std::function<void(Canvas&, RGBA)>;
  const std::pair<const char*, Glyph> icons[] = {
      {"Spectrum",
       [](Canvas& c, RGBA k) {
         c.fill(polyline({{10, 46}, {18, 44}, {22, 30}, {26, 44}, {32, 40}, {36, 16}, {40, 42}, {46, 38}, {54, 46}}, 1.8f), k);
         c.fill(segment(8, 50, 56, 50, 1.2f), k);
       }},
      {"Korvel",
       [](Canvas& c, RGBA k) {
         c.fill(polyline({{8, 46}, {16, 46}, {16, 18}, {26, 18}, {26, 46}, {38, 46}, {38, 18}, {48, 18}, {48, 46}, {56, 46}}, 1.8f), k);
       }},
      {"Cursor",
       [](Canvas& c, RGBA k) {
         for (int i = 0; i < 5; ++i) c.fill(segment(22, 8.f + i * 10, 22, 13.f + i * 10, 1.5f), k);
         for (int i = 0; i < 5; ++i) c.fill(segment(8.f + i * 10, 40, 13.f + i * 10, 40, 1.5f), k);
         c.fill(outline(circle(22, 40, 5), 1.5f), k);
       }},
      {"Measure",
       [](Canvas& c, RGBA k) {
         c.fill(segment(12, 14, 12, 50, 1.5f), k);
         c.fill(segment(52, 14, 52, 50, 1.5f), k);
         c.fill(segment(16, 32, 48, 32, 1.5f), k);
         c.fill(polygon({{14, 32}, {22, 27}, {22, 37}}), k);
         c.fill(polygon({{50, 32}, {42, 27}, {42, 37}}), k);
       }},
      {"Color",
       [](Canvas& c, RGBA k) {
         c.fill(circle(24, 24, 10), rgb(235, 70, 60, k.a));
         c.fill(circle(40, 24, 10), rgb(70, 200, 90, k.a));
         c.fill(circle(32, 38, 10), rgb(70, 130, 240, k.a));
         c.fill(outline(circle(32, 30, 23), 1.4f), k);
       }},
      {"Trigger",
       [](Canvas& c, RGBA k) {
         c.fill(polyline({{8, 44}, {26, 44}, {34, 20}, {56, 20}}, 1.8f), k);
         c.fill(segment(8, 32, 56, 32, 1.f), rgb(255, 170, 40, k.a));
         c.fill(polygon({{30, 8}, {38, 8}, {34, 14}}), k);
       }},
      {"Demo",
       [](Canvas& c, RGBA k) {
         c.fill(outline(roundRect(8, 12, 56, 46, 4), 1.6f), k);
         c.fill(polygon({{27, 21}, {27, 37}, {40, 29}}), k);
         c.fill(segment(24, 52, 40, 52, 1.6f), k);
       }},
      {"Settings",
       [](Canvas& c, RGBA k) {
         Sdf teeth = [](float x, float y) {
           const float a = std::atan2(y - 32, x - 32);
           const float r = std::hypot(x - 32, y - 32);
           const float wave = std::cos(a * 8) > 0 ? 20.f : 15.f;
           return r - wave;
         };
         c.fill(subtract(unite(teeth, circle(32, 32, 16)), circle(32, 32, 6)), k);
       }},
      {"Pause",
       [](Canvas& c, RGBA k) {
         c.fill(roundRect(18, 14, 27, 50, 2), k);
         c.fill(roundRect(37, 14, 46, 50, 2), k);
       }},
      {"Play", [](Canvas& c, RGBA k) { c.fill(polygon({{20, 12}, {20, 52}, {50, 32}}), k); }},
      {"SingleShot",
       [](Canvas& c, RGBA k) {
         c.fill(polygon({{14, 14}, {14, 50}, {40, 32}}), k);
         c.fill(roundRect(42, 14, 49, 50, 2), k);
       }},
  };
  for (const auto& [name, glyph] : icons) {
    Canvas u(64, 64);
    glyph(u, ICON);
    save(u, std::string(name) + "IconUnselected.png");
    Canvas s(64, 64);
    s.fill(roundRect(2, 2, 62, 62, 10), SEL);
    s.fill(outline(roundRect(2, 2, 62, 62, 10), 1.f), SEL_EDGE);
    glyph(s, WHITE);
    save(s, std::string(name) + "IconSelected.png");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <res directory> <bold font file>\n", argv[0]);
    return 2;
  }
  g_out = argv[1];
  demoWatermark(argv[2]);
  wheels();
  peakIcon();
  bubbleAtlas();
  expandShrink();
  simplePanels();
  closeIcon();
  popoverBoxes();
  magnifier();
  groundLabel();
  positionAndDelay();
  lineBars();
  lock();
  slider();
  buttons();
  spotlight();
  picker();
  menuBarTabs();
  connection();
  menuIcons();
  constexpr int kExpected = 71;
  if (g_written != kExpected) {
    std::fprintf(stderr, "imagegen: wrote %d images, expected %d\n", g_written, kExpected);
    return 1;
  }
  return g_failed ? 1 : 0;
}
