// TableView: a vertical list of cells supplied by a data source, built only for the rows in
// view and recycled as they scroll out.
//
// Rows. The data source gives the row count, each row's size and, on demand, the cell of a row
// (usually a dequeued one, refilled). With the default TOP_DOWN fill order row 0 is at the top.
// The inner container is exactly as tall as the rows together (it may be shorter than the view;
// the rows then stay at the top).
//
// Offsets. The content offset is the inner container's position (see ScrollView.h):
//   minContainerOffset().y = view height − content height: the offset that shows row 0 at the top
//                            (negative when the rows overflow the view, positive when they do not);
//   maxContainerOffset().y = max(0, that): the offset that shows the last row at the bottom.
// reloadData asks the data source again, recycles every cell and shows the top (offset = min).
// To keep the scroll position across a reload that adds or removes rows, remember y0 and m0 =
// minContainerOffset().y before it and set y0 − m0 + m1 (clamped to [m1, 0]) after it: the
// distance from the top of the content stays the same. setContentOffset clamps to the valid
// range and never animates unless asked to.
//
// Cells. A cell that leaves the view is removed and kept for dequeueCell; at most the cells that
// intersect the view exist at once (plus the free ones the data source did not take back).
// updateCellAtIndex asks the data source again for a row in view (its cell is offered for
// dequeueing first). The delegate hears tableCellTouched for a tap (a touch released inside
// the view without having dragged), with the cell under the release point.
//
// Scrolling, bounce, inertia, the scroll bar, the event stream and the mouse wheel are those of
// ScrollView; bounce is on by default.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/ui/ScrollView.h"

namespace eng::ui {

class TableView;

class TableViewCell : public Node {
 public:
  ENG_CREATE_FUNC(TableViewCell)
  // The row the cell shows; -1 while it waits in the free queue.
  std::ptrdiff_t getIdx() const { return idx_; }
  void setIdx(std::ptrdiff_t idx) { idx_ = idx; }
  bool init() override;

 private:
  std::ptrdiff_t idx_ = -1;
};

class TableViewDataSource {
 public:
  virtual ~TableViewDataSource() = default;
  // Size of one row; the default asks cellSizeForTable (for tables whose rows are all alike).
  virtual Size tableCellSizeForIndex(TableView* table, std::ptrdiff_t idx) {
    (void)idx;
    return cellSizeForTable(table);
  }
  virtual Size cellSizeForTable(TableView*) { return Size(); }
  // The cell for a row: table->dequeueCell() refilled, or a new one.
  virtual TableViewCell* tableCellAtIndex(TableView* table, std::ptrdiff_t idx) = 0;
  virtual std::ptrdiff_t numberOfCellsInTableView(TableView* table) = 0;
};

class TableViewDelegate {
 public:
  virtual ~TableViewDelegate() = default;
  virtual void tableCellTouched(TableView* table, TableViewCell* cell) = 0;
  // The cell leaves the view (before it goes to the free queue).
  virtual void tableCellWillRecycle(TableView*, TableViewCell*) {}
};

class TableView : public ScrollView {
 public:
  enum class VerticalFillOrder { TOP_DOWN, BOTTOM_UP };

  // The data source is borrowed (it must outlive the table or be reset with setDataSource).
  static TableView* create(TableViewDataSource* dataSource, const Size& viewSize);
  bool init() override;

  void setDataSource(TableViewDataSource* d) { dataSource_ = d; }
  TableViewDataSource* getDataSource() const { return dataSource_; }
  void setDelegate(TableViewDelegate* d) { delegate_ = d; }
  TableViewDelegate* getDelegate() const { return delegate_; }
  void setVerticalFillOrder(VerticalFillOrder order);
  VerticalFillOrder getVerticalFillOrder() const { return fillOrder_; }

  void reloadData();
  void updateCellAtIndex(std::ptrdiff_t idx);
  // A recycled cell, or nullptr when none is free. The caller adopts it (it stays alive until
  // the end of the frame without further retaining).
  TableViewCell* dequeueCell();
  // The cell showing the row, or nullptr when the row is not in view.
  TableViewCell* cellAtIndex(std::ptrdiff_t idx) const;
  std::ptrdiff_t numberOfCells() const { return std::ptrdiff_t(offsets_.empty() ? 0 : offsets_.size() - 1); }
  // Cells in view, and cells waiting in the free queue.
  size_t liveCellCount() const { return used_.size(); }
  size_t freeCellCount() const { return free_.size(); }

  Vec2 getContentOffset() const { return getInnerContainerPosition(); }
  void setContentOffset(const Vec2& offset, bool animated = false);
  Vec2 minContainerOffset() const { return getMinContainerPosition(); }
  Vec2 maxContainerOffset() const { return getMaxContainerPosition(); }
  // The view (the table's own content size).
  Size getViewSize() const { return getContentSize(); }
  void setViewSize(const Size& s) { setContentSize(s); }

 public:
  TableView() = default;

 protected:
  ~TableView() override;
  void onContainerMoved() override { refreshVisibleCells(); }
  void onSizeChanged() override;
  void onTouchEnded(Touch* touch) override;

 private:
  // Row's rectangle in the inner container.
  Rect rowRect(std::ptrdiff_t idx) const;
  // Rows intersecting the view: [first, last), empty when none.
  std::pair<std::ptrdiff_t, std::ptrdiff_t> visibleRange() const;
  void refreshVisibleCells();
  void recycle(TableViewCell* cell);
  void placeCell(std::ptrdiff_t idx);
  std::ptrdiff_t indexAt(const Vec2& containerPoint) const;

  TableViewDataSource* dataSource_ = nullptr;
  TableViewDelegate* delegate_ = nullptr;
  VerticalFillOrder fillOrder_ = VerticalFillOrder::TOP_DOWN;
  // offsets_[i] = top of row i from the top of the content; offsets_.back() = content height.
  std::vector<float> offsets_;
  std::vector<float> widths_;
  std::vector<RefPtr<TableViewCell>> used_;  // sorted by row
  std::vector<RefPtr<TableViewCell>> free_;
  bool refreshing_ = false;
};

}  // namespace eng::ui
