#include "acquisition/protocol/AccessoryProtocol.h"

#include <cstring>
#include <vector>

namespace tarvo {

AccessoryProtocol::~AccessoryProtocol() { baseField_ = 0; }

int AccessoryProtocol::isAck(const uint8_t* bytes, int length) const {
  if (!bytes) return PROTOCOL_NO_BUFFER;
  if (length < 2) return PROTOCOL_TOO_SHORT;
  if (bytes[0] != FRAME_SYNC) return PROTOCOL_INCOMPLETE;
  if (length < 3) return PROTOCOL_TOO_SHORT;
  if (frameTypeOf(bytes[1]) != FRAME_CONFIGURE_ACK) return PROTOCOL_WRONG_TYPE;
  return PROTOCOL_OK;
}

int AccessoryProtocol::buildSweepRequest(uint8_t* out, int capacity) const {
  return buildShortCommand(COMMAND_SWEEP, out, capacity);
}

int buildShortCommand(uint8_t code, uint8_t* out, int capacity) {
  if (!out || capacity < SHORT_COMMAND_LENGTH) return -1;
  out[0] = FRAME_SYNC;
  out[1] = SHORT_COMMAND_LENGTH;
  out[2] = code;
  return SHORT_COMMAND_LENGTH;
}

namespace {
int whole(int length, int available) { return available >= length ? length : PROTOCOL_INCOMPLETE; }
}  // namespace

int frameLengthFor(int generationCode, const uint8_t* bytes, int available) {
  if (!bytes || available < 2) return PROTOCOL_INCOMPLETE;
  if (bytes[0] != FRAME_SYNC) return PROTOCOL_NO_BUFFER;
  if (bytes[1] < 0x20) return PROTOCOL_TOO_SHORT;
  const int type = frameTypeOf(bytes[1]);

  const FrameLengths* lengths = nullptr;
  switch (generationCode) {
    case GENERATION_TARVO:
      lengths = &GEN1_FRAME_LENGTHS;
      break;
    case GENERATION_TARVO2:
      lengths = &GEN2_FRAME_LENGTHS;
      break;
    case GENERATION_TARVO25:
      lengths = &DUALBAND_FRAME_LENGTHS;
      break;
    default:
      return PROTOCOL_TOO_SHORT;
  }
  const bool gen1 = generationCode == GENERATION_TARVO;
  const bool dual = generationCode == GENERATION_TARVO25;

  switch (type) {
    case FRAME_POWER:
      if (lengths->power == 0) return PROTOCOL_TOO_SHORT;
      return whole(lengths->power, available);
    case FRAME_CONFIGURE_ACK:
      return whole(CONFIGURE_ACK_LENGTH, available);
    case FRAME_DISCOVER:
      if (available >= lengths->discover) return lengths->discover;
      // A discover frame not yet complete is measured as an acknowledgement.
      return whole(CONFIGURE_ACK_LENGTH, available);
    case FRAME_SPECTRUM:
      if (gen1) return available < lengths->spectrumBand1 ? PROTOCOL_INCOMPLETE : lengths->spectrumBand1;
      if (dual) {
        if ((bytes[1] & 7) != 0 && available == DUALBAND_EMPTY_SWEEP_LENGTH) return DUALBAND_EMPTY_SWEEP_LENGTH;
        if (available < 3) return PROTOCOL_INCOMPLETE;
        if (bytes[2] == 0) return whole(lengths->spectrumBand1, available);
        if (bytes[2] == 1) return whole(lengths->spectrumBand2, available);
        return PROTOCOL_UNSUPPORTED;
      }
      return whole(lengths->spectrumBand1, available);
    case FRAME_STOP_ACK:
      if (gen1) return PROTOCOL_TOO_SHORT;
      if (available < STOP_ACK_LENGTH) return PROTOCOL_TOO_SHORT;
      return STOP_ACK_LENGTH;
    case FRAME_SCAN: {
      if (gen1) return PROTOCOL_INCOMPLETE;  // never complete on the first generation
      if (available < 3) return PROTOCOL_INCOMPLETE;
      const int records = bytes[2];
      if (dual && records > DUALBAND_MAX_SCAN_RECORDS && available >= SCAN_HEADER_LENGTH) return PROTOCOL_UNSUPPORTED;
      return whole(SCAN_HEADER_LENGTH + SCAN_RECORD_LENGTH * records, available);
    }
    default:
      return PROTOCOL_TOO_SHORT;
  }
}

namespace {
bool validOrder(const uint8_t* order, int segments) {
  if (!order) return false;
  for (int j = 0; j < segments; ++j)
    if (order[j] >= segments) return false;
  return true;
}
}  // namespace

bool reorderInterleaved(float* values, int count, const uint8_t* order, int segments) {
  if (segments <= 0) return false;
  if (segments == 1) return true;
  if (!values || count < 0 || !validOrder(order, segments)) return false;
  const int m = count / segments;
  std::vector<float> scratch(values, values + count);
  for (int j = 0; j < segments; ++j)
    for (int k = 0; k < m; ++k) {
      const int to = order[j] + segments * k;
      if (to < count) scratch[to] = values[j * m + k];
    }
  std::memcpy(values, scratch.data(), sizeof(float) * count);
  return true;
}

bool reorderBlocks(float* values, int count, const uint8_t* order, int segments) {
  if (segments <= 0) return false;
  if (segments == 1) return true;
  if (!values || count < 0 || !validOrder(order, segments)) return false;
  bool inOrder = true;
  for (int j = 0; j < segments; ++j) inOrder = inOrder && order[j] == j;
  if (inOrder) return true;
  const int m = count / segments;
  std::vector<float> scratch(values, values + count);
  for (int j = 0; j < segments; ++j) std::memcpy(&scratch[order[j] * m], &values[j * m], sizeof(float) * m);
  std::memcpy(values, scratch.data(), sizeof(float) * count);
  return true;
}

}  // namespace tarvo
