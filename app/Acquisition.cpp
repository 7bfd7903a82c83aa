#include "app/Acquisition.h"

#include <cstdio>

#if TARVO_APP_WITH_ACQUISITION
#include <cstring>
#include <vector>

#include "acquisition/datalog/DataLogFile.h"
#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"
#include "acquisition/pipeline/CommandQueue.h"
#include "link/AccessoryCommunication.h"
#endif

namespace tarvo {

#if TARVO_APP_WITH_ACQUISITION

namespace {

// The controller hands whole commands to a CommandQueue; the link's write queue takes owned
// buffers. The buffer belongs to the link from here on and is freed after sending.
class LinkCommandQueue : public CommandQueue {
 public:
  explicit LinkCommandQueue(AccessoryCommunication& link) : link_(link) {}
  bool enqueue(std::vector<uint8_t> bytes, int tag) override {
    if (bytes.empty()) return false;
    auto buffer = std::make_unique<uint8_t[]>(bytes.size());
    std::memcpy(buffer.get(), bytes.data(), bytes.size());
    return link_.enqueue(std::move(buffer), int32_t(bytes.size()), tag);
  }

 private:
  AccessoryCommunication& link_;
};

class LinkAndPipeline : public Acquisition {
 public:
  LinkAndPipeline(AnalyzerModel& model, eng::Clock& clock)
      : delegate_(model, clock), link_(), queue_(link_) {
    delegate_.setDataLogSink(&DataLogFile::getInstance());
    AccessoryCommunicationDelegate* d = &delegate_;
    CommandQueue* q = &queue_;
    link_.setConnectionCallbacks(
        [d](AccessoryCommunication*, BrenicAccessoryDevice* device) {
          return d->shouldConnect(device->preapproved != 0, device->matchesAccessory());
        },
        [d, q](AccessoryCommunication*, BrenicAccessoryDevice* device) { d->deviceAdded(q, device); },
        // A device that could not be opened is handled like one that went away.
        [d, q](AccessoryCommunication*, BrenicAccessoryDevice* device, int error) { d->deviceRemoved(q, device, error); },
        [d, q](AccessoryCommunication*, BrenicAccessoryDevice* device, int reason) {
          d->deviceRemoved(q, device, reason);
        });
    link_.setDataCallbacks(
        [d, q](AccessoryCommunication*, BrenicAccessoryDevice* device, const uint8_t* bytes, int count) {
          d->dataReceived(q, device, bytes, count);
        },
        nullptr);
  }
  ~LinkAndPipeline() override {
    // The link first, so no callback reaches the delegate while it stops its controller.
    link_.stop();
    delegate_.stopController();
  }
  bool startThreads() {
    delegate_.startController();
    return link_.start();
  }
  void setLinkPaused(bool paused) override { link_.setPaused(paused); }

 private:
  AccessoryCommunicationDelegate delegate_;
  AccessoryCommunication link_;
  LinkCommandQueue queue_;
};

}  // namespace

bool Acquisition::available() { return true; }

std::unique_ptr<Acquisition> Acquisition::start(AnalyzerModel& model, eng::Clock& clock) {
  auto acquisition = std::make_unique<LinkAndPipeline>(model, clock);
  if (!acquisition->startThreads()) std::fprintf(stderr, "Tarvo: the USB link thread could not be started\n");
  return acquisition;
}

#else

bool Acquisition::available() { return false; }

std::unique_ptr<Acquisition> Acquisition::start(AnalyzerModel&, eng::Clock&) {
  std::fprintf(stderr, "Tarvo: built without the USB link and the acquisition pipeline; no data is acquired\n");
  return nullptr;
}

#endif

}  // namespace tarvo
