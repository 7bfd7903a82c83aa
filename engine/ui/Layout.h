// Layout: a container widget that places its children.
//
//   ABSOLUTE    children keep the positions they are given.
//   VERTICAL    a column from the top: each child's top edge sits below the previous child's
//               bottom edge plus its own top margin and the previous child's bottom margin;
//               its left edge at its left margin (gravity NONE/LEFT), centred
//               (CENTER_HORIZONTAL) or at the right edge less its right margin (RIGHT).
//   HORIZONTAL  a row from the left, the same way along x; vertically each child sits at the
//               top less its top margin (NONE/TOP), centred (CENTER_VERTICAL, offset by half of
//               bottom − top margin) or at the bottom plus its bottom margin (BOTTOM).
// Sizes are the children's scaled bounding boxes, so a scaled icon takes its scaled width.
// Children are taken in draw order (local z, then insertion); the layout's own size is never
// changed by its children (see getLinearExtent to size a row or column to them).
//
// The layout runs before the next visit after anything that affects it changed (children
// added or removed, a child widget's size or layout parameter, the layout's size or type);
// forceDoLayout runs it at once. Layouts cascade opacity and colour to their children (as every
// widget does), may fill their rectangle with a background colour, and may clip their children
// to their rectangle (the renderer's scissor stack, so clipping regions nest).
#pragma once

#include "engine/ui/Widget.h"

namespace eng::ui {

class Layout : public Widget {
 public:
  enum class Type { ABSOLUTE, VERTICAL, HORIZONTAL };

  ENG_CREATE_FUNC(Layout)
  bool init() override;

  virtual void setLayoutType(Type type);
  virtual Type getLayoutType() const { return type_; }
  void requestDoLayout() { dirty_ = true; }
  bool isLayoutDirty() const { return dirty_; }
  // Lays the children out now.
  virtual void forceDoLayout();
  // For a vertical layout: (widest child + its left and right margins, sum of heights and
  // vertical margins); for a horizontal one the same along the other axis; for an absolute one
  // the union of the children's boxes from the origin.
  Size getLinearExtent() const;

  void setClippingEnabled(bool enabled) { clipping_ = enabled; }
  bool isClippingEnabled() const { return clipping_; }
  // Alpha 0 (the default) draws no background.
  void setBackgroundColor(const Color4B& color) { background_ = color; }
  const Color4B& getBackgroundColor() const { return background_; }

  void addChild(Node* child) override;
  void addChild(Node* child, int localZOrder) override;
  void addChild(Node* child, int localZOrder, int tag) override;
  void removeChild(Node* child, bool cleanup = true) override;
  void removeAllChildrenWithCleanup(bool cleanup) override;

  void visit(Renderer& renderer, const Mat4& parentTransform, uint32_t flags) override;
  void draw(Renderer& renderer, const Mat4& transform, uint32_t flags) override;

 public:
  Layout() = default;

 protected:
  void onSizeChanged() override { requestDoLayout(); }
  virtual void doLayout();
  // The children the layout places (not the widget's own parts).
  std::vector<Node*> layoutChildren() const;

 private:
  Type type_ = Type::ABSOLUTE;
  bool dirty_ = true;
  bool clipping_ = false;
  Color4B background_{0, 0, 0, 0};
};

}  // namespace eng::ui
