#include "acquisition/demo/DemoPlayback.h"

#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"
#include "engine/services/FileUtils.h"

namespace tarvo {

DemoFrameSizes demoFrameSizes(int demoHardware) {
  switch (demoHardware) {
    case 0:
      return {52, 0, 62};
    case 1:
      return {260, 0, 1254};
    case 2:
      return {260, 516, 0};
    default:
      return {0, 0, 0};
  }
}

std::string demoSignalFileName(int demoSignal, bool band5GHz) {
  static const char* const NAMES[] = {"None.bin", "Wifi.bin", "Dect.bin", "Dsss.bin"};
  if (demoSignal < 0 || demoSignal >= DEMO_SIGNAL_COUNT) return {};
  return std::string(band5GHz ? "5GHz" : "") + NAMES[demoSignal];
}

namespace {

std::vector<uint8_t> loadRecording(const std::string& name) {
  return eng::FileUtils::getInstance().getDataFromFile(name);
}

void feedWhole(AccessoryCommunicationDelegate& d, const std::string& name) {
  const std::vector<uint8_t> bytes = loadRecording(name);
  if (!bytes.empty()) d.dataReceived(nullptr, nullptr, bytes.data(), static_cast<int>(bytes.size()));
}

// now >= last + seconds * 1000, false for a period that is not a number.
bool periodElapsed(int64_t now, int64_t last, float seconds) {
  return static_cast<double>(now) >= static_cast<double>(last) + static_cast<double>(seconds) * 1000.0;
}

int64_t wholeSeconds(float seconds) {
  if (!(seconds >= 1.0f)) return 0;
  return seconds > 1.0e6f ? 1'000'000 : static_cast<int64_t>(seconds);
}

}  // namespace

void DemoPlayback::clear() {
  power_ = {};
  ssid_ = {};
  band1_ = {};
  band2_ = {};
  lastPowerFeedMs_ = 0;
  lastSweepFeedMs_ = 0;
  ssidStartMs_ = 0;
  lastSsidFeedMs_ = 0;
}

void DemoPlayback::feedFixedFrame(AccessoryCommunicationDelegate& d, Recording& rec, const std::string& name,
                                  int size) {
  if (size <= 0) return;
  if (rec.bytes.empty()) {
    rec.bytes = loadRecording(name);
    rec.offset = 0;
  }
  const size_t frame = static_cast<size_t>(size);
  if (rec.bytes.size() < frame) return;  // missing, empty or shorter than one frame
  if (rec.offset > rec.bytes.size() || rec.bytes.size() - rec.offset < frame) rec.offset = 0;
  d.dataReceived(nullptr, nullptr, rec.bytes.data() + rec.offset, size);
  rec.offset += frame;
}

void DemoPlayback::feedScanFrame(AccessoryCommunicationDelegate& d, const std::string& name) {
  if (ssid_.bytes.empty()) {
    ssid_.bytes = loadRecording(name);
    ssid_.offset = 0;
  }
  const size_t size = ssid_.bytes.size();
  if (ssid_.offset >= size) {
    ssid_.offset = 0;
    return;
  }
  const uint8_t* at = ssid_.bytes.data() + ssid_.offset;
  const int available = static_cast<int>(size - ssid_.offset);
  const int length = d.frameLengthNow(at, available);
  if (length > 0 && length <= available) {
    d.dataReceived(nullptr, nullptr, at, length);
    ssid_.offset += static_cast<size_t>(length);
  } else {
    ssid_.offset = 0;
  }
}

void DemoPlayback::runCycle(AccessoryCommunicationDelegate& d) {
  AnalyzerModel& model = d.model();
  LinkState& link = d.linkState();
  const int hardware = model.demo.demoHardware;
  if (hardware < 0 || hardware >= GENERATION_ROW_COUNT) return;
  const std::string prefix = generationRow(hardware).demoPacketPrefix;
  const int64_t now = d.nowMs();

  int32_t state = link.state;
  if (!link.discovered && state != STATE_START_DISCOVERY) {
    link.advance(state, STATE_START_DISCOVERY);
    state = link.state;
  }

  // SSID timer: the same rule as the live branch, without the scan-cycle time-out.
  const auto info = model.deviceInfo();
  const bool ssid = model.spectrum.ssidEnabled != 0;
  const bool waterfall = model.spectrum.displayMode == 1;
  const bool fixedCycle = info->fixedScanCycle;
  if (link.discovered && model.isSpectrumMode() && ssid && !waterfall && !fixedCycle &&
      (state == STATE_STREAMING || state == STATE_STREAMING_AFTER_EMPTY_SCAN)) {
    const int64_t s = wholeSeconds(model.spectrum.ssidRefreshSeconds);
    if (s > 0 && !link.scanDue && now >= link.lastScanCheckMs + 1000 * s && link.advance(state, STATE_STOP)) {
      link.reconfigure = true;
      link.scanDue = true;
    }
  }
  if (waterfall && ssid && !fixedCycle) link.lastScanCheckMs = now;

  state = link.state;
  switch (state) {
    case STATE_START_DISCOVERY:
    case STATE_AWAIT_DISCOVER:
      link.discovered = false;
      if (link.advance(state, STATE_AWAIT_DISCOVER)) feedWhole(d, prefix + "discover.bin");
      break;
    case STATE_DISCOVERED: {
      link.discovered = true;
      link.resetStores = true;
      // Trigger settings under which the recordings were made.
      PowerSettings& p = model.power;
      p.triggerOnPower = 1;
      p.triggerHoldoff = 0.001f;
      if (info->generationCode == GENERATION_TARVO) {
        p.triggerLevelDbm = -31.7f;
        p.triggerDelay = 0.000016f;
        p.timebaseIndex = 16;
      } else {
        p.triggerDelay = 0.0000352f;
        p.timebaseIndex = 15;
        p.triggerLevelDbm = info->generationCode == GENERATION_TARVO2 ? -36.31f : -31.7f;
      }
      link.advance(state, STATE_CONFIGURE);
      break;
    }
    case STATE_CONFIGURE:
    case STATE_AWAIT_ACK:
      if (link.advance(state, STATE_AWAIT_ACK)) feedWhole(d, prefix + "settings.bin");
      break;
    case STATE_ACKNOWLEDGED:
      d.acknowledgedStep();
      clear();
      link.advance(state, STATE_REQUEST_DATA);
      break;
    case STATE_REQUEST_DATA:
    case STATE_STREAMING:
    case STATE_STREAMING_AFTER_EMPTY_SCAN: {
      const int pause = model.runtime.acquisitionPause;
      if (pause == ACQ_RUN || pause == ACQ_SINGLE_ARMED) streamCycle(d, hardware, prefix, now);
      break;
    }
    case STATE_STOP:
    case STATE_AWAIT_STOP_ACK:
      link.advance(state, STATE_STOPPED);  // recordings need no stop acknowledgement
      break;
    case STATE_STOPPED:
      d.stoppedStep();
      break;
    default:
      break;
  }
}

void DemoPlayback::streamCycle(AccessoryCommunicationDelegate& d, int hardware, const std::string& prefix,
                               int64_t now) {
  AnalyzerModel& model = d.model();
  const auto info = model.deviceInfo();
  const DemoFrameSizes sizes = demoFrameSizes(hardware);
  const int signal = model.demo.demoSignal;

  if (!model.isSpectrumMode()) {
    if (sizes.power > 0 && (lastPowerFeedMs_ == 0 || periodElapsed(now, lastPowerFeedMs_, info->powerPeriod))) {
      feedFixedFrame(d, power_, prefix + "power" + demoSignalFileName(signal, false), sizes.power);
      lastPowerFeedMs_ = now;
    }
    return;
  }

  const int band = model.currentBand();
  if (band == BAND_2G4) {
    if (lastSweepFeedMs_ == 0 || periodElapsed(now, lastSweepFeedMs_, info->band1SweepPeriod)) {
      feedFixedFrame(d, band1_, prefix + "spectrum" + demoSignalFileName(signal, false), sizes.band1Sweep);
      lastSweepFeedMs_ = now;
    }
  } else if (sizes.band2Sweep > 0) {
    if (lastSweepFeedMs_ == 0 || periodElapsed(now, lastSweepFeedMs_, info->band2SweepPeriod)) {
      feedFixedFrame(d, band2_, prefix + "spectrum" + demoSignalFileName(signal, true), sizes.band2Sweep);
      lastSweepFeedMs_ = now;
    }
  }

  if (model.spectrum.ssidEnabled != 0 && signal == DEMO_SIGNAL_WIFI && model.demo.demoSsid != 0) {
    if (ssidStartMs_ == 0) ssidStartMs_ = now;
    if (periodElapsed(now, ssidStartMs_, info->demoScanDelay) &&
        periodElapsed(now, lastSsidFeedMs_, info->demoScanInterval)) {
      feedScanFrame(d, prefix + "ssid.bin");
      lastSsidFeedMs_ = now;
    }
  }
}

}  // namespace tarvo
