// Table views: top-down rows and offsets, cell reuse, keeping the scroll position across a
// reload, taps and row updates.
#include <algorithm>
#include <cmath>
#include <map>

#include "UiFixture.h"

using namespace eng;
using namespace eng::ui;

namespace {

constexpr float kRow = 26;
constexpr Size kView{300, 100};

// Rows of kRow points; each cell's tag is the row it was last filled for.
struct Rows : TableViewDataSource, TableViewDelegate {
  std::ptrdiff_t count = 0;
  int created = 0;
  std::map<std::ptrdiff_t, int> asked;  // row → times its cell was asked for
  std::vector<std::ptrdiff_t> touched;

  Size tableCellSizeForIndex(TableView*, std::ptrdiff_t) override { return Size(kView.width, kRow); }
  std::ptrdiff_t numberOfCellsInTableView(TableView*) override { return count; }
  TableViewCell* tableCellAtIndex(TableView* table, std::ptrdiff_t idx) override {
    ++asked[idx];
    TableViewCell* cell = table->dequeueCell();
    if (!cell) {
      cell = TableViewCell::create();
      cell->setContentSize(Size(kView.width, kRow));
      ++created;
    }
    cell->setTag(int(idx));
    return cell;
  }
  void tableCellTouched(TableView*, TableViewCell* cell) override { touched.push_back(cell->getIdx()); }
};

// The keep-the-scroll-position rule of the access-point tables, as they apply it around a
// reload: the distance from the top of the content stays the same.
void reloadKeepingPosition(TableView* t) {
  const Vec2 y0 = t->getContentOffset();
  const float m0 = t->minContainerOffset().y;
  t->reloadData();
  const float m1 = t->minContainerOffset().y;
  if (t->getInnerContainerSize().height > 0 && y0.y <= 0 && m1 < 0)
    t->setContentOffset(Vec2(y0.x, std::clamp(y0.y - m0 + m1, m1, 0.f)), false);
}

// The rows whose cells are in the table now, in order.
std::vector<std::ptrdiff_t> shownRows(TableView* t) {
  std::vector<std::ptrdiff_t> out;
  for (std::ptrdiff_t i = 0; i < t->numberOfCells(); ++i)
    if (TableViewCell* c = t->cellAtIndex(i)) {
      EXPECT_EQ(c->getTag(), int(i));
      out.push_back(i);
    }
  return out;
}

// A table of kView at (100, 100): on screen y runs 100 … 200.
class TableTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    table = TableView::create(&rows, kView);
    table->setDelegate(&rows);
    table->setPosition(100, 100);
    table->setInertiaScrollEnabled(false);
    scene->addChild(table);
  }
  void load(std::ptrdiff_t n) {
    rows.count = n;
    table->reloadData();
  }
  // Distance scrolled from the top of the content.
  float fromTop() const { return table->getContentOffset().y - table->minContainerOffset().y; }

  Rows rows;
  TableView* table = nullptr;
};

}  // namespace

TEST_F(TableTest, RowZeroIsAtTheTopAfterAReload) {
  load(10);  // 260 points of rows in a 100-point view
  EXPECT_FLOAT_EQ(table->minContainerOffset().y, -160);
  EXPECT_FLOAT_EQ(table->maxContainerOffset().y, 0);
  EXPECT_FLOAT_EQ(table->getContentOffset().y, -160);
  EXPECT_EQ(shownRows(table), (std::vector<std::ptrdiff_t>{0, 1, 2, 3}));
  // Row 0's top edge is the view's top edge.
  TableViewCell* first = table->cellAtIndex(0);
  EXPECT_FLOAT_EQ(first->convertToWorldSpace(Vec2(0, kRow)).y, 200);
  EXPECT_FLOAT_EQ(table->cellAtIndex(1)->getPositionY() + kRow, first->getPositionY());

  load(3);  // rows that do not fill the view stay at its top
  EXPECT_FLOAT_EQ(table->minContainerOffset().y, 100 - 78);
  EXPECT_FLOAT_EQ(table->getContentOffset().y, 22);
  EXPECT_FLOAT_EQ(table->cellAtIndex(0)->convertToWorldSpace(Vec2(0, kRow)).y, 200);
  drag(Vec2(200, 150), Vec2(200, 180));
  frames(30);
  EXPECT_FLOAT_EQ(table->getContentOffset().y, 22) << "nothing to scroll";

  load(0);
  EXPECT_TRUE(shownRows(table).empty());
  EXPECT_EQ(table->liveCellCount(), 0u);
}

TEST_F(TableTest, BottomUpFillPutsRowZeroAtTheBottom) {
  rows.count = 10;
  table->setVerticalFillOrder(TableView::VerticalFillOrder::BOTTOM_UP);  // reloads
  EXPECT_FLOAT_EQ(table->getContentOffset().y, 0);
  EXPECT_EQ(shownRows(table), (std::vector<std::ptrdiff_t>{0, 1, 2, 3}));
  EXPECT_FLOAT_EQ(table->cellAtIndex(0)->convertToWorldSpace(Vec2()).y, 100);
  tap(Vec2(200, 105));
  EXPECT_EQ(rows.touched, (std::vector<std::ptrdiff_t>{0}));
}

