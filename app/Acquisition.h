// Acquisition: the USB link and the acquisition delegate the application starts at launch.
//
// start() builds AccessoryCommunication (the link thread) and AccessoryCommunicationDelegate
// (the packet handler and the controller thread, which plays the built-in demo while no
// accessory is attached), registers the link callbacks and starts both threads. Both objects
// live until the application object is destroyed at the end of the process.
//
// A build without the link or the pipeline libraries has no acquisition: start() then returns
// nullptr and the application runs its scene without data (one line on standard error says so).
#pragma once

#include <memory>

namespace eng {
class Clock;
}

namespace tarvo {

class AnalyzerModel;

class Acquisition {
 public:
  virtual ~Acquisition() = default;
  // The application went to the background (true: the accessory is released) or came back.
  virtual void setLinkPaused(bool paused) = 0;

  static std::unique_ptr<Acquisition> start(AnalyzerModel& model, eng::Clock& clock);
  // Whether this build has the link and the pipeline.
  static bool available();
};

}  // namespace tarvo
