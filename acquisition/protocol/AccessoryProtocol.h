// AccessoryProtocol: the decoder interface every accessory generation implements.
//
// A decoder (a) tells how long the frame at the head of a byte buffer is, (b) decodes frames
// into floats, DeviceInfo or AccessPoint records, and (c) builds the command frames the
// acquisition controller sends. It never touches the link. Apart from the calibration that a
// discover response fills, it is stateless.
//
// Results: 0 or a positive length is success; negative values are failures:
//   -1 incomplete or bad sync, -2 too short or unknown type, -3 missing buffer (or, for
//   frameLength, first byte not 0xAA), -4 wrong frame type, -99 unsupported or malformed.
//
// Also here: the frame and command tables shared by every generation, the frame-length rules,
// and the two segment-reordering schemes (interleaved and blocks).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/DomainTypes.h"

namespace tarvo {

class AnalyzerModel;
class ScreenLogSink;

// ---------------------------------------------------------------------------------------------
// Frames from the accessory: byte 0 = 0xAA, frame type = byte 1 >> 5.

constexpr uint8_t FRAME_SYNC = 0xAA;

enum FrameType : int {
  FRAME_UNUSED0 = 0,
  FRAME_POWER = 1,
  FRAME_CONFIGURE_ACK = 2,
  FRAME_DISCOVER = 3,
  FRAME_UNUSED4 = 4,
  FRAME_SPECTRUM = 5,
  FRAME_STOP_ACK = 6,
  FRAME_SCAN = 7,
};

inline int frameTypeOf(uint8_t byte1) { return byte1 >> 5; }
inline int segmentIndexOf(uint8_t byte1) { return byte1 & 0x0F; }
inline bool triggeredFlagOf(uint8_t byte1) { return (byte1 & 0x10) != 0; }

// Result codes.
enum ProtocolResult : int {
  PROTOCOL_OK = 0,
  PROTOCOL_INCOMPLETE = -1,  // also: bad sync in a decode operation
  PROTOCOL_TOO_SHORT = -2,   // also: unknown frame type
  PROTOCOL_NO_BUFFER = -3,   // also: frameLength with a first byte other than 0xAA
  PROTOCOL_WRONG_TYPE = -4,
  PROTOCOL_UNSUPPORTED = -99,
};

// Full frame lengths per generation (0 = the generation does not list the type).
struct FrameLengths {
  int power;
  int discover;
  int spectrumBand1;
  int spectrumBand2;
};
constexpr FrameLengths GEN1_FRAME_LENGTHS{62, 68, 52, 0};
constexpr FrameLengths GEN2_FRAME_LENGTHS{1254, 60, 260, 0};
constexpr FrameLengths DUALBAND_FRAME_LENGTHS{0, 56, 260, 516};
constexpr int CONFIGURE_ACK_LENGTH = 3;
constexpr int STOP_ACK_LENGTH = 4;
constexpr int SCAN_HEADER_LENGTH = 4;
constexpr int SCAN_RECORD_LENGTH = 64;
constexpr int DUALBAND_MAX_SCAN_RECORDS = 20;
constexpr int DUALBAND_EMPTY_SWEEP_LENGTH = 4;

// The frame-length rules of one generation (code 2, 6 or 7): length of the frame at the head of
// `bytes`, or -1 incomplete, -2 unknown type, -3 first byte not 0xAA, -99 malformed.
int frameLengthFor(int generationCode, const uint8_t* bytes, int available);

// ---------------------------------------------------------------------------------------------
// Commands to the accessory: AA <total length> <code> ...

enum CommandCode : uint8_t {
  COMMAND_POWER = 0x01,
  COMMAND_CONFIGURE = 0x02,
  COMMAND_DISCOVER = 0x03,
  COMMAND_SWEEP = 0x05,
  COMMAND_STOP = 0x06,
  COMMAND_SCAN = 0x07,
};
constexpr uint8_t CONFIGURE_MARKER = 0x53;  // byte 3 of every configure command
constexpr int SHORT_COMMAND_LENGTH = 3;

// Writes AA 03 <code>; returns 3, or -1 when out is absent or shorter than 3 bytes.
int buildShortCommand(uint8_t code, uint8_t* out, int capacity);

// ---------------------------------------------------------------------------------------------
// Segment reordering. The caller concatenates the segments' values in arrival order and passes
// each segment's index in `order`. Both return false (values untouched) when segments is 0 or
// an order entry is not below segments; true with nothing changed when segments is 1.

// First generation: value k of the j-th arrived segment goes to order[j] + segments * k.
bool reorderInterleaved(float* values, int count, const uint8_t* order, int segments);
// Later generations: the j-th arrived block of count / segments values goes to block order[j].
bool reorderBlocks(float* values, int count, const uint8_t* order, int segments);

// ---------------------------------------------------------------------------------------------

using AccessPointBatch = std::vector<std::unique_ptr<AccessPoint>>;

class AccessoryProtocol {
 public:
  AccessoryProtocol() = default;
  virtual ~AccessoryProtocol();

