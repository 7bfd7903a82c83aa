// A menu-like panel drawn into an offscreen framebuffer (Xvfb + Mesa): a column of button rows,
// a slider row and a loading bar row above a scrolling list, from the application's own
// images. The frame is written to tests/engine_ui/widget_panel.png in the build tree; the
// checks compare pixels with the images' own colours.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/Engine.h"
#include "engine/testing/Xvfb.h"
#include "engine/ui/UI.h"

using namespace eng;
using namespace eng::ui;

namespace {

const char* kBold = "fonts/roboto/Roboto-Bold.ttf";
constexpr float kFont = 16, kGap = 5, kRowGap = 8;

// The colour at the centre of an image of the resources (the stretched middle of a nine-slice).
Color4B imageCentre(const std::string& name) {
  Image img;
  if (!loadPng(FileUtils::getInstance().fullPathForFilename(name), img)) return Color4B(0, 0, 0, 0);
  const uint8_t* p = img.pixel(img.width / 2, img.height / 2);
  return Color4B(p[0], p[1], p[2], p[3]);
}

Button* makeButton(const std::string& title, float width) {
  Button* b = Button::create("ButtonUnselected.png", "ButtonSelected.png", "ButtonDisabled.png");
  b->setScale9Enabled(true);
  b->setTitleFontName(kBold);
  b->setTitleFontSize(kFont);
  b->setTitleText(title);
  b->setTitleColor(Color3B(127, 127, 127));
  b->setContentSize(Size(width, b->getTitleSize().height + 10));
  return b;
}

Text* makeLabel(const std::string& text) { return Text::create(text, kBold, kFont); }

// A horizontal row; every widget but the last gets the spacing as its right margin.
Layout* makeRow(Layout* column, std::initializer_list<Widget*> widgets, bool lastRow = false) {
  Layout* row = Layout::create();
  row->setLayoutType(Layout::Type::HORIZONTAL);
  size_t i = 0;
  for (Widget* w : widgets) {
    const bool last = ++i == widgets.size();
    w->setLayoutParameter(LinearLayoutParameter(Margin(0, 0, last ? 0 : kGap, 0),
                                                LinearLayoutParameter::Gravity::CENTER_VERTICAL));
    row->addChild(w);
  }
  row->setContentSize(row->getLinearExtent());
  row->setLayoutParameter(LinearLayoutParameter(Margin(0, 0, 0, lastRow ? 0 : kRowGap), {}));
  column->addChild(row);
  return row;
}

// The list: rows of alternating greys with a label each.
struct ListRows : TableViewDataSource {
  Size tableCellSizeForIndex(TableView* t, std::ptrdiff_t) override { return Size(t->getViewSize().width, 30); }
  std::ptrdiff_t numberOfCellsInTableView(TableView*) override { return 30; }
  TableViewCell* tableCellAtIndex(TableView* t, std::ptrdiff_t idx) override {
    TableViewCell* cell = t->dequeueCell();
    if (!cell) {
      cell = TableViewCell::create();
      LayerColor* bg = LayerColor::create(Color4B(0, 0, 0, 255), t->getViewSize().width, 30);
      bg->setTag(1);
      cell->addChild(bg);
      Label* l = Label::createWithTTF("", "fonts/roboto/Roboto-Regular.ttf", 13);
      l->setAnchorPoint(Vec2(0, 0.5f));
      l->setPosition(10, 15);
      l->setTag(2);
      cell->addChild(l);
    }
    static_cast<LayerColor*>(cell->getChildByTag(1))->setColor(rowColor(idx));
    char text[64];
    std::snprintf(text, sizeof text, "Access point %td   -%td dBm", idx + 1, 40 + idx * 2);
    static_cast<Label*>(cell->getChildByTag(2))->setString(text);
    return cell;
  }
  static Color3B rowColor(std::ptrdiff_t idx) { return idx % 2 ? Color3B(60, 60, 60) : Color3B(36, 36, 36); }
};

const uint8_t* at(const Image& img, float x, float y) {
  return img.pixel(int(std::floor(x)), img.height - 1 - int(std::floor(y)));
}

::testing::AssertionResult colourNear(const Image& img, Vec2 p, Color3B c, int tol = 4) {
  const uint8_t* px = at(img, p.x, p.y);
  if (std::abs(px[0] - c.r) <= tol && std::abs(px[1] - c.g) <= tol && std::abs(px[2] - c.b) <= tol)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "at (" << p.x << ", " << p.y << "): " << int(px[0]) << "," << int(px[1])
                                       << "," << int(px[2]) << " instead of " << int(c.r) << "," << int(c.g) << ","
                                       << int(c.b);
}

Color3B rgb(Color4B c) { return Color3B(c.r, c.g, c.b); }

}  // namespace