TEST_F(TableTest, ScrollingReusesCellsAndKeepsNoMoreThanFitPlusOne) {
  load(100);
  const size_t bound = size_t(std::ceil(kView.height / kRow)) + 1;  // 5
  // Through the whole table in uneven steps by code ...
  for (float y = table->minContainerOffset().y; y <= 0; y += 7.3f) {
    table->setContentOffset(Vec2(0, y));
    ASSERT_LE(table->liveCellCount(), bound) << "at " << y;
    const auto shown = shownRows(table);
    ASSERT_FALSE(shown.empty());
    // The rows shown are exactly those intersecting the view.
    const float top = y - table->minContainerOffset().y;
    EXPECT_EQ(shown.front(), std::ptrdiff_t(std::floor(top / kRow)));
  }
  // ... and back up by dragging.
  for (int i = 0; i < 40; ++i) drag(Vec2(200, 190), Vec2(200, 110), 4);
  frames(30);
  EXPECT_FLOAT_EQ(table->getContentOffset().y, table->minContainerOffset().y);
  EXPECT_LE(size_t(rows.created), bound);
  EXPECT_LE(table->liveCellCount() + table->freeCellCount(), bound);
}

TEST_F(TableTest, ReloadThatAddsRowsKeepsTheDistanceFromTheTop) {
  load(20);
  table->setContentOffset(Vec2(0, table->minContainerOffset().y + 91));  // 3.5 rows down
  ASSERT_EQ(shownRows(table).front(), 3);
  struct Row {
    const char* name;
    std::ptrdiff_t count;
    float fromTop;
    std::ptrdiff_t firstRow;
  };
  const Row cases[] = {
      {"rows added", 30, 91, 3},
      {"rows removed", 8, 91, 3},
      {"so few rows that the bottom end is reached", 5, 30, 1},
      {"rows added again", 40, 30, 1},
  };
  for (const Row& c : cases) {
    SCOPED_TRACE(c.name);
    rows.count = c.count;
    reloadKeepingPosition(table);
    EXPECT_FLOAT_EQ(fromTop(), c.fromTop);
    EXPECT_EQ(shownRows(table).front(), c.firstRow);
  }
  // Rows that fit the view: the rule leaves the table at its top.
  rows.count = 3;
  reloadKeepingPosition(table);
  EXPECT_FLOAT_EQ(table->getContentOffset().y, 22);
}

TEST_F(TableTest, AReloadWhileTheUserDragsDoesNotMakeTheContentJump) {
  // The access-point tables reload whenever a scan arrives, also in the middle of a drag.
  load(20);
  touches().touchesBegan(0, Vec2(200, 150));
  touches().touchesMoved(0, Vec2(200, 170));
  ASSERT_FLOAT_EQ(fromTop(), 20);
  rows.count = 30;
  reloadKeepingPosition(table);
  ASSERT_FLOAT_EQ(fromTop(), 20);
  touches().touchesMoved(0, Vec2(200, 180));
  EXPECT_FLOAT_EQ(fromTop(), 30);
  touches().touchesEnded(0, Vec2(200, 180));
  EXPECT_FLOAT_EQ(fromTop(), 30);
}

TEST_F(TableTest, ATapWithoutDragTouchesTheCellUnderIt) {
  load(10);
  tap(Vec2(200, 190));  // 10 points below the top: row 0
  tap(Vec2(200, 110));  // 90 points below: row 3
  EXPECT_EQ(rows.touched, (std::vector<std::ptrdiff_t>{0, 3}));
  drag(Vec2(200, 150), Vec2(200, 170));
  EXPECT_EQ(rows.touched.size(), 2u) << "a drag is not a tap";
  frames(30);
  tap(Vec2(200, 250));  // above the view
  tap(Vec2(50, 150));   // beside it
  EXPECT_EQ(rows.touched.size(), 2u);
  table->setContentOffset(Vec2(0, -160 + 26));  // one row down
  tap(Vec2(200, 190));
  EXPECT_EQ(rows.touched.back(), 1);
}

TEST_F(TableTest, UpdatingARowAsksForItsCellOnlyWhenItIsInView) {
  load(10);
  const int created = rows.created;
  rows.asked.clear();
  for (std::ptrdiff_t i = 0; i < 10; ++i) table->updateCellAtIndex(i);
  EXPECT_EQ(rows.asked, (std::map<std::ptrdiff_t, int>{{0, 1}, {1, 1}, {2, 1}, {3, 1}}));
  EXPECT_EQ(rows.created, created) << "an updated row reuses its own cell";
  EXPECT_EQ(shownRows(table), (std::vector<std::ptrdiff_t>{0, 1, 2, 3}));
  table->updateCellAtIndex(-1);
  table->updateCellAtIndex(10);
  EXPECT_EQ(rows.asked.size(), 4u);
}

TEST_F(TableTest, WheelScrollsTheTable) {
  load(10);
  EXPECT_TRUE(ScrollView::dispatchMouseWheel(Vec2(200, 150), -1));
  EXPECT_FLOAT_EQ(fromTop(), ScrollView::WHEEL_STEP_POINTS);
  EXPECT_EQ(shownRows(table).front(), 1);
}
