#include "tools/sim/RecordingReader.h"

namespace tarvo::sim {

std::vector<std::vector<float>> readSweeps(const Bytes& file, const AccessoryProfile& p, int band) {
  std::vector<std::vector<float>> sweeps;
  const int length = p.spectrumFrameLength(band);
  const int bins = p.binsPerSweep(band);
  const int segments = p.packetsPerSweep();
  const int perFrame = bins / segments;
  const int first = p.generation == GENERATION_TARVO ? 2 : 4;
  if (length == 0) return sweeps;
  const SlopeOffset cal = p.hostSpectrum(band);
  const float floorDbm = p.hostFloorDbm(band);
  size_t at = 0;
  while (at + static_cast<size_t>(length) * segments <= file.size()) {
    std::vector<float> sweep(bins);
    for (int s = 0; s < segments; ++s) {
      const uint8_t* f = &file[at + static_cast<size_t>(length) * s];
      if (f[0] != 0xAA || (f[1] >> 5) != 5) return sweeps;
      const int segment = f[1] & 0x0F;
      for (int k = 0; k < perFrame; ++k) {
        const float v = cal.dbm(f[first + k]);
        sweep[segments == 1 ? k : segment + segments * k] = v < floorDbm ? floorDbm : v;
      }
    }
    sweeps.push_back(std::move(sweep));
    at += static_cast<size_t>(length) * segments;
  }
  return sweeps;
}

std::vector<ReadCapture> readCaptures(const Bytes& file, const AccessoryProfile& p) {
  std::vector<ReadCapture> captures;
  const int length = p.powerFrameLength();
  const int samples = p.samplesPerTrace();
  const int segments = p.packetsPerTrace();
  if (length == 0) return captures;
  const int perFrame = samples / segments;
  const int first = p.generation == GENERATION_TARVO ? 2 : 4;
  const SlopeOffset cal = p.hostPower();
  size_t at = 0;
  while (at + static_cast<size_t>(length) * segments <= file.size()) {
    ReadCapture c;
    c.dbm.resize(samples);
    for (int s = 0; s < segments; ++s) {
      const uint8_t* f = &file[at + static_cast<size_t>(length) * s];
      if (f[0] != 0xAA || (f[1] >> 5) != 1) return captures;
      const int segment = f[1] & 0x0F;
      c.triggered = (f[1] & 0x10) != 0;
      for (int k = 0; k < perFrame; ++k) c.dbm[segments == 1 ? k : segment + segments * k] = cal.dbm(f[first + k]);
    }
    captures.push_back(std::move(c));
    at += static_cast<size_t>(length) * segments;
  }
  return captures;
}

std::vector<ReadScanFrame> readScanFrames(const Bytes& file, std::string* error) {
  std::vector<ReadScanFrame> frames;
  size_t at = 0;
  while (at < file.size()) {
    if (file.size() - at < 4 || file[at] != 0xAA || (file[at + 1] >> 5) != 7) {
      if (error) *error = "no scan frame at offset " + std::to_string(at);
      return frames;
    }
    const size_t n = file[at + 2];
    if (file.size() - at < 4 + 64 * n) {
      if (error) *error = "truncated scan frame at offset " + std::to_string(at);
      return frames;
    }
    ReadScanFrame frame;
    for (size_t j = 0; j < n; ++j) {
      const uint8_t* r = &file[at + 4 + 64 * j];
      unsigned sum = 0;
      for (int i = 0; i < 64; ++i) sum += r[i];
      if ((sum & 0xFF) != 0) frame.checksumsOk = false;
      ScanRecord rec;
      rec.channel = r[1];
      rec.rssiDbm = static_cast<int16_t>((r[2] << 8) | r[3]);
      for (int i = 0; i < 6; ++i) rec.bssid[i] = r[4 + i];
      rec.widthWord = static_cast<uint16_t>((r[10] << 8) | r[11]);
      const int len = r[12] > 32 ? 32 : r[12];
      rec.ssid.assign(reinterpret_cast<const char*>(r + 13), static_cast<size_t>(len));
      rec.phyMode = r[45];
      rec.bandCode = r[46];
      rec.kindCode = r[47];
      rec.altA = r[50];
      rec.altB = r[51];
      rec.securityFlags = (uint32_t{r[52]} << 24) | (uint32_t{r[53]} << 16) | (uint32_t{r[54]} << 8) | r[55];
      frame.records.push_back(rec);
    }
    frames.push_back(std::move(frame));
    at += 4 + 64 * n;
  }
  return frames;
}

}  // namespace tarvo::sim