TEST(WidgetPanelPixels, MenuPanelWithButtonsSliderAndScrollingList) {
  FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR);
  RefPtr<GLView> view = GLView::createOffscreen(Size(960, 640));
  ASSERT_TRUE(view) << "no GL context (is an X display reachable?)";
  Director& director = *Director::getInstance();
  director.setOpenGLView(view.get());
  Scene* scene = Scene::create();
  director.runWithScene(scene);

  // Panel 384 wide, like a menu of the largest size class.
  const Rect panelRect(40, 40, 384, 560);
  ImageView* panel = ImageView::create("MenuBackground.png");
  panel->setScale9Enabled(true);
  panel->setAnchorPoint(Vec2(0, 0));
  panel->setPosition(panelRect.origin);
  panel->setContentSize(panelRect.size);
  scene->addChild(panel);

  const float inner = panelRect.size.width - 16;  // 8 on each side
  Layout* column = Layout::create();
  column->setLayoutType(Layout::Type::VERTICAL);
  column->setAnchorPoint(Vec2(0, 1));
  column->setPosition(panelRect.getMinX() + 8, panelRect.getMaxY() - 12);
  scene->addChild(column);

  Button* on = makeButton("ON", (inner - kGap) / 2);
  Button* off = makeButton("OFF", (inner - kGap) / 2);
  on->setHighlighted(true);  // the selected one of a segmented pair
  on->setTitleColor(colors::WHITE);
  makeRow(column, {on, off});

  const float third = (inner - 2 * kGap) / 3;
  Button* raw = makeButton("RAW", third);
  Button* decay = makeButton("DECAY", third);
  Button* avg = makeButton("AVG.", third);
  avg->setBright(false);
  avg->setEnabled(false);
  avg->setTitleColor(Color3B(64, 64, 64));
  makeRow(column, {raw, decay, avg});

  Text* persist = makeLabel("PERSIST: ");
  Text* value = makeLabel("  6.0s");
  Slider* slider = Slider::create("sliderwhite.png", "balldarkblue.png", "sliderlightblue.png");
  slider->setScale9Enabled(true);
  slider->setContentSize(Size(inner - persist->getContentSize().width - value->getContentSize().width - 2 * kGap,
                              slider->getContentSize().height));
  slider->setPercent(30);
  makeRow(column, {persist, slider, value});

  Text* signal = makeLabel("SIGNAL: ");
  LoadingBar* bar = LoadingBar::create("sliderwhite.png", 70);
  bar->setScale9Enabled(true);
  bar->setColor(Color3B(127, 255, 0));
  bar->setContentSize(Size(inner - signal->getContentSize().width - kGap, 10));
  makeRow(column, {signal, bar}, true);
  column->setContentSize(column->getLinearExtent());
  column->forceDoLayout();

  ListRows rows;
  // The list fills the panel below the column.
  const float listBottom = panelRect.getMinY() + 40;
  const Rect listRect(panelRect.getMinX() + 8, listBottom, inner, column->getBoundingBox().getMinY() - 12 - listBottom);
  TableView* list = TableView::create(&rows, listRect.size);
  list->setPosition(listRect.origin);
  list->setScrollBarWidth(4);
  list->setScrollBarPositionFromCornerForVertical(Vec2(2, 8));
  list->setScrollBarOpacity(255);
  list->setScrollBarAutoHideEnabled(false);
  scene->addChild(list);
  list->reloadData();
  list->setContentOffset(Vec2(0, list->minContainerOffset().y + 95));  // three rows and 5 points down

  director.stepFrame(1.f / 60);
  Image img;
  director.requestCapture([&](const Image& f) { img = f; });
  director.stepFrame(1.f / 60);
  ASSERT_EQ(img.width, 960);
  ASSERT_EQ(img.height, 640);
  const std::string out = std::string(TARVO_BINARY_DIR) + "/tests/engine_ui/widget_panel.png";
  EXPECT_TRUE(savePng(out, img, true)) << out;

  const Color3B panelFill = rgb(imageCentre("MenuBackground.png"));
  const Color3B selected = rgb(imageCentre("ButtonSelected.png"));
  const Color3B unselected = rgb(imageCentre("ButtonUnselected.png"));
  const Color3B disabled = rgb(imageCentre("ButtonDisabled.png"));
  // Inside a button, clear of its corners and its centred title.
  auto inButton = [](Button* b) { return b->convertToWorldSpace(Vec2(24, b->getContentSize().height / 2)); };
  EXPECT_TRUE(colourNear(img, inButton(on), selected)) << "highlighted: the pressed image";
  EXPECT_TRUE(colourNear(img, inButton(off), unselected));
  EXPECT_TRUE(colourNear(img, inButton(raw), unselected));
  EXPECT_TRUE(colourNear(img, inButton(avg), disabled)) << "not bright: the disabled image";

  // The slider: progress left of the ball, bar right of it.
  const float mid = slider->getContentSize().height / 2, w = slider->getContentSize().width;
  EXPECT_TRUE(colourNear(img, slider->convertToWorldSpace(Vec2(w * 0.12f, mid)), rgb(imageCentre("sliderlightblue.png"))));
  EXPECT_TRUE(colourNear(img, slider->convertToWorldSpace(Vec2(w * 0.75f, mid)), rgb(imageCentre("sliderwhite.png"))));
  EXPECT_TRUE(colourNear(img, slider->convertToWorldSpace(Vec2(w * 0.30f, mid)), rgb(imageCentre("balldarkblue.png")), 12))
      << "the ball at 30 %";

  // The loading bar: its image tinted, filled to 70 %.
  const Color3B white = rgb(imageCentre("sliderwhite.png"));
  const Color3B tinted(uint8_t(white.r * 127 / 255), white.g, 0);
  EXPECT_TRUE(colourNear(img, bar->convertToWorldSpace(Vec2(bar->getContentSize().width * 0.35f, 5)), tinted, 6));
  EXPECT_FALSE(colourNear(img, bar->convertToWorldSpace(Vec2(bar->getContentSize().width * 0.85f, 5)), tinted, 6));

  // The list, 95 points down: row 3 partly in view at the top, rows clipped at the bottom,
  // nothing drawn beyond the view's edges.
  EXPECT_TRUE(colourNear(img, Vec2(listRect.getMinX() + 250, listRect.getMaxY() - 2), ListRows::rowColor(3)));
  EXPECT_TRUE(colourNear(img, Vec2(listRect.getMinX() + 250, listRect.getMaxY() - 28), ListRows::rowColor(4)));
  EXPECT_TRUE(colourNear(img, Vec2(listRect.getMinX() + 250, listRect.getMaxY() + 3), panelFill)) << "clipped above";
  EXPECT_TRUE(colourNear(img, Vec2(listRect.getMinX() + 250, listRect.getMinY() - 3), panelFill)) << "clipped below";
  const auto bottomRow = std::ptrdiff_t((95 + listRect.size.height - 2) / 30);
  EXPECT_TRUE(colourNear(img, Vec2(listRect.getMinX() + 250, listRect.getMinY() + 2), ListRows::rowColor(bottomRow)));
  // The scroll bar over the rows.
  const Rect barRect = list->getScrollBarRect();
  ASSERT_GT(barRect.size.height, 0);
  EXPECT_TRUE(colourNear(img, list->convertToWorldSpace(Vec2(barRect.getMidX(), barRect.getMidY())), Color3B(192, 192, 192)));
  const Vec2 besideBar = list->convertToWorldSpace(Vec2(barRect.getMinX() - 3, barRect.getMidY()));
  EXPECT_TRUE(colourNear(img, besideBar, ListRows::rowColor(0)) || colourNear(img, besideBar, ListRows::rowColor(1)))
      << "the bar is only as wide as set";

  director.reset();
}

int main(int argc, char** argv) {
  eng::testing::reexecUnderXvfbIfNoDisplay(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
