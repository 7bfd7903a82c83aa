#include "acquisition/protocol/AccessoryProtocolTarvo.h"

#include <algorithm>

#include "acquisition/protocol/detail/TriggerParameters.h"
#include "acquisition/protocol/detail/WireFormat.h"
#include "core/AnalyzerModel.h"

namespace tarvo {

namespace {
// Byte 6 of the configure command for the slowest roll time base that the accessory streams.
constexpr uint8_t ROLL_LAST_TIMEBASE_CODE = 5;
// Byte 10: how the accessory arms its trigger.
constexpr uint8_t TRIGGER_MODE_NORMAL = 0;
constexpr uint8_t TRIGGER_MODE_AUTO = 1;
constexpr uint8_t TRIGGER_MODE_ROLL = 2;
}  // namespace

AccessoryProtocolTarvo::AccessoryProtocolTarvo() = default;
AccessoryProtocolTarvo::~AccessoryProtocolTarvo() = default;

int AccessoryProtocolTarvo::frameLength(const uint8_t* bytes, int available) const {
  return frameLengthFor(GENERATION_TARVO, bytes, available);
}

bool AccessoryProtocolTarvo::canScan() const {
  std::lock_guard lock(mutex_);
  return cal_.scanFlag;
}

bool AccessoryProtocolTarvo::canSweep() const {
  std::lock_guard lock(mutex_);
  return cal_.spectrumFlag;
}

bool AccessoryProtocolTarvo::canCapturePower() const {
  std::lock_guard lock(mutex_);
  return cal_.powerFlag;
}

int AccessoryProtocolTarvo::decodeDiscover(const uint8_t* bytes, int length, DeviceInfo* out) {
  if (const int head = wire::checkFrameHead(bytes, length, FRAME_DISCOVER); head != PROTOCOL_OK) return head;
  if (length < DISCOVER_LENGTH) return PROTOCOL_TOO_SHORT;
  if (bytes[2] != GENERATION_TARVO) return PROTOCOL_UNSUPPORTED;

  const uint8_t floorCode = bytes[64];
  Calibration cal;
  {
    std::lock_guard lock(mutex_);
    cal_.spectrumFlag = bytes[8] != 0;
    cal_.spectrumFlagCopy = cal_.spectrumFlag;
    cal_.powerFlag = bytes[9] != 0;
    // The response carries a spectrum pair, but this accessory's plan has fixed constants.
    cal_.spectrumSlope = wire::readFloat(bytes + 52);
    cal_.spectrumOffset = wire::readFloat(bytes + 56);
    cal_.spectrumFloor = floorCode * cal_.spectrumSlope + cal_.spectrumOffset;
    cal_.spectrumSlope = SPECTRUM_SLOPE;
    cal_.spectrumOffset = SPECTRUM_OFFSET;
    cal_.spectrumFloor = floorCode * cal_.spectrumSlope + cal_.spectrumOffset;
    cal_.powerSlope = wire::readFloat(bytes + 44);
    cal_.powerOffset = wire::readFloat(bytes + 48);
    cal = cal_;
  }
  if (!out) return PROTOCOL_OK;

  DeviceInfo info;
  info.generationCode = GENERATION_TARVO;
  info.infoByte1 = bytes[3];
  info.infoByte2 = bytes[4];
  info.reserved = 0;
  info.infoByte4 = bytes[6];
  info.infoByte5 = bytes[7];
  info.infoByte6 = bytes[11];
  info.infoByte7 = bytes[11];
  info.band1SpectrumCapable = cal.spectrumFlag;
  info.band2SpectrumCapable = false;
  info.band1ScanCapable = false;
  info.band2ScanCapable = false;
  info.powerCapable = cal.powerFlag;
  info.internalAttenuatorAvailable = true;
  info.fixedScanCycle = true;
  info.deviceIdText = "0";
  info.laterGeneration = false;
  for (size_t i = 0; i < info.internalAttenuations.size(); ++i)
    info.internalAttenuations[i] = wire::readFloat(bytes + 12 + 4 * i);
  info.internalAttenuationCount = static_cast<int32_t>(info.internalAttenuations.size());
  info.gen1ExtraWord = wire::readU32(bytes + 60);
  info.powerPacketsPerTrace = 6;
  info.band1PacketsPerSweep = 2;
  info.band2PacketsPerSweep = 0;
  info.gen1Marker = 1;
  info.band1BinsPerSweep = 100;
  info.band2BinsPerSweep = 0;
  info.powerSamplesPerTrace = 240;
  info.band1BinsShown = 96;
  info.band2BinsShown = 0;
  // One level per code at or above the floor code (taken from the code itself: recovering it
  // from the float floor would be off by one for some codes).
  info.band1AmplitudeLevels = 256u - floorCode;
  info.band2AmplitudeLevels = 256;
  info.band1SweepPeriod = 0.1f;
  info.band2SweepPeriod = 0.1f;
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

int AccessoryProtocolTarvo::buildConfigure(uint8_t* out, int capacity, const AnalyzerModel* model) {
  // Writing 32 bytes into a shorter buffer would overrun it.
  if (!out || capacity < CONFIGURE_LENGTH || !model) return -1;
  const auto info = model->deviceInfo();

  std::lock_guard lock(mutex_);
  std::fill(out, out + CONFIGURE_LENGTH, 0);
  wire::writeConfigureHeader(out, CONFIGURE_LENGTH);
  out[22] = ++cal_.sequence;
  out[14] = 255;
  const bool powerMode = !model->isSpectrumMode();
  out[23] = powerMode ? 1 : 0;
  const int attenuatorStep = model->common.internalAttenuationIndex;
  out[11] = (attenuatorStep >= 1 && attenuatorStep <= 6) ? static_cast<uint8_t>(attenuatorStep) : 0;

  const int idx = std::clamp<int>(model->power.timebaseIndex, 0, TIMEBASE_TABLE_SIZE - 1);
  const bool roll = model->isRollMode();
  out[6] = (roll && idx == info->rollTimebaseCount - 1) ? ROLL_LAST_TIMEBASE_CODE : static_cast<uint8_t>(idx);

  if (!powerMode) return CONFIGURE_LENGTH;

  const PowerSettings& p = model->power;
  uint16_t level = 0;
  uint32_t pre = 0;
  uint32_t holdoff = 1;
  if (roll) {
    out[9] = 0;
    out[10] = TRIGGER_MODE_ROLL;
  } else {
    out[10] = p.triggerAuto ? TRIGGER_MODE_AUTO : TRIGGER_MODE_NORMAL;
    if (p.triggerOnPower) {
      const bool rising = p.powerTriggerEdge != 0;
      level = trigger::levelCode(p.triggerLevelDbm, model->attenuationOffsetDb(), cal_.powerSlope, cal_.powerOffset,
                                 rising);
      out[20] = 0;
      out[21] = 0;
      out[9] = rising ? 1 : 0;
    } else {
      const uint8_t logic = p.digitalLogic;
      // Conditions 1..4; a logic value outside 0..3 (a damaged settings record) arms none.
      out[20] = logic <= 3 ? static_cast<uint8_t>(logic + 1) : 0;
      out[21] = static_cast<uint8_t>((p.digitalLineA & 0x0F) | (p.digitalLineB << 4));
      out[9] = p.digitalEdgeB ? 3 : 0;
    }
    const auto counts = trigger::sampleCounts(cal_.timebase[idx], info->powerSamplesPerTrace, p.triggerDelay,
                                              p.triggerHoldoff);
    pre = counts.preTrigger;
    holdoff = counts.holdoffSent;
  }
  wire::writeU16(out + 4, level);
  wire::writeU32(out + 24, holdoff);
  wire::writeU32(out + 28, pre);
  return CONFIGURE_LENGTH;
}

int AccessoryProtocolTarvo::decodePower(const uint8_t* bytes, int length, float* out, int capacity, int* count,
                                        int* segment, bool* triggered) {
  if (count) *count = 0;
  if (segment) *segment = 255;
  if (const int head = wire::checkFrameHead(bytes, length, FRAME_POWER); head != PROTOCOL_OK) return head;
  if (length < POWER_LENGTH) return PROTOCOL_TOO_SHORT;
  if (!out) return PROTOCOL_NO_BUFFER;
  if (capacity < POWER_SAMPLES) return PROTOCOL_TOO_SHORT;
  {
    std::lock_guard lock(mutex_);
    wire::decodeAmplitudes(bytes + 2, POWER_SAMPLES, cal_.powerSlope, cal_.powerOffset, out);
  }
  if (count) *count = POWER_SAMPLES;
  if (segment) *segment = segmentIndexOf(bytes[1]);
  if (triggered) *triggered = triggeredFlagOf(bytes[1]);
  return PROTOCOL_OK;
}

int AccessoryProtocolTarvo::buildPowerRequest(uint8_t* out, int capacity) const {
  return buildShortCommand(COMMAND_POWER, out, capacity);
}

int AccessoryProtocolTarvo::decodeSpectrum(const uint8_t* bytes, int length, float* out, int capacity, int* count,
                                           int* band, int* segment) {
  if (count) *count = 0;
  if (segment) *segment = 255;
  if (const int head = wire::checkFrameHead(bytes, length, FRAME_SPECTRUM); head != PROTOCOL_OK) return head;
  if (length < SPECTRUM_LENGTH) return PROTOCOL_TOO_SHORT;
  if (!out) return PROTOCOL_NO_BUFFER;
  if (capacity < SPECTRUM_BINS) return PROTOCOL_TOO_SHORT;
  {
    std::lock_guard lock(mutex_);
    wire::decodeAmplitudes(bytes + 2, SPECTRUM_BINS, cal_.spectrumSlope, cal_.spectrumOffset, cal_.spectrumFloor,
                           out);
  }
  if (count) *count = SPECTRUM_BINS;
  if (band) *band = 1;
  if (segment) *segment = segmentIndexOf(bytes[1]);
  return PROTOCOL_OK;
}

int AccessoryProtocolTarvo::decodeScan(const uint8_t*, int, std::unique_ptr<AccessPointBatch>* out) {
  if (out) out->reset();
  return PROTOCOL_UNSUPPORTED;
}

bool AccessoryProtocolTarvo::reorderSegments(float* values, int count, const uint8_t* order, int segments) const {
  return reorderInterleaved(values, count, order, segments);
}

}  // namespace tarvo
