// MenuAttachment: what the main scene needs from the menu controller and the menu bar.
//
// The menu controller (one per process) builds the menu bar when the scene becomes its parent,
// closes its menus when the scene leaves, and rebuilds the bar after a window resize. The scene
// tells the bar about the connection state every frame, asks it to rebuild when the accessory
// changed the mode, reads its slide state for the read-out labels, and opens alerts through it.
//
// Until the menu framework exists, NoMenuAttachment stands in: no bar is drawn, its strip at
// the bottom of the window stays reserved at menuBarHeight(size class), the bar counts as
// retracted (slide 0 %, so the read-out labels show) and alerts go to standard error. The menu
// framework replaces it with setMenuAttachment() before the scene is created.
#pragma once

#include <string>

namespace eng {
class Scene;
}

namespace tarvo {

class MenuAttachment {
 public:
  virtual ~MenuAttachment() = default;

  // The scene becomes the controller's parent: the menu bar is built and added to it.
  virtual void attach(eng::Scene* scene) = 0;
  // The scene leaves: open menus close, the bar is removed and released.
  virtual void detach() = 0;
  // Mirror of accessoryConnected; the bar re-lays itself out when the flag changes.
  virtual void setConnected(bool connected) = 0;
  // The accessory changed the mode (modeChangedByDevice): the bar rebuilds its icons.
  virtual void rebuildMenuBar() = 0;
  // Slide state in percent: 100 when the bar covers the strip, 0 when only its tab shows.
  virtual float slidePercent() const = 0;
  // Puts a freshly built bar into its retracted position at once, without animation.
  virtual void retractImmediately() = 0;
  // Width of the bar's fly-in tab, which the read-out labels keep clear of.
  virtual float flyInButtonWidth() const = 0;
  // The bar has room for separate Demo and Settings buttons.
  virtual bool isWide() const = 0;
  // An alert with one button and no delegate.
  virtual void showAlert(const std::string& title, const std::string& message, const std::string& button) = 0;
};

// The stand-in used until the menu framework is built (see above).
class NoMenuAttachment : public MenuAttachment {
 public:
  void attach(eng::Scene*) override {}
  void detach() override {}
  void setConnected(bool) override {}
  void rebuildMenuBar() override {}
  float slidePercent() const override { return 0.0f; }
  void retractImmediately() override {}
  float flyInButtonWidth() const override { return 0.0f; }
  bool isWide() const override { return true; }
  void showAlert(const std::string& title, const std::string& message, const std::string& button) override;
};

// The process-wide attachment the scene uses (a NoMenuAttachment unless replaced). The object
// is borrowed and must outlive the scene; nullptr restores the stand-in.
MenuAttachment& menuAttachment();
void setMenuAttachment(MenuAttachment* attachment);

}  // namespace tarvo
