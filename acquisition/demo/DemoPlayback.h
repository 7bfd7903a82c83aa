// Demo playback: with no accessory attached, the controller thread replays recorded accessory
// traffic through the same packet handler, so every view works without hardware.
//
// Recordings are plain concatenations of accessory frames, read whole through eng::FileUtils
// from the resource search paths: a hardware prefix ("packets/Tarvo/Tarvo_",
// "packets/Tarvo2/Tarvo2_", "packets/Tarvo5x/Tarvo5x_" for demoHardware 0, 1, 2) plus
// "discover.bin", "settings.bin", "spectrum" or "power" plus the signal file name, or
// "ssid.bin". Each cycle walks the controller states as real hardware would (discover,
// acknowledge, store reset) and then feeds one fixed-size frame per sweep or power period and
// SSID frames on their own timers. A missing file feeds nothing, and a truncated frame at the
// end of a file is never fed: the read offset wraps to 0 first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvo {

class AccessoryCommunicationDelegate;

// Recorded frame sizes per demoHardware row (0 when the hardware has no such frames).
struct DemoFrameSizes {
  int band1Sweep;
  int band2Sweep;
  int power;
};
DemoFrameSizes demoFrameSizes(int demoHardware);
// "None.bin", "Wifi.bin", "Dect.bin", "Dsss.bin" (or with "5GHz" in front); empty for 4 and up.
std::string demoSignalFileName(int demoSignal, bool band5GHz);

class DemoPlayback {
 public:
  // One demo cycle; called by the controller thread while no accessory is attached.
  void runCycle(AccessoryCommunicationDelegate& delegate);
  // Drops the cached recordings, their offsets and the playback timers.
  void clear();

 private:
  struct Recording {
    std::vector<uint8_t> bytes;
    size_t offset = 0;
  };
  void streamCycle(AccessoryCommunicationDelegate& d, int hardware, const std::string& prefix, int64_t now);
  // Feeds the next whole frame of `size` bytes, wrapping to the start when fewer remain.
  static void feedFixedFrame(AccessoryCommunicationDelegate& d, Recording& rec, const std::string& name, int size);
  void feedScanFrame(AccessoryCommunicationDelegate& d, const std::string& name);

  Recording power_, ssid_, band1_, band2_;
  int64_t lastPowerFeedMs_ = 0;
  int64_t lastSweepFeedMs_ = 0;  // shared by both bands
  int64_t ssidStartMs_ = 0;
  int64_t lastSsidFeedMs_ = 0;
};

}  // namespace tarvo