  virtual void prepare() {}
  virtual int frameLength(const uint8_t* bytes, int available) const = 0;
  virtual bool repeatsRequests() const = 0;
  virtual bool canScan() const = 0;
  virtual bool canSweep() const = 0;
  virtual bool canCapturePower() const = 0;
  virtual int packetsPerSweep(int bandNumber) const = 0;
  virtual int packetsPerTrace() const = 0;
  virtual int reservedQuery9() const { return 0; }
  virtual int reservedQuery10() const { return 0; }
  // Recalibrates from a discover response, then fills `out` when given.
  virtual int decodeDiscover(const uint8_t* bytes, int length, DeviceInfo* out) = 0;
  // 0 when a type-2 frame of at least 3 bytes, else negative.
  virtual int isAck(const uint8_t* bytes, int length) const;
  // Builds the configure command from the model's settings; bytes written or -1.
  virtual int buildConfigure(uint8_t* out, int capacity, const AnalyzerModel* model) = 0;
  virtual int configureLength() const = 0;
  virtual int decodePower(const uint8_t* bytes, int length, float* out, int capacity, int* count, int* segment,
                          bool* triggered) = 0;
  virtual int buildPowerRequest(uint8_t* out, int capacity) const = 0;
  virtual int powerRequestLength() const = 0;
  virtual int decodeSpectrum(const uint8_t* bytes, int length, float* out, int capacity, int* count, int* band,
                             int* segment) = 0;
  virtual int buildSweepRequest(uint8_t* out, int capacity) const;
  virtual int sweepRequestLength() const { return SHORT_COMMAND_LENGTH; }
  // On success `out` holds a new batch of new records, or stays null when none survived.
  virtual int decodeScan(const uint8_t* bytes, int length, std::unique_ptr<AccessPointBatch>* out) = 0;
  virtual int buildScanRequest(uint8_t* out, int capacity) const = 0;
  virtual int scanRequestLength() const = 0;
  // 0 when a type-6 frame of at least 4 bytes, else negative.
  virtual int isStopAck(const uint8_t* bytes, int length) const = 0;
  virtual int buildStopRequest(uint8_t* out, int capacity) const = 0;
  virtual int stopRequestLength() const = 0;
  virtual bool reorderSegments(float* values, int count, const uint8_t* order, int segments) const = 0;

  // Where decoded scan records are posted as on-screen log lines (may be null). Every line a
  // decoder posts belongs at DECODER_LOG_LEVEL of the on-screen log.
  static constexpr int DECODER_LOG_LEVEL = 8;
  void setScreenLog(ScreenLogSink* log) { screenLog_ = log; }
  ScreenLogSink* screenLog() const { return screenLog_; }

 protected:
  uint32_t baseField_ = 0;
  ScreenLogSink* screenLog_ = nullptr;
};

}  // namespace tarvo
