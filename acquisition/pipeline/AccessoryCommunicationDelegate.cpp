#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "accesspoints/model/AccessPointList.h"
#include "accesspoints/model/Utilization.h"
#include "acquisition/protocol/AccessoryProtocolFactory.h"
#include "power/measure/PulseMeasurement.h"

namespace tarvo {

namespace {

// Full discover-response length of a generation (0 for an unknown one).
int discoverLengthOf(int generation) {
  switch (generation) {
    case GENERATION_TARVO:
      return GEN1_FRAME_LENGTHS.discover;
    case GENERATION_TARVO2:
      return GEN2_FRAME_LENGTHS.discover;
    case GENERATION_TARVO25:
      return DUALBAND_FRAME_LENGTHS.discover;
    default:
      return 0;
  }
}

// A settings period in whole seconds; NaN and negatives are 0.
int64_t wholeSeconds(float seconds) {
  if (!(seconds >= 1.0f)) return 0;
  return seconds > 1.0e6f ? 1'000'000 : static_cast<int64_t>(seconds);
}

bool isWaterfall(const AnalyzerModel& m) { return m.spectrum.displayMode == 1; }

// Roll-mode decimation: keep one sample, then skip d.
int32_t rollDecimation(const AnalyzerModel& model, const DeviceInfo& info) {
  if (info.rollTimebaseCode < 0) return 0;
  const bool firstGeneration = info.generationCode == GENERATION_TARVO;
  const int r = firstGeneration ? info.rollTimebaseCount : info.rollTimebaseCode;
  if (r < 0 || r >= static_cast<int>(info.timebaseTable.size())) return 0;
  const float q = model.secondsPerDivision() / info.timebaseTable[r];
  int32_t d = 0;
  if (q >= 1.0e6f)
    d = 1'000'000;
  else if (q >= 0.0f)  // false for NaN
    d = static_cast<int32_t>(q);
  if (firstGeneration && model.power.timebaseIndex == info.rollTimebaseCount - 1) d *= 2;
  return d;
}

// Seconds between two samples of a capture of `samples` samples.
float secondsPerSample(const AnalyzerModel& model, const DeviceInfo& info, int samples) {
  const int perTrace = info.powerSamplesPerTrace > 0 ? info.powerSamplesPerTrace : std::max(samples, 1);
  return model.secondsPerDivision() * static_cast<float>(TIMEBASE_DIVISIONS) / static_cast<float>(perTrace);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction and callbacks

AccessoryCommunicationDelegate::AccessoryCommunicationDelegate(AnalyzerModel& model, eng::Clock& clock,
                                                               DecoderFactory factory)
    : model_(model), clock_(clock), factory_(std::move(factory)), log_(&noLog_) {
  if (!factory_) factory_ = [&model](int code) { return createAccessoryProtocol(code, &model); };
  frameBuffer_.reserve(1000);
  decoded_.resize(std::max(SPECTRUM_DECODE_CAPACITY, POWER_DECODE_CAPACITY));
}

AccessoryCommunicationDelegate::~AccessoryCommunicationDelegate() { stopController(); }

void AccessoryCommunicationDelegate::setDataLogSink(DataLogSink* sink) { log_ = sink ? sink : &noLog_; }

bool AccessoryCommunicationDelegate::shouldConnect(bool preapproved, bool identityMatches) const {
  if (model_.runtime.connectionsBlocked) return false;
  return preapproved || identityMatches;
}

void AccessoryCommunicationDelegate::deviceAdded(CommandQueue* link, const void* device) {
  std::lock_guard cycle(cycleMutex_);
  {
    std::lock_guard handler(handlerMutex_);
    resetAccumulators();
  }
  // Bytes left over from demo playback must not prefix the accessory's stream, and whatever
  // demo playback discovered is not this accessory.
  link_.discardBuffer = true;
  link_.discovered = false;
  link_.link = link;
  link_.device = device;
  model_.setConnected(true);
  link_.state = STATE_START_DISCOVERY;
  link_.lastScanCheckMs = 0;
  link_.scanStartMs = 0;
  link_.scanDue = false;
  link_.scanFrames = 0;
  model_.runtime.scanInProgress = false;
}

void AccessoryCommunicationDelegate::deviceRemoved(CommandQueue*, const void*, int) {
  std::lock_guard cycle(cycleMutex_);
  {
    std::lock_guard handler(handlerMutex_);
    resetAccumulators();
  }
  link_.link = nullptr;
  link_.device = nullptr;
  link_.discardBuffer = true;
  link_.state = STATE_START_DISCOVERY;
  model_.setConnected(false);
  link_.lastScanCheckMs = 0;
  link_.scanStartMs = 0;
  link_.scanDue = false;
  // The data log ends with the link.
  log_.load()->stopLog();
  model_.runtime.dataLogState = DATALOG_IDLE;
  model_.runtime.scanInProgress = false;
  link_.scanFrames = 0;
}

// ---------------------------------------------------------------------------------------------
// Packet handler

void AccessoryCommunicationDelegate::resetAccumulators() {
  powerAccum_.clear();
  band1Accum_.clear();
  band2Accum_.clear();
}

size_t AccessoryCommunicationDelegate::bufferedBytes() {
  std::lock_guard lock(handlerMutex_);
  return frameBuffer_.size();
}

int AccessoryCommunicationDelegate::frameLengthNow(const uint8_t* bytes, int available) {
  std::lock_guard lock(handlerMutex_);
  if (!decoder_) return PROTOCOL_INCOMPLETE;
  return decoder_->frameLength(bytes, available);
}

int AccessoryCommunicationDelegate::decoderGeneration() {
  std::lock_guard lock(handlerMutex_);
  return decoder_ ? decoderGeneration_ : 0;
}

void AccessoryCommunicationDelegate::dataReceived(CommandQueue*, const void*, const uint8_t* bytes, int length) {
  if (!bytes || length <= 0) return;
  std::lock_guard lock(handlerMutex_);
  if (link_.discardBuffer.exchange(false)) frameBuffer_.clear();
  frameBuffer_.insert(frameBuffer_.end(), bytes, bytes + length);
  scanBuffer();
}

void AccessoryCommunicationDelegate::scanBuffer() {
  const uint8_t* buf = frameBuffer_.data();
  const int n = static_cast<int>(frameBuffer_.size());
  int h = 0;
  while (h < n) {
    if (buf[h] != FRAME_SYNC) {
      ++h;
      continue;
    }
    if (n - h < 3) break;  // wait for more input
    if (!link_.discovered) {
      if (buf[h + 1] < 0x60) {
        ++h;
        continue;
      }
      // A frame that may be a discover response: its byte 2 names the generation.
      decoder_.reset();
      decoderGeneration_ = 0;
      if (factory_) decoder_ = factory_(buf[h + 2]);
      if (!decoder_) {  // not a supported accessory: drop everything pending
        h = n;
        break;
      }
      decoderGeneration_ = buf[h + 2];
      decoder_->setScreenLog(model_.screenLog.load());
    }
    if (!decoder_) {
      h = n;
      break;
    }
    const uint8_t* at = buf + h;
    const int available = n - h;
    const int type = frameTypeOf(at[1]);
    // The framing rules measure a discover response that is not complete yet as a 3-byte frame
    // and a stop acknowledgement of fewer than 4 bytes as unknown; either would depend on where
    // the link happened to cut the stream, so such a head waits for the rest.
    if (type == FRAME_DISCOVER && available < discoverLengthOf(decoderGeneration_)) break;
    if (type == FRAME_STOP_ACK && decoderGeneration_ != GENERATION_TARVO && available < STOP_ACK_LENGTH) break;

    const int length = decoder_->frameLength(at, available);
    if (length > 0) {
      if (length > available) break;
      dispatch(at, length);
      h += length;
    } else if (length == PROTOCOL_TOO_SHORT) {
      h += 2;
    } else if (length == PROTOCOL_NO_BUFFER) {
      h += 1;
    } else if (length == PROTOCOL_UNSUPPORTED) {
      h = n;
      break;
    } else if (decoderGeneration_ == GENERATION_TARVO && type == FRAME_SCAN) {
      // The first generation has no scan frames, so this one would never complete and would
      // hold everything behind it: drop its sync byte and go on.
      h += 1;
    } else {
      break;  // incomplete: wait for more input
    }
  }
  h = std::min(h, n);
  frameBuffer_.erase(frameBuffer_.begin(), frameBuffer_.begin() + h);
}

void AccessoryCommunicationDelegate::dispatch(const uint8_t* frame, int length) {
  switch (frameTypeOf(frame[1])) {
    case FRAME_CONFIGURE_ACK:
      onAcknowledge(frame, length);
      break;
    case FRAME_DISCOVER:
      onDiscover(frame, length);
      break;
    case FRAME_STOP_ACK:
      onStopAcknowledge(frame, length);
      break;
    case FRAME_SPECTRUM:
      onSpectrum(frame, length);
      break;
    case FRAME_POWER:
      onPower(frame, length);
      break;
    case FRAME_SCAN:
      onScan(frame, length);
      break;
    default:
      break;
  }
}

void AccessoryCommunicationDelegate::onAcknowledge(const uint8_t* frame, int length) {
  if (decoder_->isAck(frame, length) != PROTOCOL_OK) return;
  resetAccumulators();
  rollCountdown_ = 0;
  link_.state = STATE_ACKNOWLEDGED;
}

void AccessoryCommunicationDelegate::onDiscover(const uint8_t* frame, int length) {
  if (link_.state != STATE_AWAIT_DISCOVER) return;
  DeviceInfo info;
  if (decoder_->decodeDiscover(frame, length, &info) != PROTOCOL_OK) return;
  model_.setDeviceInfo(info);
  link_.discovered = true;
  link_.state = STATE_DISCOVERED;
  if (!info.timebaseTable.empty() && model_.power.timebaseIndex < 0) model_.power.timebaseIndex = 14;
  if (!info.amplitudeScaleTable.empty() && model_.power.powerScaleIndex < 0) model_.power.powerScaleIndex = 0;
  // Leave a mode the accessory cannot do.
  if (model_.isSpectrumMode()) {
    if (!info.band1SpectrumCapable && !info.band2SpectrumCapable && !info.band1ScanCapable &&
        !info.band2ScanCapable) {
      model_.common.spectrumMode = 0;
      model_.runtime.modeChangedByDevice = true;
    }
  } else if (!info.powerCapable) {
    model_.common.spectrumMode = 1;
    model_.runtime.modeChangedByDevice = true;
  }
}

void AccessoryCommunicationDelegate::onStopAcknowledge(const uint8_t* frame, int length) {
  if (decoder_->isStopAck(frame, length) != PROTOCOL_OK) return;
  int32_t state = link_.state;
  if (state == STATE_STOP || state == STATE_AWAIT_STOP_ACK) link_.advance(state, STATE_STOPPED);
}

bool AccessoryCommunicationDelegate::collectSegment(Accumulator& acc, int segments, int segment,
                                                    const float* values, int count, std::vector<float>& out) {
  if (segment == 0 && !acc.order.empty()) acc.clear();
  if (segment >= segments) return false;
  acc.order.push_back(static_cast<uint8_t>(segment));
  acc.values.insert(acc.values.end(), values, values + count);
  if (static_cast<int>(acc.order.size()) < segments) return false;
  out.assign(acc.values.begin(), acc.values.end());
  decoder_->reorderSegments(out.data(), static_cast<int>(out.size()), acc.order.data(),
                            static_cast<int>(acc.order.size()));
  // A completed sweep or trace starts the next one afresh, so a stream that repeats a segment
  // without its 0 can neither grow the accumulator nor mix old segments into a new sweep.
  acc.clear();
  return true;
}

void AccessoryCommunicationDelegate::onSpectrum(const uint8_t* frame, int length) {
  const int pause = model_.runtime.acquisitionPause;
  if (pause != ACQ_RUN && pause != ACQ_SINGLE_ARMED) return;
  int count = 0, bandNumber = 0, segment = 255;
  if (decoder_->decodeSpectrum(frame, length, decoded_.data(), SPECTRUM_DECODE_CAPACITY, &count, &bandNumber,
                               &segment) < 0)
    return;
  count = std::min(count, SPECTRUM_DECODE_CAPACITY);
  if (count <= 0 || segment == 255) return;
  if (bandNumber != 1 && bandNumber != 2) return;
  const int band = bandNumber == 2 ? BAND_5G : BAND_2G4;
  const int64_t now = clock_.nowMs();

  bool stored = false;
  {
    ModelLock lock(model_, LOCK_SPECTRUM);
    const int segments = decoder_->packetsPerSweep(bandNumber);
    const float* sweep = decoded_.data();
    int sweepSize = count;
    if (segments >= 2) {
      Accumulator& acc = band == BAND_5G ? band2Accum_ : band1Accum_;
      if (collectSegment(acc, segments, segment, decoded_.data(), count, sweep_)) {
        sweep = sweep_.data();
        sweepSize = static_cast<int>(sweep_.size());
      } else {
        sweepSize = 0;
      }
    }
    if (sweepSize > 0) {
      SpectrumStore& store = model_.spectrumStore(band);
      const int k = std::min(sweepSize, store.rowBins);
      store.sweepHistory.append(sweep, k);
      store.newSweep = true;
      store.lastSweepBins = k;

      const auto info = model_.deviceInfo();
      heatMaps_[band].rowAppended(store, info->amplitudeLevels(band), k, info->minDbm(band), info->maxDbm(band));
      if (band == BAND_2G4 && info->band1ScanCapable) {
        ModelLock apList(model_, LOCK_AP_LIST);
        updateUtilization(model_, false);
      }
      log_.load()->sweepStored(band, sweep, std::clamp(info->binsShown(band), 0, k), now);
      stored = true;
    }
  }
  if (stored && model_.runtime.acquisitionPause == ACQ_SINGLE_ARMED) {
    model_.runtime.acquisitionPause = ACQ_SINGLE_CAPTURED;
    requestStop();
  }
}

void AccessoryCommunicationDelegate::onPower(const uint8_t* frame, int length) {
  const int pause = model_.runtime.acquisitionPause;
  if (pause != ACQ_RUN && pause != ACQ_SINGLE_ARMED) return;
  int count = 0, segment = 255;
  bool triggered = false;
  if (decoder_->decodePower(frame, length, decoded_.data(), POWER_DECODE_CAPACITY, &count, &segment, &triggered) < 0)
    return;
  count = std::min(count, POWER_DECODE_CAPACITY);
  const bool roll = model_.isRollMode();
  const bool autoTrigger = model_.power.triggerAuto != 0;
  if (count < 1 || segment == 255) return;

  const int64_t now = clock_.nowMs();
  if (triggered) {
    link_.lastTriggerMs = now;
    model_.runtime.triggerStatus = 0;
  } else {
    const double elapsed = static_cast<double>(now - link_.lastTriggerMs) / 1000.0;
    if (elapsed >= 10.0)
      model_.runtime.triggerStatus = 1;
    else if (elapsed >= 2.0)
      model_.runtime.triggerStatus = 2;
  }
  if (!roll && !autoTrigger && !triggered) return;

  bool stored = false;
  size_t rollSize = 0;
  {
    ModelLock lock(model_, LOCK_POWER);
    const auto info = model_.deviceInfo();
    if (!roll) {
      const float* trace = decoded_.data();
      int traceSize = count;
      if (decoder_->packetsPerTrace() >= 2) {
        if (collectSegment(powerAccum_, decoder_->packetsPerTrace(), segment, decoded_.data(), count, sweep_)) {
          trace = sweep_.data();
          traceSize = static_cast<int>(sweep_.size());
        } else {
          traceSize = 0;
        }
      }
      if (traceSize > 0) {
        auto& traces = model_.powerTraces();
        traces.emplace_back(trace, trace + traceSize);
        // The power view prunes expired captures; while nothing does (no power view shown, the
        // frame loop halted in the background) the oldest go here instead of piling up.
        while (traces.size() > static_cast<size_t>(POWER_TRACES_MAX)) traces.pop_front();
        model_.powerDataChanged = true;
        measurePulses(secondsPerSample(model_, *info, traceSize), model_.powerMeasurements, trace, traceSize);
        log_.load()->powerTraceStored(trace, traceSize, now);
        stored = true;
      }
    } else {
      const int32_t skip = rollDecimation(model_, *info);
      std::vector<float>& samples = model_.rollSamples();
      const size_t before = samples.size();
      for (int i = 0; i < count; ++i) {
        if (rollCountdown_ <= 0) {
          samples.push_back(decoded_[i]);
          rollCountdown_ = skip;
        } else {
          --rollCountdown_;
        }
      }
      const int kept = static_cast<int>(samples.size() - before);
      if (kept > 0) {
        model_.powerDataChanged = true;
        // The log gets the new samples before the oldest are trimmed (they may be among them).
        const std::vector<float> fresh(samples.end() - kept, samples.end());
        if (samples.size() > static_cast<size_t>(ROLL_SAMPLES_MAX))
          samples.erase(samples.begin(), samples.end() - ROLL_SAMPLES_MAX);
        const int total = static_cast<int>(samples.size());
        const int window = info->powerSamplesPerTrace > 0 ? std::min(info->powerSamplesPerTrace, total) : total;
        measurePulses(secondsPerSample(model_, *info, window), model_.powerMeasurements,
                      samples.data() + (total - window), window);
        log_.load()->rollSamplesStored(fresh.data(), kept, now);
        stored = true;
      }
      rollSize = samples.size();
    }
  }
  if (stored) {
    model_.runtime.frozenPowerView.active = false;
    if (model_.runtime.acquisitionPause == ACQ_SINGLE_ARMED &&
        (!roll || rollSize >= static_cast<size_t>(ROLL_SAMPLES_MAX))) {
      model_.runtime.acquisitionPause = ACQ_SINGLE_CAPTURED;
      requestStop();
    }
  }
}

void AccessoryCommunicationDelegate::onScan(const uint8_t* frame, int length) {
  std::unique_ptr<AccessPointBatch> list;
  if (decoder_->decodeScan(frame, length, &list) < 0) return;
  const size_t records = list ? list->size() : 0;
  const int32_t state = link_.state;
  const int64_t now = clock_.nowMs();

  if (records > 0 || state != STATE_STREAMING) {
    const uint32_t frames = link_.scanFrames + 1;
    if (frames == 1) link_.scanStartMs = now;
    link_.scanFrames = frames;
    if (records < static_cast<size_t>(SCAN_FRAME_FULL_RECORDS) || frames >= 2) {
      // The scan cycle is over; where the controller paces scans, back to sweeping.
      link_.scanFrames = 0;
      const auto info = model_.deviceInfo();
      if (model_.isSpectrumMode() && !info->fixedScanCycle) {
        const bool waterfall = isWaterfall(model_);
        const bool timed = model_.spectrum.ssidEnabled != 0 && model_.spectrum.ssidRefreshSeconds > 0.0f;
        if (waterfall || timed) {
          link_.scanDue = false;
          link_.reconfigure = true;
          link_.state = STATE_STOP;
        }
      }
    }
  }
  if (records == 0 && state == STATE_STREAMING) {
    link_.advance(STATE_STREAMING, STATE_STREAMING_AFTER_EMPTY_SCAN);
    link_.scanFrames = 0;
  }
  // A batch is merged whenever the decoder returned one (an empty batch still counts as a
  // merged scan); in EDIT mode of the utilisation table scans are dropped.
  if (list && !model_.runtime.apListFrozen) {
    mergeScan(model_, std::move(*list), now);
    model_.runtime.scanCount = model_.runtime.scanCount + 1;
    {
      ModelLock lock(model_, LOCK_SPECTRUM | LOCK_AP_LIST);
      updateUtilization(model_, true);
    }
    model_.runtime.apListChanged = true;
    model_.runtime.apTableChanged = true;
  }
}

// ---------------------------------------------------------------------------------------------
// Controller

void AccessoryCommunicationDelegate::requestStop() {
  if (!link_.discovered) return;
  link_.reconfigure = false;
  link_.state = STATE_STOP;
}

void AccessoryCommunicationDelegate::requestReconfigure(bool resetFirst) {
  if (!link_.discovered) return;
  link_.reconfigure = true;
  link_.reconfigureFull = true;
  // A reset already pending (a fresh discovery) is kept.
  if (resetFirst) link_.resetStores = true;
  link_.state = STATE_STOP;
}

void AccessoryCommunicationDelegate::stopAcquisition() {
  model_.runtime.acquisitionPause = ACQ_STOPPED;
  requestStop();
}

void AccessoryCommunicationDelegate::runAcquisition() {
  model_.runtime.acquisitionPause = ACQ_RUN;
  if (link_.discovered) link_.state = STATE_REQUEST_DATA;
}

void AccessoryCommunicationDelegate::singleShot() {
  model_.runtime.acquisitionPause = ACQ_SINGLE_ARMED;
  if (!link_.discovered) return;
  link_.resetStores = true;
  link_.state = STATE_CONFIGURE;
}

void AccessoryCommunicationDelegate::startController() {
  if (link_.threadRunning) return;
  if (thread_.joinable()) thread_.join();
  link_.stopThread = false;
  link_.threadRunning = true;
  thread_ = std::thread([this] {
    using namespace std::chrono;
    while (!link_.stopThread) {
      const auto t0 = steady_clock::now();
      runCycle();
      std::unique_lock lock(wakeMutex_);
      wake_.wait_until(lock, t0 + milliseconds(CONTROLLER_CYCLE_MS), [this] { return link_.stopThread.load(); });
    }
    link_.threadRunning = false;
  });
}

void AccessoryCommunicationDelegate::stopController() {
  {
    std::lock_guard lock(wakeMutex_);
    link_.stopThread = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void AccessoryCommunicationDelegate::runCycle() {
  std::lock_guard cycle(cycleMutex_);
  CommandQueue* link = link_.link;
  const void* device = link_.device;
  if (link && device)
    liveCycle(link);
  else
    demo_.runCycle(*this);
}

void AccessoryCommunicationDelegate::acknowledgedStep() {
  log_.load()->configureAcknowledged();
  if (link_.resetStores) {
    ModelLock lock(model_, LOCK_ALL);
    model_.resetSpectrumData();
    model_.resetPowerData();
    model_.resetCursorSamples();
    link_.resetStores = false;
  }
  const int64_t now = clock_.nowMs();
  model_.runtime.triggerStatus = 2;
  link_.lastTriggerMs = now;
  link_.lastScanCheckMs = now;
  link_.scanDue = model_.isSpectrumMode() && model_.spectrum.ssidEnabled != 0 && !isWaterfall(model_) &&
                  model_.spectrum.ssidRefreshSeconds == 0.0f;
}

void AccessoryCommunicationDelegate::stoppedStep() {
  if (!link_.reconfigure) return;
  if (link_.reconfigureFull) {
    link_.reconfigureFull = false;
    link_.advance(STATE_STOPPED, STATE_CONFIGURE);
  } else {
    link_.advance(STATE_STOPPED, STATE_REQUEST_DATA);
  }
  link_.reconfigure = false;
}

void AccessoryCommunicationDelegate::queueCommand(CommandQueue* link, int tag, int length,
                                                  const std::function<int(uint8_t*, int)>& build) {
  if (length <= 0) return;
  std::vector<uint8_t> command(static_cast<size_t>(length));
  const int written = build(command.data(), length);
  if (written <= 0) return;  // nothing queued; the machine goes on as if sent
  command.resize(std::min(written, length));
  link->enqueue(std::move(command), tag);
}

void AccessoryCommunicationDelegate::liveCycle(CommandQueue* link) {
  const int64_t now = clock_.nowMs();
  int32_t state = link_.state;
  // Until a response is accepted the discover command goes out every cycle.
  if (!link_.discovered && state != STATE_START_DISCOVERY) link_.advance(state, STATE_START_DISCOVERY);
  state = link_.state;

  const auto info = model_.deviceInfo();
  const bool ssid = model_.spectrum.ssidEnabled != 0;
  const bool waterfall = isWaterfall(model_);
  const bool fixedCycle = info->fixedScanCycle;

  // SSID timer: where the controller paces scans, interrupt the sweeps every interval and end
  // a scan cycle whose second frame does not come.
  if (link_.discovered && model_.isSpectrumMode() && ssid && !waterfall && !fixedCycle &&
      (state == STATE_STREAMING || state == STATE_STREAMING_AFTER_EMPTY_SCAN)) {
    const int64_t s = wholeSeconds(model_.spectrum.ssidRefreshSeconds);
    if (s > 0) {
      if (now >= link_.lastScanCheckMs + 1000 * s && !link_.scanDue) {
        if (link_.advance(state, STATE_STOP)) {
          link_.reconfigure = true;
          link_.scanDue = true;
        }
      } else if (link_.scanDue && link_.scanFrames >= 1 && now >= link_.scanStartMs + SCAN_CYCLE_TIMEOUT_MS) {
        if (link_.advance(state, STATE_STOP)) {
          link_.reconfigure = true;
          link_.scanDue = false;
        }
      }
    }
  }
  // The scan timer does not run under the waterfall.
  if (ssid && !fixedCycle && waterfall) link_.lastScanCheckMs = now;

  state = link_.state;
  switch (state) {
    case STATE_START_DISCOVERY:
      link_.discovered = false;
      queueCommand(link, TAG_DISCOVER, SHORT_COMMAND_LENGTH,
                   [](uint8_t* out, int cap) { return buildShortCommand(COMMAND_DISCOVER, out, cap); });
      link_.advance(state, STATE_AWAIT_DISCOVER);
      break;
    case STATE_DISCOVERED:
      link_.discovered = true;
      link_.resetStores = true;
      link_.primeSweep = info->generationCode == GENERATION_TARVO;
      link_.advance(state, STATE_CONFIGURE);
      break;
    case STATE_CONFIGURE: {
      std::vector<uint8_t> command;
      bool haveDecoder = false;
      {
        std::lock_guard lock(handlerMutex_);
        if (decoder_) {
          haveDecoder = true;
          const int length = decoder_->configureLength();
          if (length > 0) {
            command.resize(static_cast<size_t>(length));
            const int written = decoder_->buildConfigure(command.data(), length, &model_);
            command.resize(written > 0 ? static_cast<size_t>(std::min(written, length)) : 0);
          }
        }
      }
      if (!haveDecoder) {
        link_.advance(state, STATE_START_DISCOVERY);
        break;
      }
      if (!command.empty()) link->enqueue(std::move(command), TAG_CONFIGURE);
      link_.countdown = CONFIGURE_RETRY_CYCLES;
      link_.advance(state, STATE_AWAIT_ACK);
      break;
    }
    case STATE_AWAIT_ACK:
      if (--link_.countdown <= 0) link_.advance(state, STATE_CONFIGURE);
      break;
    case STATE_ACKNOWLEDGED:
      acknowledgedStep();
      link_.advance(state, STATE_REQUEST_DATA);
      break;
    case STATE_REQUEST_DATA:
      requestData(link);
      break;
    case STATE_STOP: {
      model_.runtime.scanInProgress = false;
      bool repeats = true;
      std::vector<uint8_t> command;
      {
        std::lock_guard lock(handlerMutex_);
        if (decoder_ && !decoder_->repeatsRequests()) {
          repeats = false;
          const int length = decoder_->stopRequestLength();
          if (length > 0) {
            command.resize(static_cast<size_t>(length));
            const int written = decoder_->buildStopRequest(command.data(), length);
            command.resize(written > 0 ? static_cast<size_t>(std::min(written, length)) : 0);
          }
        }
      }
      if (repeats) {
        link_.advance(state, STATE_STOPPED);
      } else {
        if (!command.empty()) link->enqueue(std::move(command), TAG_DATA_REQUEST);
        link_.advance(state, STATE_AWAIT_STOP_ACK);
      }
      break;
    }
    case STATE_STOPPED:
      stoppedStep();
      break;
    default:  // 1, 7, 8, 10: waiting
      break;
  }
}

void AccessoryCommunicationDelegate::requestData(CommandQueue* link) {
  const int64_t now = clock_.nowMs();
  std::vector<std::vector<uint8_t>> commands;
  bool repeats = false;
  {
    std::lock_guard lock(handlerMutex_);
    if (!decoder_) return;
    AccessoryProtocol& decoder = *decoder_;
    repeats = decoder.repeatsRequests();

    const auto info = model_.deviceInfo();
    const bool ssid = model_.spectrum.ssidEnabled != 0;
    const bool waterfall = isWaterfall(model_);
    const bool fixedCycle = info->fixedScanCycle;

    const int pause = model_.runtime.acquisitionPause;
    if (pause == ACQ_STOPPED || pause == ACQ_SINGLE_CAPTURED) {
      if (!(ssid && fixedCycle && waterfall)) model_.runtime.scanInProgress = false;
      link_.advance(STATE_REQUEST_DATA, STATE_STOP);
      return;
    }
    if (pause != ACQ_RUN && pause != ACQ_SINGLE_ARMED) return;

    auto build = [&](int length, auto&& builder) {
      if (length <= 0) return;
      std::vector<uint8_t> command(static_cast<size_t>(length));
      const int written = builder(command.data(), length);
      if (written <= 0) return;
      command.resize(static_cast<size_t>(std::min(written, length)));
      commands.push_back(std::move(command));
    };
    auto sweepRequest = [&] {
      build(decoder.sweepRequestLength(), [&](uint8_t* o, int c) { return decoder.buildSweepRequest(o, c); });
    };

    bool scanning = false;
    if (model_.isSpectrumMode()) {
      bool sweep = true;
      bool scan = ssid;
      if (ssid && !fixedCycle && !waterfall) {
        if (!link_.scanDue && model_.spectrum.ssidRefreshSeconds != 0.0f) {
          scan = false;  // sweeps until the scan timer fires
        } else {
          scan = true;
          sweep = false;
          scanning = true;
          link_.lastScanCheckMs = now;
          link_.scanStartMs = 0;
        }
      }
      if (waterfall) {
        scanning = false;
        link_.lastScanCheckMs = now;
        link_.scanStartMs = 0;
      } else if (scan && decoder.canScan()) {
        build(decoder.scanRequestLength(), [&](uint8_t* o, int c) { return decoder.buildScanRequest(o, c); });
      }
      if (sweep && decoder.canSweep()) sweepRequest();
    } else if (decoder.canCapturePower()) {
      if (link_.primeSweep) {
        sweepRequest();
        link_.primeSweep = false;
      }
      build(decoder.powerRequestLength(), [&](uint8_t* o, int c) { return decoder.buildPowerRequest(o, c); });
    }
    model_.runtime.scanInProgress = scanning;
  }
  for (auto& command : commands) link->enqueue(std::move(command), TAG_DATA_REQUEST);
  link_.advance(STATE_REQUEST_DATA, repeats ? STATE_REQUEST_DATA : STATE_STREAMING);
}

}  // namespace tarvo
