// Byte-level helpers the three decoders share: big-endian fields of frames and commands, and the
// checks every decode operation makes on a frame's head before it looks at the payload.
//
// Internal to tarvo_protocol; nothing outside acquisition/protocol includes this.
#pragma once

#include <bit>
#include <cstdint>

#include "acquisition/protocol/AccessoryProtocol.h"

namespace tarvo::wire {

inline uint16_t readU16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline int16_t readS16(const uint8_t* p) { return static_cast<int16_t>(readU16(p)); }
inline uint32_t readU32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
// Floats travel as big-endian 32-bit words holding the IEEE single-precision pattern.
inline float readFloat(const uint8_t* p) { return std::bit_cast<float>(readU32(p)); }

inline void writeU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void writeU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// The checks of every decode operation, in this order: buffer present (-3), two bytes (-2),
// sync byte (-1), three bytes (-2), frame type (-4). 0 when the head is good.
inline int checkFrameHead(const uint8_t* bytes, int length, int type) {
  if (!bytes) return PROTOCOL_NO_BUFFER;
  if (length < 2) return PROTOCOL_TOO_SHORT;
  if (bytes[0] != FRAME_SYNC) return PROTOCOL_INCOMPLETE;
  if (length < 3) return PROTOCOL_TOO_SHORT;
  if (frameTypeOf(bytes[1]) != type) return PROTOCOL_WRONG_TYPE;
  return PROTOCOL_OK;
}

// The stop acknowledgement of the later generations: 0 for a type-6 frame of at least 4 bytes.
inline int checkStopAck(const uint8_t* bytes, int length) {
  if (const int head = checkFrameHead(bytes, length, FRAME_STOP_ACK); head != PROTOCOL_OK) return head;
  return length < STOP_ACK_LENGTH ? PROTOCOL_TOO_SHORT : PROTOCOL_OK;
}

// Start of every configure command: AA <length> 02 53.
inline void writeConfigureHeader(uint8_t* out, uint8_t length) {
  out[0] = FRAME_SYNC;
  out[1] = length;
  out[2] = COMMAND_CONFIGURE;
  out[3] = CONFIGURE_MARKER;
}

// Amplitude codes to dBm: code * slope + offset, raised to the floor when one is given.
inline void decodeAmplitudes(const uint8_t* codes, int count, float slope, float offset, float* out) {
  for (int i = 0; i < count; ++i) out[i] = static_cast<float>(codes[i]) * slope + offset;
}
inline void decodeAmplitudes(const uint8_t* codes, int count, float slope, float offset, float floorDbm,
                             float* out) {
  for (int i = 0; i < count; ++i) {
    const float v = static_cast<float>(codes[i]) * slope + offset;
    out[i] = v < floorDbm ? floorDbm : v;
  }
}

}  // namespace tarvo::wire
