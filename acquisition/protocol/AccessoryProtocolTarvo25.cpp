#include "acquisition/protocol/AccessoryProtocolTarvo25.h"

#include <algorithm>

#include "acquisition/protocol/detail/ScanFrames.h"
#include "acquisition/protocol/detail/WireFormat.h"
#include "core/AnalyzerModel.h"

namespace tarvo {

AccessoryProtocolTarvo25::AccessoryProtocolTarvo25(const AnalyzerModel* model) : model_(model) {}
AccessoryProtocolTarvo25::~AccessoryProtocolTarvo25() = default;

int AccessoryProtocolTarvo25::frameLength(const uint8_t* bytes, int available) const {
  return frameLengthFor(GENERATION_TARVO25, bytes, available);
}

bool AccessoryProtocolTarvo25::canScan() const {
  std::lock_guard lock(mutex_);
  return cal_.scanFlag;
}

bool AccessoryProtocolTarvo25::canSweep() const {
  std::lock_guard lock(mutex_);
  return cal_.anyBandFlag;
}

int AccessoryProtocolTarvo25::decodeDiscover(const uint8_t* bytes, int length, DeviceInfo* out) {
  if (const int head = wire::checkFrameHead(bytes, length, FRAME_DISCOVER); head != PROTOCOL_OK) return head;
  if (length < DISCOVER_LENGTH) return PROTOCOL_TOO_SHORT;
  if (bytes[2] != GENERATION_TARVO25) return PROTOCOL_UNSUPPORTED;

  const uint8_t floorCode1 = bytes[36];
  const uint8_t floorCode2 = bytes[52];
  Calibration cal;
  {
    std::lock_guard lock(mutex_);
    cal_.scanFlag = bytes[8] != 0;
    cal_.band1Flag = bytes[9] != 0;
    cal_.band2Flag = bytes[10] != 0;
    cal_.anyBandFlag = cal_.band1Flag || cal_.band2Flag;
    cal_.powerFlag = false;
    cal_.band1.slope = wire::readFloat(bytes + 24);
    cal_.band1.offset = wire::readFloat(bytes + 28);
    cal_.band1.floorDbm = floorCode1 * cal_.band1.slope + cal_.band1.offset;
    cal_.band2.slope = wire::readFloat(bytes + 40);
    cal_.band2.offset = wire::readFloat(bytes + 44);
    cal_.band2.floorDbm = floorCode2 * cal_.band2.slope + cal_.band2.offset;
    cal = cal_;
  }
  if (!out) return PROTOCOL_OK;

  DeviceInfo info;
  info.generationCode = GENERATION_TARVO25;
  info.infoByte1 = bytes[3];
  info.infoByte2 = bytes[4];
  info.reserved = 0;
  info.infoByte4 = 0;
  info.infoByte5 = 0;
  info.infoByte6 = 0;
  info.infoByte7 = 0;
  info.band1SpectrumCapable = cal.band1Flag;
  info.band2SpectrumCapable = cal.band2Flag;
  info.band1ScanCapable = cal.scanFlag && cal.band1Flag;
  info.band2ScanCapable = cal.scanFlag && cal.band2Flag;
  info.powerCapable = false;
  info.internalAttenuatorAvailable = false;
  info.fixedScanCycle = false;
  info.deviceIdText = hexText(bytes + 12, DEVICE_ID_BYTES);
  info.laterGeneration = true;
  info.internalAttenuations.fill(0.0f);
  info.internalAttenuationCount = 0;
  info.gen1ExtraWord = 0;
  info.powerPacketsPerTrace = 1;
  info.band1PacketsPerSweep = 1;
  info.band2PacketsPerSweep = 1;
  info.gen1Marker = 0;
  info.band1BinsPerSweep = BAND1_SPECTRUM_BINS;
  info.band2BinsPerSweep = BAND2_SPECTRUM_BINS;
  info.powerSamplesPerTrace = 0;
  info.band1BinsShown = 245;
  info.band2BinsShown = 512;
  // Taken from the floor codes themselves; recovering them from the float floors can be off by one.
  info.band1AmplitudeLevels = 256u - floorCode1;
  info.band2AmplitudeLevels = 256u - floorCode2;
  info.band1SweepPeriod = 0.25f;
  info.band2SweepPeriod = 1.25f;
  info.powerPeriod = 0.1f;
  info.demoScanDelay = 0.0f;
  info.demoScanInterval = 4.0f;
  info.timebaseTable.clear();
  info.rollTimebaseCount = -1;
  info.rollTimebaseCode = -1;
  info.amplitudeScaleTable.clear();

  const float nan = notAvailable();
  info.powerMinDbm = nan;
  info.powerMaxDbm = nan;
  const DbmRange band1 = spectrumRangeFromCalibration(cal.band1.slope, cal.band1.offset, cal.band1.floorDbm);
  info.band1MinDbm = cal.band1Flag ? band1.minDbm : nan;
  info.band1MaxDbm = cal.band1Flag ? band1.maxDbm : nan;
  const DbmRange band2 = spectrumRangeFromCalibration(cal.band2.slope, cal.band2.offset, cal.band2.floorDbm);
  info.band2MinDbm = cal.band2Flag ? band2.minDbm : nan;
  info.band2MaxDbm = cal.band2Flag ? band2.maxDbm : nan;
  *out = std::move(info);
  return PROTOCOL_OK;
}

int AccessoryProtocolTarvo25::buildConfigure(uint8_t* out, int capacity, const AnalyzerModel* model) {
  if (!out || capacity < CONFIGURE_LENGTH || !model) return -1;
  std::lock_guard lock(mutex_);
  std::fill(out, out + CONFIGURE_LENGTH, 0);
  wire::writeConfigureHeader(out, CONFIGURE_LENGTH);
  out[4] = ++cal_.sequence;
  out[5] = model->spectrum.band == BAND_5G ? 1 : 0;
  return CONFIGURE_LENGTH;
}

int AccessoryProtocolTarvo25::decodePower(const uint8_t*, int, float*, int, int* count, int*, bool*) {
  if (count) *count = 0;
  return PROTOCOL_UNSUPPORTED;
}

int AccessoryProtocolTarvo25::decodeSpectrum(const uint8_t* bytes, int length, float* out, int capacity, int* count,
                                             int* band, int* segment) {
  if (count) *count = 0;
  if (const int head = wire::checkFrameHead(bytes, length, FRAME_SPECTRUM); head != PROTOCOL_OK) return head;
  // An empty sweep: the accessory had nothing to send for this request.
  if (length == DUALBAND_EMPTY_SWEEP_LENGTH && (bytes[1] & 7) == 1) {
    if (band) *band = bytes[2] == 1 ? 2 : 1;
    if (segment) *segment = segmentIndexOf(bytes[1]);
    return PROTOCOL_OK;
  }
  int bins = 0;
  int frameLength = 0;
  int bandNumber = 0;
  switch (bytes[2]) {
    case 0:
      bins = BAND1_SPECTRUM_BINS;
      frameLength = BAND1_SPECTRUM_LENGTH;
      bandNumber = 1;
      break;
    case 1:
      bins = BAND2_SPECTRUM_BINS;
      frameLength = BAND2_SPECTRUM_LENGTH;
      bandNumber = 2;
      break;
    default:
      return PROTOCOL_UNSUPPORTED;
  }
  if (length < frameLength) return PROTOCOL_TOO_SHORT;
  if (!out) return PROTOCOL_NO_BUFFER;
  if (capacity < bins) return PROTOCOL_TOO_SHORT;
  {
    std::lock_guard lock(mutex_);
    const BandCalibration& c = bandNumber == 1 ? cal_.band1 : cal_.band2;
    wire::decodeAmplitudes(bytes + 4, bins, c.slope, c.offset, c.floorDbm, out);
  }
  if (count) *count = bins;
  if (band) *band = bandNumber;
  if (segment) *segment = segmentIndexOf(bytes[1]);
  return PROTOCOL_OK;
}

int AccessoryProtocolTarvo25::decodeScan(const uint8_t* bytes, int length, std::unique_ptr<AccessPointBatch>* out) {
  const AnalyzerModel& model = model_ ? *model_ : AnalyzerModel::getInstance();
  scan::FrameOptions options;
  options.layout = scan::RecordLayout::DUAL_BAND;
  options.maxRecords = DUALBAND_MAX_SCAN_RECORDS;
  options.substituteDemoSsids = !model.isConnected();
  return scan::decodeFrame(bytes, length, out, options, screenLog());
}

int AccessoryProtocolTarvo25::buildScanRequest(uint8_t* out, int capacity) const {
  return buildShortCommand(COMMAND_SCAN, out, capacity);
}

int AccessoryProtocolTarvo25::isStopAck(const uint8_t* bytes, int length) const {
  return wire::checkStopAck(bytes, length);
}

int AccessoryProtocolTarvo25::buildStopRequest(uint8_t* out, int capacity) const {
  return buildShortCommand(COMMAND_STOP, out, capacity);
}

bool AccessoryProtocolTarvo25::reorderSegments(float* values, int count, const uint8_t* order, int segments) const {
  return reorderBlocks(values, count, order, segments);
}

}  // namespace tarvo
