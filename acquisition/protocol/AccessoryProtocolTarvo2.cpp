#include "acquisition/protocol/AccessoryProtocolTarvo2.h"

#include <algorithm>

#include "acquisition/protocol/detail/ScanFrames.h"
#include "acquisition/protocol/detail/TriggerParameters.h"
#include "acquisition/protocol/detail/WireFormat.h"
#include "core/AnalyzerModel.h"

namespace tarvo {

namespace {
constexpr uint8_t TRIGGER_MODE_NORMAL = 0;
constexpr uint8_t TRIGGER_MODE_AUTO = 1;
constexpr uint8_t TRIGGER_MODE_ROLL = 2;
// The accessory counts time bases from the fastest: code = 17 - index.
constexpr int FASTEST_TIMEBASE = TIMEBASE_TABLE_SIZE - 1;
}  // namespace

AccessoryProtocolTarvo2::AccessoryProtocolTarvo2() = default;
AccessoryProtocolTarvo2::~AccessoryProtocolTarvo2() = default;

int AccessoryProtocolTarvo2::frameLength(const uint8_t* bytes, int available) const {
  return frameLengthFor(GENERATION_TARVO2, bytes, available);
}

bool AccessoryProtocolTarvo2::canScan() const {
  std::lock_guard lock(mutex_);
  return cal_.scanFlag;
}

bool AccessoryProtocolTarvo2::canSweep() const {
  std::lock_guard lock(mutex_);
  return cal_.spectrumFlag;
}

bool AccessoryProtocolTarvo2::canCapturePower() const {
  std::lock_guard lock(mutex_);
  return cal_.powerFlag;
}

int AccessoryProtocolTarvo2::decodeDiscover(const uint8_t* bytes, int length, DeviceInfo* out) {
  if (const int head = wire::checkFrameHead(bytes, length, FRAME_DISCOVER); head != PROTOCOL_OK) return head;
  if (length < DISCOVER_LENGTH) return PROTOCOL_TOO_SHORT;
  if (bytes[2] != GENERATION_TARVO2) return PROTOCOL_UNSUPPORTED;

  const uint8_t floorCode = bytes[56];
  Calibration cal;
  {
    std::lock_guard lock(mutex_);
    cal_.spectrumFlag = bytes[8] != 0;
    cal_.spectrumFlagCopy = cal_.spectrumFlag;
    cal_.powerFlag = bytes[9] != 0;
    cal_.powerSlope = wire::readFloat(bytes + 36);
    cal_.powerOffset = wire::readFloat(bytes + 40) - POWER_OFFSET_CORRECTION_DB;
    cal_.spectrumSlope = wire::readFloat(bytes + 44);
    cal_.spectrumOffset = wire::readFloat(bytes + 48);
    cal_.spectrumFloor = floorCode * cal_.spectrumSlope + cal_.spectrumOffset;
    cal = cal_;
  }
  if (!out) return PROTOCOL_OK;

  DeviceInfo info;
  info.generationCode = GENERATION_TARVO2;
  info.infoByte1 = bytes[3];
  info.infoByte2 = bytes[4];
  info.reserved = 0;
  info.infoByte4 = bytes[6];
  info.infoByte5 = bytes[7];
  info.infoByte6 = bytes[15];
  info.infoByte7 = bytes[15];
  info.band1SpectrumCapable = cal.spectrumFlag;
  info.band2SpectrumCapable = false;
  info.band1ScanCapable = cal.spectrumFlag;
  info.band2ScanCapable = false;
  info.powerCapable = cal.powerFlag;
  info.internalAttenuatorAvailable = false;
  info.fixedScanCycle = true;
  info.deviceIdText = hexText(bytes + 16, DEVICE_ID_BYTES);
  info.laterGeneration = true;
  info.internalAttenuations.fill(0.0f);
  info.internalAttenuationCount = 0;
  info.gen1ExtraWord = 0;
  info.powerPacketsPerTrace = 1;
  info.band1PacketsPerSweep = 1;
  info.band2PacketsPerSweep = 1;
  info.gen1Marker = 0;
  info.band1BinsPerSweep = 256;
  info.band2BinsPerSweep = 0;
  info.powerSamplesPerTrace = 1000;
  info.band1BinsShown = 245;
  info.band2BinsShown = 0;
  // Taken from the floor code itself; recovering it from the float floor can be off by one.
  info.band1AmplitudeLevels = 256u - floorCode;
  info.band2AmplitudeLevels = 256;
  info.band1SweepPeriod = 0.2f;
  info.band2SweepPeriod = 0.2f;
  info.powerPeriod = 0.1f;
  info.demoScanDelay = 110.0f;
  info.demoScanInterval = 20.0f;
  info.timebaseTable.assign(cal.timebase.begin(), cal.timebase.end());
  info.rollTimebaseCount = 4;
  info.rollTimebaseCode = 4;
  info.amplitudeScaleTable = {cal.amplitudeScaleStep};

  const float nan = notAvailable();
  const DbmRange power = powerRangeFromCalibration(cal.powerSlope, cal.powerOffset);
  info.powerMinDbm = cal.powerFlag ? power.minDbm : nan;
  info.powerMaxDbm = cal.powerFlag ? power.maxDbm : nan;
  const DbmRange band1 = spectrumRangeFromCalibration(cal.spectrumSlope, cal.spectrumOffset, cal.spectrumFloor);
  info.band1MinDbm = cal.spectrumFlag ? band1.minDbm : nan;
  info.band1MaxDbm = cal.spectrumFlag ? band1.maxDbm : nan;
  info.band2MinDbm = nan;
  info.band2MaxDbm = nan;
  *out = std::move(info);
  return PROTOCOL_OK;
}

int AccessoryProtocolTarvo2::buildConfigure(uint8_t* out, int capacity, const AnalyzerModel* model) {
  if (!out || capacity < CONFIGURE_LENGTH || !model) return -1;
  const auto info = model->deviceInfo();

  std::lock_guard lock(mutex_);
  std::fill(out, out + CONFIGURE_LENGTH, 0);
  wire::writeConfigureHeader(out, CONFIGURE_LENGTH);
  out[4] = ++cal_.sequence;
  const int idx = std::clamp<int>(model->power.timebaseIndex, 0, FASTEST_TIMEBASE);
  const bool roll = model->isRollMode();
  const int sentIndex = roll ? std::clamp<int>(info->rollTimebaseCode, 0, FASTEST_TIMEBASE) : idx;
  out[5] = static_cast<uint8_t>(FASTEST_TIMEBASE - sentIndex);

  if (model->isSpectrumMode()) return CONFIGURE_LENGTH;

  const PowerSettings& p = model->power;
  uint16_t level = 0;
  uint32_t pre = 1;
  uint32_t holdoff = 1;
  if (roll) {
    out[9] = TRIGGER_MODE_ROLL;
  } else {
    out[9] = p.triggerAuto ? TRIGGER_MODE_AUTO : TRIGGER_MODE_NORMAL;
    if (p.triggerOnPower) {
      const bool rising = p.powerTriggerEdge != 0;
      level = trigger::levelCode(p.triggerLevelDbm, model->attenuationOffsetDb(), cal_.powerSlope, cal_.powerOffset,
                                 rising);
      out[10] = 0;
      out[11] = 0;
      out[8] = rising ? 1 : 0;
    } else {
      const uint8_t logic = p.digitalLogic;
      // Conditions 1..4; a logic value outside 0..3 (a damaged settings record) arms none.
      out[10] = logic <= 3 ? static_cast<uint8_t>(logic + 1) : 0;
      out[11] = static_cast<uint8_t>((p.digitalLineA & 0x0F) | (p.digitalLineB << 4));
      out[8] = p.digitalEdgeB ? 3 : 0;
    }
    const auto counts = trigger::sampleCounts(cal_.timebase[idx], info->powerSamplesPerTrace, p.triggerDelay,
                                              p.triggerHoldoff);
    pre = counts.preTrigger;
    holdoff = counts.holdoffSent;
  }
  wire::writeU16(out + 6, level);
  wire::writeU32(out + 12, holdoff);
  wire::writeU32(out + 16, pre);
  return CONFIGURE_LENGTH;
}

int AccessoryProtocolTarvo2::decodePower(const uint8_t* bytes, int length, float* out, int capacity, int* count,
                                         int* segment, bool* triggered) {
  if (count) *count = 0;
  if (segment) *segment = 255;
  if (const int head = wire::checkFrameHead(bytes, length, FRAME_POWER); head != PROTOCOL_OK) return head;
  if (length < POWER_LENGTH) return PROTOCOL_TOO_SHORT;
  if (!out) return PROTOCOL_NO_BUFFER;
  if (capacity < POWER_SAMPLES) return PROTOCOL_TOO_SHORT;
  {
    std::lock_guard lock(mutex_);
    wire::decodeAmplitudes(bytes + 4, POWER_SAMPLES, cal_.powerSlope, cal_.powerOffset, out);
  }
  if (count) *count = POWER_SAMPLES;
  if (segment) *segment = segmentIndexOf(bytes[1]);
  if (triggered) *triggered = triggeredFlagOf(bytes[1]);
  return PROTOCOL_OK;
}

int AccessoryProtocolTarvo2::buildPowerRequest(uint8_t* out, int capacity) const {
  return buildShortCommand(COMMAND_POWER, out, capacity);
}

int AccessoryProtocolTarvo2::decodeSpectrum(const uint8_t* bytes, int length, float* out, int capacity, int* count,
                                            int* band, int* segment) {
  if (count) *count = 0;
  if (segment) *segment = 255;
  if (const int head = wire::checkFrameHead(bytes, length, FRAME_SPECTRUM); head != PROTOCOL_OK) return head;
  if (length < SPECTRUM_LENGTH) return PROTOCOL_TOO_SHORT;
  if (!out) return PROTOCOL_NO_BUFFER;
  if (capacity < SPECTRUM_BINS) return PROTOCOL_TOO_SHORT;
  {
    std::lock_guard lock(mutex_);
    wire::decodeAmplitudes(bytes + 4, SPECTRUM_BINS, cal_.spectrumSlope, cal_.spectrumOffset, cal_.spectrumFloor,
                           out);
  }
  if (count) *count = SPECTRUM_BINS;
  if (band) *band = 1;
  if (segment) *segment = 0;  // one frame is one sweep
  return PROTOCOL_OK;
}

int AccessoryProtocolTarvo2::decodeScan(const uint8_t* bytes, int length, std::unique_ptr<AccessPointBatch>* out) {
  scan::FrameOptions options;
  options.layout = scan::RecordLayout::SINGLE_BAND;
  return scan::decodeFrame(bytes, length, out, options, screenLog());
}

int AccessoryProtocolTarvo2::buildScanRequest(uint8_t* out, int capacity) const {
  return buildShortCommand(COMMAND_SCAN, out, capacity);
}

int AccessoryProtocolTarvo2::isStopAck(const uint8_t* bytes, int length) const {
  return wire::checkStopAck(bytes, length);
}

int AccessoryProtocolTarvo2::buildStopRequest(uint8_t* out, int capacity) const {
  return buildShortCommand(COMMAND_STOP, out, capacity);
}

bool AccessoryProtocolTarvo2::reorderSegments(float* values, int count, const uint8_t* order, int segments) const {
  return reorderBlocks(values, count, order, segments);
}

}  // namespace tarvo
