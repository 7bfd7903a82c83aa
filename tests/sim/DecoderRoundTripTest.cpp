// Round trips between the simulator's encoders and the host's decoders. The two sides were
// written apart from the same byte layouts, so a disagreement here is a fault on one of them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "acquisition/protocol/AccessoryProtocolFactory.h"
#include "core/AnalyzerModel.h"
#include "tools/sim/FakeAccessory.h"
#include "tools/sim/Recordings.h"

namespace tarvo::sim {
namespace {

const std::string RES = std::string(TARVO_BINARY_DIR) + "/res/";

Bytes load(const std::string& path) {
  Bytes b;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return b;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
  std::fclose(f);
  return b;
}

// A decoder calibrated by the simulator's discover response, and what it reported.
struct Calibrated {
  std::unique_ptr<AccessoryProtocol> decoder;
  DeviceInfo info;
};
Calibrated calibrated(int gen, const AnalyzerModel* model = nullptr) {
  Calibrated c;
  c.decoder = createAccessoryProtocol(gen, model);
  const Bytes d = encodeDiscover(defaultProfile(gen));
  EXPECT_EQ(c.decoder->decodeDiscover(d.data(), static_cast<int>(d.size()), &c.info), 0);
  return c;
}

TEST(RoundTrip, DiscoverGivesTheProfilesCapabilitiesAndRanges) {
  struct Case {
    int gen;
    float powerMin, powerMax, band1Min, band1Max;
    uint32_t levels1, levels2;
  };
  // Worked out from the profiles: lo = offset, hi = 255 x slope + offset, spectrum min raised
  // to the floor (floor code x slope + offset).
  const Case cases[] = {
      {2, -78.0f, -1.5f, 8 * (45.0f / 124.0f) - 100.0f, 255 * (45.0f / 124.0f) - 100.0f, 248, 256},
      {6, -70.0f, -6.25f, -100.0f, 7.5f, 216, 256},
      {7, NAN, NAN, -100.0f, 7.5f, 216, 220},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gen);
    const AccessoryProfile p = defaultProfile(c.gen);
    const Calibrated k = calibrated(c.gen);
    const DeviceInfo& i = k.info;
    EXPECT_EQ(i.generationCode, c.gen);
    EXPECT_EQ(i.infoByte1, p.infoByte1);
    EXPECT_EQ(i.infoByte2, p.infoByte2);
    if (std::isnan(c.powerMin)) {
      EXPECT_TRUE(std::isnan(i.powerMinDbm));
    } else {
      EXPECT_FLOAT_EQ(i.powerMinDbm, c.powerMin);
      EXPECT_FLOAT_EQ(i.powerMaxDbm, c.powerMax);
    }
    EXPECT_NEAR(i.band1MinDbm, c.band1Min, 1e-4);
    EXPECT_NEAR(i.band1MaxDbm, c.band1Max, 1e-4);
    EXPECT_EQ(i.band1AmplitudeLevels, c.levels1);
    EXPECT_EQ(i.band2AmplitudeLevels, c.levels2);
    EXPECT_EQ(i.deviceIdText, c.gen == 2 ? std::string("0") : hexText(p.identity.data(), p.identity.size()));
    EXPECT_EQ(i.band1SpectrumCapable, true);
    EXPECT_EQ(i.band2SpectrumCapable, c.gen == 7);
    EXPECT_EQ(i.powerCapable, c.gen != 7);
    EXPECT_EQ(i.band1ScanCapable, c.gen != 2);
    if (c.gen == 2) {
      EXPECT_EQ(i.internalAttenuations, p.internalAttenuations);
      EXPECT_EQ(i.gen1ExtraWord, p.gen1ExtraWord);
    }
  }
}

TEST(RoundTrip, SweepsDecodeToTheScenesLevels) {
  for (int gen : {2, 6, 7})
    for (int band : {0, 1}) {
      const AccessoryProfile p = defaultProfile(gen);
      if (p.binsPerSweep(band) == 0) continue;
      SCOPED_TRACE(testing::Message() << gen << " band " << band);
      Calibrated k = calibrated(gen);
      const SpectrumScene scene(SceneKind::Wifi, band, 3, p.hostFloorDbm(band) + 3.0f, 20);
      const SlopeOffset cal = p.hostSpectrum(band);
      for (int s = 0; s < 5; ++s) {
        const std::vector<float> want = scene.sweep(s, binPlanFor(gen, band));
        std::vector<float> got;
        std::vector<uint8_t> order;
        for (const Bytes& f : encodeSweep(p, band, want)) {
          float values[512];
          int count = -1, bandNumber = -1, segment = -1;
          ASSERT_EQ(k.decoder->decodeSpectrum(f.data(), static_cast<int>(f.size()), values, 512, &count, &bandNumber,
                                              &segment),
                    0);
          EXPECT_EQ(bandNumber, band + 1);
          got.insert(got.end(), values, values + count);
          order.push_back(static_cast<uint8_t>(segment));
        }
        ASSERT_EQ(got.size(), want.size());
        ASSERT_TRUE(k.decoder->reorderSegments(got.data(), static_cast<int>(got.size()), order.data(),
                                               static_cast<int>(order.size())));
        const float floorDbm = p.hostFloorDbm(band);
        const float top = cal.dbm(255);
        for (size_t i = 0; i < want.size(); ++i) {
          const float expected = std::clamp(want[i], floorDbm, top);
          ASSERT_NEAR(got[i], expected, cal.slope * 0.5f + 1e-3f) << "bin " << i;
        }
      }
    }
}

TEST(RoundTrip, CapturesDecodeToTheScenesLevelsWithTheFlag) {
  for (int gen : {2, 6}) {
    SCOPED_TRACE(gen);
    const AccessoryProfile p = defaultProfile(gen);
    Calibrated k = calibrated(gen);
    const CaptureGeometry g = captureGeometryFor(p, demoTriggerFor(gen), nullptr);
    const PowerScene scene(SceneKind::Dect, 3, p.hostPower().offset + 12.0f);
    for (bool flag : {true, false}) {
      const Capture c = scene.capture(1, g);
      std::vector<float> got;
      std::vector<uint8_t> order;
      for (const Bytes& f : encodeCapture(p, c.dbm, flag)) {
        float values[1000];
        int count = -1, segment = -1;
        bool triggered = !flag;
        ASSERT_EQ(k.decoder->decodePower(f.data(), static_cast<int>(f.size()), values, 1000, &count, &segment, &triggered), 0);
        EXPECT_EQ(triggered, flag);
        got.insert(got.end(), values, values + count);
        order.push_back(static_cast<uint8_t>(segment));
      }
      ASSERT_EQ(got.size(), c.dbm.size());
      ASSERT_TRUE(k.decoder->reorderSegments(got.data(), static_cast<int>(got.size()), order.data(),
                                             static_cast<int>(order.size())));
      const SlopeOffset cal = p.hostPower();
      for (size_t i = 0; i < got.size(); ++i)
        ASSERT_NEAR(got[i], std::clamp(c.dbm[i], cal.dbm(0), cal.dbm(255)), cal.slope * 0.5f + 1e-3f) << i;
    }
  }
}

TEST(RoundTrip, ScanRecordsDecodeToThePopulation) {
  for (bool connected : {false, true}) {
    AnalyzerModel model;
    model.setConnected(connected);
    for (int gen : {6, 7}) {
      SCOPED_TRACE(testing::Message() << gen << (connected ? " connected" : " demo"));
      Calibrated k = calibrated(gen, &model);
      const AccessPointPopulation population(1);
      const std::vector<ScanRecord> sent = population.scan(gen, 0, 10);
      std::vector<std::unique_ptr<AccessPoint>> got;
      for (const Bytes& f : encodeScanCycle(sent)) {
        std::unique_ptr<AccessPointBatch> batch;
        ASSERT_EQ(k.decoder->decodeScan(f.data(), static_cast<int>(f.size()), &batch), 0);
        if (batch)
          for (auto& ap : *batch) got.push_back(std::move(ap));
      }
      ASSERT_EQ(got.size(), sent.size());
      for (size_t i = 0; i < sent.size(); ++i) {
        const ScanRecord& r = sent[i];
        const AccessPoint& a = *got[i];
        const SimAccessPoint* src = nullptr;
        for (const auto& ap : population.accessPoints())
          if (ap.bssid == r.bssid) src = &ap;
        ASSERT_NE(src, nullptr);
        SCOPED_TRACE(src->ssid);
        EXPECT_EQ(a.bssid, r.bssid);
        EXPECT_EQ(a.channel, src->channel);
        EXPECT_FLOAT_EQ(a.rssi, r.rssiDbm);
        EXPECT_EQ(a.band, src->band);
        EXPECT_EQ(a.bandwidthMHz, src->bandwidthMHz == 80 ? 40 : src->bandwidthMHz);
        EXPECT_EQ(a.secondaryChannel, src->secondaryChannel);
        EXPECT_EQ(a.security, src->security);
        EXPECT_EQ(a.cipher, src->cipher);
        EXPECT_EQ(a.recordKind, src->kindCode == 0 ? 1 : src->kindCode == 1 ? 0 : 2);
        if (gen == 7) {
          EXPECT_EQ(a.phyModes, src->phyBits);
          EXPECT_EQ(a.altA, src->bandwidthMHz == 80 ? src->centerChannel : 0);
        }
        const bool renamed = !connected && gen == 7 && r.bssid[0] == 0xE0 && r.bssid[1] == 0x91 && r.bssid[2] == 0xF5 &&
                             r.bssid[3] == 0x76 && r.bssid[4] == 0x83 && (r.bssid[5] == 0x22 || r.bssid[5] == 0x23);
        EXPECT_EQ(a.ssidText(), renamed ? std::string("Free WiFi") : src->ssid);
      }
    }
  }
}

TEST(RoundTrip, AcknowledgementsAndTheEmptySweep) {
  for (int gen : {2, 6, 7}) {
    SCOPED_TRACE(gen);
    Calibrated k = calibrated(gen);
    const Bytes ack = encodeConfigureAck(5);
    EXPECT_EQ(k.decoder->isAck(ack.data(), 3), 0);
    EXPECT_EQ(k.decoder->frameLength(ack.data(), 3), 3);
    const Bytes stop = encodeStopAck();
    EXPECT_EQ(k.decoder->isStopAck(stop.data(), 4), gen == 2 ? -99 : 0);
  }
  Calibrated dual = calibrated(7);
  const Bytes empty = encodeEmptySweep();
  float values[16];
  int count = -1, band = -1, segment = -1;
  EXPECT_EQ(dual.decoder->frameLength(empty.data(), 4), 4);
  EXPECT_EQ(dual.decoder->decodeSpectrum(empty.data(), 4, values, 16, &count, &band, &segment), 0);
  EXPECT_EQ(count, 0);
}

// Every frame of every recording decodes with the decoder its own discover file calibrates.
TEST(RoundTrip, EveryRecordingDecodes) {
  AnalyzerModel model;
  for (const RecordingFile& file : recordingLayout()) {
    if (file.kind == RecordingKind::Discover || file.kind == RecordingKind::Settings) continue;
    SCOPED_TRACE(file.path);
    const std::string prefix = generationRow(generationRowOf(file.generation)).demoPacketPrefix;
    const Bytes discover = load(RES + prefix + "discover.bin");
    auto decoder = createAccessoryProtocol(discover.size() > 2 ? discover[2] : 0, &model);
    ASSERT_NE(decoder, nullptr);
    ASSERT_EQ(decoder->decodeDiscover(discover.data(), static_cast<int>(discover.size()), nullptr), 0);
    const Bytes b = load(RES + file.path);
    size_t at = 0;
    int frames = 0;
    while (at < b.size()) {
      const int n = decoder->frameLength(b.data() + at, static_cast<int>(b.size() - at));
      ASSERT_GT(n, 0) << at;
      const uint8_t* f = b.data() + at;
      float values[1000];
      int count = 0, band = 0, segment = 0;
      bool triggered = false;
      switch (f[1] >> 5) {
        case 5:
          ASSERT_EQ(decoder->decodeSpectrum(f, n, values, 1000, &count, &band, &segment), 0);
          EXPECT_EQ(count, decoder->packetsPerSweep(band) == 2 ? 50 : band == 2 ? 512 : 256);
          EXPECT_EQ(band, file.kind == RecordingKind::Spectrum5GHz ? 2 : 1);
          break;
        case 1:
          ASSERT_EQ(decoder->decodePower(f, n, values, 1000, &count, &segment, &triggered), 0);
          break;
        case 7: {
          std::unique_ptr<AccessPointBatch> batch;
          ASSERT_EQ(decoder->decodeScan(f, n, &batch), 0);
          const int sent = f[2];
          EXPECT_EQ(batch ? static_cast<int>(batch->size()) : 0, sent);  // no checksum failure
          break;
        }
        default:
          ADD_FAILURE() << "unexpected frame type " << (f[1] >> 5);
      }
      at += n;
      ++frames;
    }
    EXPECT_GT(frames, 0);
  }
}

// From the model's trigger settings through the decoder's configure command and the fake
// accessory's capture back through the decoder: the edge lands where the settings put it.
TEST(RoundTrip, DemoTriggerSettingsPutTheEdgeWhereTheHostExpectsIt) {
  for (int gen : {2, 6}) {
    SCOPED_TRACE(gen);
    AnalyzerModel model;
    Calibrated k = calibrated(gen, &model);
    model.setDeviceInfo(k.info);
    model.common.spectrumMode = 0;
    const DemoTrigger t = demoTriggerFor(gen);
    model.power.timebaseIndex = t.timebaseIndex;
    model.power.triggerLevelDbm = t.levelDbm;
    model.power.triggerDelay = t.delaySeconds;
    model.power.triggerHoldoff = t.holdoffSeconds;
    model.power.triggerOnPower = 1;
    std::vector<uint8_t> configure(k.decoder->configureLength());
    ASSERT_EQ(k.decoder->buildConfigure(configure.data(), static_cast<int>(configure.size()), &model),
              static_cast<int>(configure.size()));

    FakeAccessoryOptions o;
    o.generation = static_cast<GenerationCode>(gen);
    o.scene = SceneKind::Dect;
    FakeAccessory fake(o);
    const Bytes ack = fake.handleCommand(configure.data(), configure.size(), 0);
    ASSERT_EQ(ack.size(), 3u);
    EXPECT_EQ(k.decoder->isAck(ack.data(), 3), 0);
    int levelCode = 0;
    captureGeometryFor(fake.profile(), t, &levelCode);
    EXPECT_EQ(fake.configuration().levelCode, levelCode);
    // The sample the host's pre-trigger count names (single precision may make it one later
    // than exact arithmetic).
    const int edge = triggerIndexFromPreCount(fake.profile().samplesPerTrace(), fake.configuration().preTriggerCount);

    uint8_t power[3];
    ASSERT_EQ(k.decoder->buildPowerRequest(power, 3), 3);
    for (int ms = 0; ms < 1000; ms += 100) fake.handleCommand(power, 3, ms);
    const Bytes stream = fake.pendingFrames(2000);
    // Decode the captures and find the edge in the first triggered one.
    size_t at = 0;
    std::vector<float> trace;
    std::vector<uint8_t> order;
    bool flag = false, checked = false;
    while (at < stream.size() && !checked) {
      const int n = k.decoder->frameLength(stream.data() + at, static_cast<int>(stream.size() - at));
      ASSERT_GT(n, 0);
      float values[1000];
      int count = 0, segment = 0;
      ASSERT_EQ(k.decoder->decodePower(stream.data() + at, n, values, 1000, &count, &segment, &flag), 0);
      at += n;
      trace.insert(trace.end(), values, values + count);
      order.push_back(static_cast<uint8_t>(segment));
      if (static_cast<int>(order.size()) < k.decoder->packetsPerTrace()) continue;
      ASSERT_TRUE(k.decoder->reorderSegments(trace.data(), static_cast<int>(trace.size()), order.data(),
                                             static_cast<int>(order.size())));
      if (flag) {
        // The display puts time zero at W/2 - W/T x delay: sample N x (1/2 - delay / T).
        const double span = TIMEBASE_TABLE[t.timebaseIndex] * 10.0;
        const int zero = static_cast<int>(std::lround(trace.size() * (0.5 - t.delaySeconds / span)));
        EXPECT_NEAR(edge, zero, 1);
        const float level = fake.profile().hostPower().dbm(levelCode);
        EXPECT_LT(trace[edge - 1], level);
        EXPECT_GE(trace[edge], level);
        checked = true;
      }
      trace.clear();
      order.clear();
    }
    EXPECT_TRUE(checked) << "no triggered capture";
  }
}

}  // namespace
}  // namespace tarvo::sim
