#include "tools/sim/Scenes.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/sim/Random.h"

namespace tarvo::sim {

namespace {

constexpr double TWO_PI = 6.283185307179586;

// Random streams (one per use, so adding a draw in one place never shifts another).
enum : uint64_t {
  STREAM_NOISE = 201,
  STREAM_RIPPLE = 202,
  STREAM_SPELL = 203,
  STREAM_RUNS = 204,
  STREAM_HOPS = 205,
  STREAM_EMITTER = 206,
  STREAM_CAPTURE = 207,
  STREAM_ROLL = 208,
};

double toMw(double dbm) { return std::pow(10.0, dbm / 10.0); }
double toDbm(double mw) { return 10.0 * std::log10(std::max(mw, 1e-30)); }

// Piecewise-linear interpolation in a (x, dB) table, x ascending; beyond the end: last - 15 dB.
double interpolate(const double (*table)[2], int n, double x) {
  if (x <= table[0][0]) return table[0][1];
  for (int i = 1; i < n; ++i)
    if (x <= table[i][0]) {
      const double f = (x - table[i - 1][0]) / (table[i][0] - table[i - 1][0]);
      return table[i - 1][1] + f * (table[i][1] - table[i - 1][1]);
    }
  return table[n - 1][1] - 15.0;
}

// OFDM channel of `width` MHz: relative level at `delta` MHz from its centre. The table is the
// 20 MHz shape (flat top to 8.3 MHz, a steep edge, then the mask's shoulders); wider and
// narrower channels scale it.
double ofdmShapeDb(double delta, double width) {
  static const double SHAPE[][2] = {{0, 0},     {8.3, 0},    {9.6, -20},  {11, -26},
                                    {15, -31},  {20, -36},   {30, -45},   {40, -55}};
  const double s = width / 20.0;
  const double d = std::abs(delta) / s;
  double db = interpolate(SHAPE, 8, d);
  if (d < 8.3) db += 0.35 * std::sin(delta * 1.9);   // subcarrier-group ripple
  if (std::abs(delta) < 0.35) db -= 4.0;              // the unused DC subcarrier
  return db;
}

// Direct-sequence hump: sinc-squared main lobe 22 MHz wide, side lobes held at -30 dB by the
// transmit filter, then falling off.
double dsssShapeDb(double delta) {
  const double a = std::abs(delta);
  if (a < 11.0) {
    const double x = 3.141592653589793 * a / 11.0;
    const double sinc = a < 1e-9 ? 1.0 : std::sin(x) / x;
    return std::max(20.0 * std::log10(std::max(sinc, 1e-6)), -30.0);
  }
  return std::max(-30.0 - 1.2 * (a - 11.0), -70.0);
}

double narrowShapeDb(double delta, double sigma) { return -4.343 * (delta * delta) / (2.0 * sigma * sigma); }

}  // namespace

const char* sceneName(SceneKind kind) {
  switch (kind) {
    case SceneKind::None: return "NONE";
    case SceneKind::Wifi: return "WIFI";
    case SceneKind::Dect: return "DECT";
    case SceneKind::Dss: return "DSS";
  }
  return "UNKNOWN";
}

BinPlan binPlanFor(int generationCode, int band) {
  const FrequencyPlan* plan = frequencyPlanFor(generationCode, band);
  if (!plan) return {0.0, 0.0, 0};
  return {plan->startMHz, plan->stepMHz, plan->binsPerSweep};
}

// ---------------------------------------------------------------------------------------------
// SpectrumScene

SpectrumScene::SpectrumScene(SceneKind kind, int band, uint32_t seed, float noiseFloorDbm, int loopSweeps)
    : kind_(kind), band_(band == BAND_5G ? BAND_5G : BAND_2G4), seed_(seed), noise_(noiseFloorDbm),
      loop_(std::max(loopSweeps, 1)) {
  Rng rng(seed, STREAM_EMITTER, static_cast<uint64_t>(kind), static_cast<uint64_t>(band_));
  switch (kind_) {
    case SceneKind::Wifi: {
      const AccessPointPopulation population(seed);
      for (const SimAccessPoint& ap : population.accessPoints()) {
        if (ap.band != band_) continue;
        Emitter e;
        // 802.11b-only access points transmit direct-sequence, everything else OFDM.
        e.shape = ap.phyBits == PHY_B ? Shape::Dsss : Shape::Ofdm;
        e.centerMHz = ap.occupiedCenterMHz();
        e.widthMHz = e.shape == Shape::Dsss ? 22.0 : ap.occupiedWidthMHz();
        // Per-bin level: the received power spread over the occupied width.
        e.peakDbm = ap.rssiDbm - 8.0f - 10.0f * std::log10(static_cast<float>(std::max(e.widthMHz, 10.0)) / 20.0f);
        e.airtime = ap.airtime;
        e.busyShare = ap.busyShare;
        e.spellSweeps = 4 + rng.below(20);
        e.spellOffset = rng.below(loop_);
        emitters_.push_back(e);
      }
      break;
    }
    case SceneKind::Dect: {
      // A hop set of narrow channels across the band the phone uses.
      const double first = band_ == BAND_5G ? 5726.0 : 2401.5;
      const double step = band_ == BAND_5G ? 1.2 : 0.864;
      const int count = band_ == BAND_5G ? 100 : 95;
      for (int i = 0; i < count; ++i) hopChannelsMHz_.push_back(first + step * i);
      break;
    }
    case SceneKind::Dss: {
      // Base/handset channel pairs the phone moves between over the loop.
      if (band_ == BAND_5G)
        dssCentersMHz_ = {5745.0, 5790.0, 5760.0, 5805.0, 5735.0, 5822.0};
      else
        dssCentersMHz_ = {2414.0, 2440.0, 2446.0, 2472.0, 2424.0, 2458.0};
      break;
    }
    case SceneKind::None:
      break;
  }
}

double SpectrumScene::phaseOf(int index) const {
  const int k = ((index % loop_) + loop_) % loop_;
  return static_cast<double>(k) / loop_;
}

// Calls come and go three times per loop; a little more than half of the time a call is up.
bool SpectrumScene::callActive(double phase) const {
  const double offset = static_cast<double>(seed_ % 97) / 97.0;
  return std::sin(TWO_PI * (3.0 * phase + offset)) > -0.2;
}

std::vector<float> SpectrumScene::sweep(int index, const BinPlan& plan) const {
  const int bins = std::max(plan.bins, 0);
  std::vector<float> out(bins);
  if (bins == 0) return out;
  const int k = ((index % loop_) + loop_) % loop_;
  const double phase = phaseOf(index);
  std::vector<double> mw(bins, 0.0);

  auto addEmitterRuns = [&](const Emitter& e, int emitterIndex, float peakDbm, double airtime) {
    // The sweep passes the channel in ascending frequency, i.e. in time: on-air and off-air runs
    // alternate along the bins with mean lengths that give the wanted airtime.
    const double reach = e.shape == Shape::Ofdm ? e.widthMHz * 1.6 : 35.0;
    const double lo = e.centerMHz - reach, hi = e.centerMHz + reach;
    Rng rng(seed_, STREAM_RUNS, static_cast<uint64_t>(k) * 64 + emitterIndex, static_cast<uint64_t>(band_));
    const double a = std::clamp(airtime, 0.001, 0.98);
    const double onRunMHz = rng.uniform(0.6, 4.0);
    const double offRunMHz = onRunMHz * (1.0 - a) / a;
    bool on = rng.chance(a);
    double gain = rng.gaussian(0.0, 2.0);
    double left = (on ? onRunMHz : offRunMHz) * rng.uniform(0.0, 2.0);
    for (int i = 0; i < bins; ++i) {
      const double f = plan.frequencyMHz(i);
      if (f < lo || f > hi) continue;
      left -= plan.stepMHz;
      if (left <= 0.0) {
        on = !on;
        left = (on ? onRunMHz : offRunMHz) * rng.uniform(0.3, 1.7);
        if (on) gain = rng.gaussian(0.0, 2.0);
      }
      if (!on) continue;
      const double delta = f - e.centerMHz;
      const double shape = e.shape == Shape::Ofdm ? ofdmShapeDb(delta, e.widthMHz) : dsssShapeDb(delta);
      mw[i] += toMw(peakDbm + shape + gain + rng.gaussian(0.0, 0.8));
    }
  };

  switch (kind_) {
    case SceneKind::Wifi: {
      const AccessPointPopulation population(seed_);
      size_t apIndex = 0;
      int emitterIndex = 0;
      for (size_t i = 0; i < population.accessPoints().size(); ++i) {
        if (population.accessPoints()[i].band != band_) continue;
        const Emitter& e = emitters_[apIndex++];
        const float drift = population.rssiAt(i, phase) - population.accessPoints()[i].rssiDbm;
        // Busy spells: a whole number of them per loop, each emitter's starting at its own
        // offset (so they never all change at once, not even where the loop wraps), and more
        // likely in some stretches of the loop than in others.
        const int spells = std::max(1, loop_ / e.spellSweeps);
        const int shifted = (k + e.spellOffset) % loop_;
        const int spell = static_cast<int>(static_cast<int64_t>(shifted) * spells / loop_);
        Rng spellRng(seed_, STREAM_SPELL, static_cast<uint64_t>(spell), static_cast<uint64_t>(emitterIndex + 100 * band_));
        const double likelihood = e.busyShare * (1.0 + 0.6 * std::sin(TWO_PI * (phase + 0.37 * emitterIndex)));
        const bool busy = spellRng.uniform() < likelihood;
        const double airtime = busy ? e.airtime : 0.012;  // idle: beacons only
        addEmitterRuns(e, emitterIndex, e.peakDbm + drift, airtime);
        ++emitterIndex;
      }
      break;
    }
    case SceneKind::Dect: {
      Rng rng(seed_, STREAM_HOPS, static_cast<uint64_t>(k), static_cast<uint64_t>(band_));
      const bool call = callActive(phase);
      const int bursts = rng.poisson(call ? 7.0 : 1.2);
      const double sigma = band_ == BAND_5G ? 0.5 : 0.35;
      for (int b = 0; b < bursts; ++b) {
        const double f0 = hopChannelsMHz_[rng.below(static_cast<int>(hopChannelsMHz_.size()))];
        // Base station near, handset further away; beacons come from the base only.
        const bool handset = call && rng.chance(0.5);
        const double level = (handset ? -58.0 : -47.0) + rng.gaussian(0.0, 2.0);
        for (int i = 0; i < bins; ++i) {
          const double delta = plan.frequencyMHz(i) - f0;
          if (std::abs(delta) > 3.0) continue;
          mw[i] += toMw(level + narrowShapeDb(delta, sigma));
        }
      }
      break;
    }
    case SceneKind::Dss: {
      const bool call = callActive(phase);
      // The phone changes channel pair in the middle of each idle spell, where nothing shows.
      const double offset = static_cast<double>(seed_ % 97) / 97.0;
      const int pair = static_cast<int>(std::floor(3.0 * phase + offset + 0.25)) % 3;
      const Emitter base{Shape::Dsss, dssCentersMHz_[2 * pair], 22.0, -50.0f, 0.0f, 0.0f, 1, 0};
      const Emitter handset{Shape::Dsss, dssCentersMHz_[2 * pair + 1], 22.0, -61.0f, 0.0f, 0.0f, 1, 0};
      addEmitterRuns(base, 0, base.peakDbm, call ? 0.92 : 0.04);
      if (call) addEmitterRuns(handset, 1, handset.peakDbm, 0.88);
      break;
    }
    case SceneKind::None:
      break;
  }

  // The receiver's own floor: a fixed ripple, a slight tilt across 5 GHz, a per-sweep wander,
  // per-bin jitter and a rare spike.
  Rng ripple(seed_, STREAM_RIPPLE, static_cast<uint64_t>(band_));
  const double a1 = ripple.uniform(0.0, TWO_PI), a2 = ripple.uniform(0.0, TWO_PI);
  Rng noise(seed_, STREAM_NOISE, static_cast<uint64_t>(k) * 8 + static_cast<uint64_t>(kind_), static_cast<uint64_t>(band_));
  const double wander = noise.gaussian(0.0, 0.25) + 0.3 * std::sin(TWO_PI * 2.0 * phase);
  const double span = plan.stepMHz * std::max(bins - 1, 1);
  for (int i = 0; i < bins; ++i) {
    const double f = plan.frequencyMHz(i);
    const double x = (f - plan.startMHz) / span;
    double floorDb = noise_ + wander + 0.6 * std::sin(TWO_PI * x * 2.7 + a1) + 0.35 * std::sin(TWO_PI * x * 8.9 + a2);
    if (band_ == BAND_5G) floorDb += 1.5 * x;
    floorDb += noise.gaussian(0.0, 1.0);
    if (noise.chance(0.002)) floorDb += noise.uniform(3.0, 8.0);
    out[i] = static_cast<float>(toDbm(toMw(floorDb) + mw[i]));
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// PowerScene

namespace {

struct PulseShape {
  double peakDbm;
  double riseSeconds;
  double widthSeconds;   // flat top of one burst
  double periodSeconds;  // 0: a single burst (plus the acknowledgement for Wi-Fi)
};

PulseShape pulseShapeOf(SceneKind kind) {
  switch (kind) {
    case SceneKind::Wifi: return {-24.0, 0.4e-6, 40e-6, 0.0};
    case SceneKind::Dect: return {-20.0, 0.8e-6, 12e-6, 30e-6};
    case SceneKind::Dss: return {-26.0, 1.2e-6, 25e-6, 60e-6};
    case SceneKind::None: break;
  }
  return {std::numeric_limits<double>::quiet_NaN(), 0.0, 0.0, 0.0};
}

}  // namespace

PowerScene::PowerScene(SceneKind kind, uint32_t seed, float noiseDbm) : kind_(kind), seed_(seed), noise_(noiseDbm) {}

float PowerScene::eventPeakDbm() const { return static_cast<float>(pulseShapeOf(kind_).peakDbm); }

Capture PowerScene::capture(int index, const CaptureGeometry& g) const {
  Capture c;
  const int n = std::max(g.samples, 0);
  c.dbm.resize(n);
  Rng rng(seed_, STREAM_CAPTURE, static_cast<uint64_t>(index), static_cast<uint64_t>(kind_));
  const PulseShape shape = pulseShapeOf(kind_);
  const bool quiet = kind_ == SceneKind::None || rng.chance(1.0 / 12.0);
  const double gain = rng.gaussian(0.0, 1.0);
  const double peak = shape.peakDbm + gain;
  const double noise = noise_;
  // Wi-Fi: a data frame of varying length, SIFS, then a weaker acknowledgement.
  const double dataSeconds = rng.uniform(22e-6, 70e-6);
  const double ackLevel = peak - rng.uniform(4.0, 9.0);
  const double width = kind_ == SceneKind::Wifi ? dataSeconds : shape.widthSeconds;

  // Event time tau: the burst's rise runs from the noise level at tau = 0 to the peak at
  // tau = rise. NO_SIGNAL marks silence (the detector noise is added afterwards).
  constexpr double NO_SIGNAL = -300.0;
  constexpr double ACK_SECONDS = 28e-6;
  constexpr double SIFS_SECONDS = 16e-6;
  const double rise = shape.riseSeconds;
  auto envelope = [&](double tau, Rng& r) -> double {
    if (tau < 0.0) return NO_SIGNAL;
    double inBurst = tau;
    double top = peak;
    double burstWidth = width;
    if (kind_ == SceneKind::Wifi) {
      const double ackStart = width + 2 * rise + SIFS_SECONDS;
      if (tau >= ackStart) {
        inBurst = tau - ackStart;
        top = ackLevel;
        burstWidth = ACK_SECONDS;
      }
    } else if (shape.periodSeconds > 0.0) {
      inBurst = std::fmod(tau, shape.periodSeconds);
    }
    double env;
    if (inBurst < rise) return noise + (top - noise) * inBurst / rise;
    if (inBurst < rise + burstWidth) env = top;
    else if (inBurst < 2 * rise + burstWidth) return top - (top - noise) * (inBurst - rise - burstWidth) / rise;
    else return NO_SIGNAL;
    // Body texture: OFDM fluctuates, the others are nearly constant-envelope.
    const double intoBody = inBurst - rise;
    if (kind_ == SceneKind::Wifi) env += intoBody < 8e-6 ? r.gaussian(-1.0, 0.5) : r.gaussian(0.0, 1.6);
    else if (kind_ == SceneKind::Dss) env += 0.8 * std::sin(TWO_PI * intoBody / 7e-6) + r.gaussian(0.0, 0.4);
    else env += r.gaussian(0.0, 0.25);
    return env;
  };

  // Shift tau so the triggering edge crosses the level exactly at the trigger sample.
  const float level = g.triggerLevelDbm;
  const double fraction = (peak > noise) ? std::clamp((level - noise) / (peak - noise), 0.0, 1.0) : 0.0;
  double crossingTau = fraction * rise;
  if (!g.rising) crossingTau = rise + width + (1.0 - fraction) * rise;

  Rng body(seed_, STREAM_CAPTURE + 1000, static_cast<uint64_t>(index), static_cast<uint64_t>(kind_));
  for (int i = 0; i < n; ++i) {
    const double t = (i - g.triggerIndex) * g.sampleSeconds;
    const double signal = quiet ? NO_SIGNAL : envelope(t + crossingTau, body);
    // Detector noise on top (a power sum, so it only shows where the signal is low).
    const double floorDb = noise + body.gaussian(0.0, 0.8);
    c.dbm[i] = static_cast<float>(toDbm(toMw(signal) + toMw(floorDb)));
  }
  if (!quiet && n >= 2 && g.triggerIndex >= 1 && g.triggerIndex < n && level > noise + 1.0 && level < peak - 1.0) {
    // A sample that falls right on the edge could land on either side of the level once
    // quantised; keep the two samples around the edge clearly apart.
    const int t = g.triggerIndex;
    const float m = g.levelMarginDb;
    if (g.rising) {
      c.dbm[t - 1] = std::min(c.dbm[t - 1], level - m);
      c.dbm[t] = std::max(c.dbm[t], level + m);
    } else {
      c.dbm[t - 1] = std::max(c.dbm[t - 1], level + m);
      c.dbm[t] = std::min(c.dbm[t], level - m);
    }
  }
  c.hasEvent = !quiet;
  return c;
}

std::vector<float> PowerScene::roll(int64_t first, double dt, int count) const {
  std::vector<float> out(std::max(count, 0));
  if (dt <= 0.0) dt = 1e-3;
  const double callPeriod = 9.0;  // seconds: about 6 s of call, 3 s idle
  for (int j = 0; j < count; ++j) {
    const int64_t s = first + j;
    const double t0 = static_cast<double>(s) * dt;
    const double t1 = t0 + dt;
    Rng rng(seed_, STREAM_ROLL, static_cast<uint64_t>(s), static_cast<uint64_t>(kind_));
    double level = noise_ + rng.gaussian(0.0, 0.8);
    auto overlaps = [&](double period, double offset, double length) {
      // Does [t0, t1) meet a burst [offset + m * period, offset + m * period + length)?
      const double m = std::floor((t0 - offset) / period);
      for (double q = m; q <= m + 1 + (t1 - t0) / period; q += 1.0) {
        const double b0 = offset + q * period;
        if (b0 < t1 && b0 + length > t0) return true;
      }
      return false;
    };
    const bool call = std::fmod(t0, callPeriod) < 6.0;
    switch (kind_) {
      case SceneKind::Wifi: {
        // Beacons of three access points, and 20 ms blocks of traffic whose likelihood swells
        // and fades over seven seconds.
        if (overlaps(0.1024, 0.013, 0.0004)) level = std::max(level, -31.0 + rng.gaussian(0.0, 1.0));
        if (overlaps(0.1024, 0.047, 0.0004)) level = std::max(level, -37.0 + rng.gaussian(0.0, 1.0));
        if (overlaps(0.1024, 0.081, 0.0004)) level = std::max(level, -34.0 + rng.gaussian(0.0, 1.0));
        const int64_t block = static_cast<int64_t>(std::floor(t0 / 0.02));
        Rng blockRng(seed_, STREAM_ROLL + 1, static_cast<uint64_t>(block));
        const double likelihood = 0.2 + 0.15 * std::sin(TWO_PI * t0 / 7.0);
        if (blockRng.uniform() < likelihood && rng.chance(0.3)) level = std::max(level, rng.gaussian(-26.0, 3.0));
        break;
      }
      case SceneKind::Dect:
        // 10.4 ms frames (the 2.4 GHz hopping phone keeps its own frame, not the 10 ms of
        // 1.9 GHz DECT, so decimated views beat instead of aliasing onto one phase): the base's
        // slot, then the handset's half a frame later during calls.
        if (overlaps(0.0104, 0.0, 0.000417)) level = std::max(level, -20.0 + rng.gaussian(0.0, 0.3));
        if (call && overlaps(0.0104, 0.0052, 0.000417)) level = std::max(level, -28.0 + rng.gaussian(0.0, 0.3));
        break;
      case SceneKind::Dss:
        if (call) {
          if (rng.chance(0.92)) level = std::max(level, rng.gaussian(-26.0, 1.5));
        } else if (overlaps(0.213, 0.0, 0.0008)) {  // idle: the base beacons a few times a second
          level = std::max(level, -27.0 + rng.gaussian(0.0, 1.0));
        }
        break;
      case SceneKind::None:
        break;
    }
    out[j] = static_cast<float>(level);
  }
  return out;
}

bool triggerFires(const uint8_t* codes, int count, int index, int levelCode, bool rising) {
  if (!codes || index < 1 || index >= count) return false;
  if (rising) return codes[index - 1] < levelCode && codes[index] >= levelCode;
  return codes[index - 1] > levelCode && codes[index] <= levelCode;
}

int triggerIndexFromPreCount(int samples, uint32_t pre) {
  if (samples < 2) return 0;
  const int64_t index = static_cast<int64_t>(samples) - static_cast<int64_t>(pre);
  return static_cast<int>(std::clamp<int64_t>(index, 1, samples - 1));
}

}  // namespace tarvo::sim
