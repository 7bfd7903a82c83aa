// Linear layouts: positions and extents with margins, gravity and scaled children; when the
// layout runs; cascading opacity.
#include "UiFixture.h"

using namespace eng;
using namespace eng::ui;
using uitest::UiTest;

namespace {
using G = LinearLayoutParameter::Gravity;

Widget* box(float w, float h, Margin m, G g = G::NONE) {
  Widget* b = Widget::create();
  b->setContentSize(Size(w, h));
  b->setLayoutParameter(LinearLayoutParameter(m, g));
  return b;
}
}  // namespace

TEST_F(UiTest, VerticalLayoutStacksChildrenFromTheTopWithTheirMargins) {
  Layout* column = Layout::create();
  column->setLayoutType(Layout::Type::VERTICAL);
  column->setContentSize(Size(200, 300));
  scene->addChild(column);
  // (size, margin, gravity) → expected bounding box in the column.
  struct Row {
    Size size;
    Margin margin;
    G gravity;
    Rect expected;
  };
  const Row rows[] = {
      {{100, 40}, {5, 10, 0, 8}, G::NONE, {5, 250, 100, 40}},              // top 300 − 10 − 40
      {{50, 20}, {0, 2, 0, 0}, G::CENTER_HORIZONTAL, {75, 220, 50, 20}},   // below 250 − 8 − 2
      {{60, 30}, {0, 0, 15, 0}, G::RIGHT, {125, 190, 60, 30}},             // right edge 200 − 15
      {{80, 10}, {20, 0, 10, 0}, G::CENTER_HORIZONTAL, {65, 180, 80, 10}},  // centre offset (20 − 10) / 2
  };
  std::vector<Widget*> kids;
  for (const Row& r : rows) {
    kids.push_back(box(r.size.width, r.size.height, r.margin, r.gravity));
    column->addChild(kids.back());
  }
  column->forceDoLayout();
  for (size_t i = 0; i < kids.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(kids[i]->getBoundingBox(), rows[i].expected);
  }
  EXPECT_EQ(column->getLinearExtent(), Size(110, 40 + 18 + 20 + 2 + 30 + 10));
}

TEST_F(UiTest, HorizontalRowPlacesScaledChildrenAndCentresThemVertically) {
  Layout* row = Layout::create();
  row->setLayoutType(Layout::Type::HORIZONTAL);
  row->setContentSize(Size(400, 50));
  scene->addChild(row);
  Widget* a = box(40, 20, {0, 0, 2.5f, 0}, G::CENTER_VERTICAL);
  Widget* b = box(30, 30, {0, 0, 2.5f, 0}, G::CENTER_VERTICAL);
  b->setScale(1.5f);  // a menu-bar icon scaled to the bar: takes 45 × 45
  b->setAnchorPoint(Vec2(0, 1));  // the anchor must not matter
  Widget* c = box(10, 10, {4, 6, 0, 0});  // NONE: at the top less the top margin
  Widget* d = box(10, 10, {0, 0, 0, 3}, G::BOTTOM);
  for (Widget* w : {a, b, c, d}) row->addChild(w);
  row->forceDoLayout();
  EXPECT_EQ(a->getBoundingBox(), Rect(0, 15, 40, 20));
  EXPECT_EQ(b->getBoundingBox(), Rect(42.5f, 2.5f, 45, 45));
  EXPECT_EQ(c->getBoundingBox(), Rect(42.5f + 45 + 2.5f + 4, 34, 10, 10));
  EXPECT_EQ(d->getBoundingBox(), Rect(104, 3, 10, 10));
  EXPECT_EQ(row->getLinearExtent(), Size(40 + 2.5f + 45 + 2.5f + 14 + 10, 45));
}

TEST_F(UiTest, LayoutRunsBeforeTheNextVisitAfterAChange) {
  Layout* column = Layout::create();
  column->setLayoutType(Layout::Type::VERTICAL);
  column->setContentSize(Size(100, 100));
  scene->addChild(column);
  Widget* a = box(100, 30, {});
  Widget* b = box(100, 30, {});
  column->addChild(a);
  column->addChild(b);
  frames();
  EXPECT_FLOAT_EQ(b->getBoundingBox().getMaxY(), 70);
  a->setContentSize(Size(100, 50));  // the child grows: the layout follows on the next frame
  EXPECT_FLOAT_EQ(b->getBoundingBox().getMaxY(), 70);
  frames();
  EXPECT_FLOAT_EQ(b->getBoundingBox().getMaxY(), 50);
  b->setLayoutParameter(LinearLayoutParameter(Margin(0, 5, 0, 0), G::NONE));
  column->forceDoLayout();  // at once
  EXPECT_FLOAT_EQ(b->getBoundingBox().getMaxY(), 45);
  column->removeChild(a);
  frames();
  EXPECT_FLOAT_EQ(b->getBoundingBox().getMaxY(), 95);
}

TEST_F(UiTest, WidgetPartsAreNotLaidOut) {
  // A button's image and title are children too; a row must only place the button.
  Layout* row = Layout::create();
  row->setLayoutType(Layout::Type::HORIZONTAL);
  row->setContentSize(Size(300, 40));
  scene->addChild(row);
  Button* b = Button::create("btn_normal.png");
  b->setTitleText("GO");
  row->addChild(b);
  row->forceDoLayout();
  EXPECT_EQ(b->getRendererNormal()->getPosition(), Vec2(15, 10));
  EXPECT_EQ(b->getTitleRenderer()->getPosition(), Vec2(15, 10));
}

TEST_F(UiTest, CascadingOpacityReachesTheImagesOfNestedWidgets) {
  Layout* column = Layout::create();
  Layout* row = Layout::create();
  Button* b = Button::create("btn_normal.png");
  b->setTitleText("X");
  scene->addChild(column);
  column->addChild(row);
  row->addChild(b);
  column->setOpacity(128);
  b->setOpacity(128);
  EXPECT_EQ(b->getRendererNormal()->getDisplayedOpacity(), 64);
  EXPECT_EQ(b->getTitleRenderer()->getDisplayedOpacity(), 64);
  column->setOpacity(0);
  EXPECT_EQ(b->getRendererNormal()->getDisplayedOpacity(), 0);
}
