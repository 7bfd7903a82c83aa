#include "engine/ui/TableView.h"

#include <algorithm>

namespace eng::ui {

bool TableViewCell::init() {
  if (!Node::init()) return false;
  setAnchorPoint(Vec2(0, 0));
  return true;
}

TableView* TableView::create(TableViewDataSource* dataSource, const Size& viewSize) {
  auto* t = makeAutoreleased<TableView>();
  if (!t) return nullptr;
  t->dataSource_ = dataSource;
  t->setContentSize(viewSize);
  return t;
}

TableView::~TableView() = default;

bool TableView::init() {
  if (!ScrollView::init()) return false;
  setDirection(Direction::VERTICAL);
  setInnerContainerMayBeSmaller(true);
  setBounceEnabled(true);
  offsets_ = {0};
  setInnerContainerSize(Size(0, 0));
  return true;
}

void TableView::setVerticalFillOrder(VerticalFillOrder order) {
  if (order == fillOrder_) return;
  fillOrder_ = order;
  reloadData();
}

// --- rows ------------------------------------------------------------------------------------

Rect TableView::rowRect(std::ptrdiff_t idx) const {
  const float top = offsets_[size_t(idx)], bottom = offsets_[size_t(idx) + 1];
  const float total = offsets_.back();
  const float y = fillOrder_ == VerticalFillOrder::TOP_DOWN ? total - bottom : top;
  return Rect(0, y, getContentSize().width, bottom - top);
}

std::pair<std::ptrdiff_t, std::ptrdiff_t> TableView::visibleRange() const {
  const std::ptrdiff_t n = numberOfCells();
  if (n == 0) return {0, 0};
  const float c = getInnerContainerPosition().y;
  const float viewH = getContentSize().height;
  const float total = offsets_.back();
  // The view as a band [lo, hi) of the content, measured from the start of row 0.
  float lo, hi;
  if (fillOrder_ == VerticalFillOrder::TOP_DOWN) {
    lo = total + c - viewH;
    hi = total + c;
  } else {
    lo = -c;
    hi = -c + viewH;
  }
  // First row whose end lies beyond lo; first row that starts at or beyond hi.
  const auto first = std::upper_bound(offsets_.begin() + 1, offsets_.end(), lo) - (offsets_.begin() + 1);
  const auto last = std::lower_bound(offsets_.begin(), offsets_.end() - 1, hi) - offsets_.begin();
  return {std::clamp<std::ptrdiff_t>(first, 0, n), std::clamp<std::ptrdiff_t>(last, 0, n)};
}

std::ptrdiff_t TableView::indexAt(const Vec2& p) const {
  const std::ptrdiff_t n = numberOfCells();
  if (n == 0) return -1;
  const float total = offsets_.back();
  const float t = fillOrder_ == VerticalFillOrder::TOP_DOWN ? total - p.y : p.y;
  if (t < 0 || t >= total) return -1;
  const auto i = std::upper_bound(offsets_.begin(), offsets_.end(), t) - offsets_.begin() - 1;
  return i >= 0 && i < n ? i : -1;
}

// --- cells -----------------------------------------------------------------------------------

TableViewCell* TableView::cellAtIndex(std::ptrdiff_t idx) const {
  for (const auto& c : used_)
    if (c->getIdx() == idx) return c.get();
  return nullptr;
}

TableViewCell* TableView::dequeueCell() {
  if (free_.empty()) return nullptr;
  TableViewCell* c = free_.front().get();
  c->retain();
  c->autorelease();
  free_.erase(free_.begin());
  return c;
}

void TableView::recycle(TableViewCell* cell) {
  RefPtr<TableViewCell> hold(cell);
  if (delegate_) delegate_->tableCellWillRecycle(this, cell);
  std::erase_if(used_, [&](const RefPtr<TableViewCell>& c) { return c.get() == cell; });
  if (cell->getParent()) cell->removeFromParentAndCleanup(false);
  cell->setIdx(-1);
  if (std::find(free_.begin(), free_.end(), cell) == free_.end()) free_.push_back(hold);
}

void TableView::placeCell(std::ptrdiff_t idx) {
  if (!dataSource_) return;
  TableViewCell* cell = dataSource_->tableCellAtIndex(this, idx);
  if (!cell) return;
  RefPtr<TableViewCell> hold(cell);
  // The data source may hand back a free cell without dequeueing it, or (by mistake) one that
  // shows another row.
  std::erase_if(free_, [&](const RefPtr<TableViewCell>& c) { return c.get() == cell; });
  std::erase_if(used_, [&](const RefPtr<TableViewCell>& c) { return c.get() == cell; });
  cell->setIdx(idx);
  cell->setPosition(rowRect(idx).origin);
  if (cell->getParent() != getInnerContainer()) {
    if (cell->getParent()) cell->removeFromParentAndCleanup(false);
    getInnerContainer()->addChild(cell);
  }
  auto at = std::lower_bound(used_.begin(), used_.end(), idx,
                             [](const RefPtr<TableViewCell>& c, std::ptrdiff_t i) { return c->getIdx() < i; });
  used_.insert(at, hold);
}

void TableView::refreshVisibleCells() {
  if (refreshing_) return;
  refreshing_ = true;
  RefPtr<TableView> hold(this);
  const auto [first, last] = visibleRange();
  std::vector<TableViewCell*> gone;
  for (const auto& c : used_)
    if (c->getIdx() < first || c->getIdx() >= last) gone.push_back(c.get());
  for (TableViewCell* c : gone) recycle(c);
  for (std::ptrdiff_t i = first; i < last; ++i)
    if (!cellAtIndex(i)) placeCell(i);
  refreshing_ = false;
}

void TableView::reloadData() {
  RefPtr<TableView> hold(this);
  refreshing_ = true;
  stopAutoScroll();
  std::vector<TableViewCell*> all;
  for (const auto& c : used_) all.push_back(c.get());
  for (TableViewCell* c : all) recycle(c);
  offsets_ = {0};
  const std::ptrdiff_t n = dataSource_ ? std::max<std::ptrdiff_t>(0, dataSource_->numberOfCellsInTableView(this)) : 0;
  offsets_.reserve(size_t(n) + 1);
  for (std::ptrdiff_t i = 0; i < n; ++i) {
    const float h = std::max(0.f, dataSource_->tableCellSizeForIndex(this, i).height);
    offsets_.push_back(offsets_.back() + h);
  }
  setInnerContainerSize(Size(getContentSize().width, offsets_.back()));
  // Row 0 in view: the top for a top-down table, the bottom for a bottom-up one.
  const Vec2 start = fillOrder_ == VerticalFillOrder::TOP_DOWN ? minContainerOffset() : maxContainerOffset();
  setInnerContainerPosition(Vec2(0, start.y));
  refreshing_ = false;
  refreshVisibleCells();
}

void TableView::updateCellAtIndex(std::ptrdiff_t idx) {
  if (idx < 0 || idx >= numberOfCells()) return;
  const auto [first, last] = visibleRange();
  if (idx < first || idx >= last) return;
  if (TableViewCell* old = cellAtIndex(idx)) recycle(old);
  placeCell(idx);
}

void TableView::setContentOffset(const Vec2& offset, bool animated) {
  if (animated) scrollToPosition(offset, DEFAULT_AUTO_SCROLL_SECONDS, true);
  else setInnerContainerPosition(offset);
}

void TableView::onSizeChanged() {
  ScrollView::onSizeChanged();
  if (offsets_.empty()) return;
  setInnerContainerSize(Size(getContentSize().width, offsets_.back()));
  for (const auto& c : used_) c->setPosition(rowRect(c->getIdx()).origin);
  refreshVisibleCells();
}

void TableView::onTouchEnded(Touch* touch) {
  RefPtr<TableView> hold(this);
  const bool mine = touch->getId() == getTrackedTouchId();
  ScrollView::onTouchEnded(touch);
  if (!mine || touchDidDrag() || touchStoppedMotion() || !delegate_) return;
  const Vec2 p = touch->getLocation();
  if (!hitTest(p) || !isClippingParentContainsPoint(p)) return;
  const std::ptrdiff_t idx = indexAt(getInnerContainer()->convertToNodeSpace(p));
  if (TableViewCell* cell = cellAtIndex(idx)) delegate_->tableCellTouched(this, cell);
}

}  // namespace eng::ui
