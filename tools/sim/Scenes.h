// Radio scenes: what the simulated accessory "hears", as levels in dBm.
//
// Spectrum scenes (one per SceneKind and band) give the level of every bin of sweep k:
//   NONE  the noise floor: a fixed gentle ripple across the band, a small per-sweep wander and
//         about 1 dB of per-bin jitter, with a rare positive spike;
//   WIFI  the access points of AccessPointPopulation as OFDM channels: flat tops with a DC dip,
//         a steep edge and the shoulders of the spectral mask, 10/20/40 MHz at 2.4 GHz and
//         20/40/80 MHz at 5 GHz. Each channel alternates busy spells and idle (beacon-only)
//         spells; while the sweep passes a channel the channel is on air in runs of a few MHz,
//         so a single sweep catches pieces of packets and max hold fills in the mask;
//   DECT  a frequency-hopping cordless phone: narrow (about 1 MHz) bursts on random hop
//         channels, a handful per sweep while a call is up, a beacon now and then otherwise
//         (2400-2483 MHz, or 5725-5850 MHz at 5 GHz);
//   DSS   a direct-sequence cordless phone pair: 22 MHz sinc-squared humps with -30 dB side
//         lobes, nearly continuous during calls, changing channel now and then.
// Every sweep is a pure function of (seed, kind, band, k mod loop); slow changes (call spells,
// channel changes, busy spells' likelihood) are periodic in the loop, so a recording of one
// loop replays without a seam.
//
// Power scenes give captures of pulsed RF for the triggered time bases and a continuous
// stream for the roll time bases:
//   NONE  detector noise only, never triggers;
//   WIFI  an OFDM packet (fluctuating envelope), a SIFS gap and a weaker acknowledgement;
//   DECT  a train of flat-topped bursts, 12 us wide every 30 us;
//   DSS   direct-sequence bursts with a slow ripple, 25 us wide every 60 us.
// A capture places its event's triggering edge exactly at the trigger sample, so the host
// sees the edge where its trigger delay puts it. About one capture in twelve holds no event.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/sim/AccessPointPopulation.h"

namespace tarvo::sim {

enum class SceneKind : int { None = 0, Wifi = 1, Dect = 2, Dss = 3 };
constexpr int SCENE_KIND_COUNT = 4;
// "NONE", "WIFI", "DECT", "DSS".
const char* sceneName(SceneKind kind);

// The frequencies of one band's bins.
struct BinPlan {
  double startMHz = 2400.0;
  double stepMHz = 1.0;
  int bins = 100;
  double frequencyMHz(int i) const { return startMHz + stepMHz * i; }
};
// The plan a generation sweeps a band with (empty plan, bins 0, when it has no such band).
BinPlan binPlanFor(int generationCode, int band);

class SpectrumScene {
 public:
  // band: 0 = 2.4 GHz, 1 = 5 GHz. noiseFloorDbm: mean of the floor. loopSweeps: the period
  // of every slow change (a recording of loopSweeps sweeps loops seamlessly).
  SpectrumScene(SceneKind kind, int band, uint32_t seed, float noiseFloorDbm, int loopSweeps);

  // The levels of sweep `index` (taken modulo the loop) at the plan's bins.
  std::vector<float> sweep(int index, const BinPlan& plan) const;

  SceneKind kind() const { return kind_; }
  int loopSweeps() const { return loop_; }

 private:
  enum class Shape { Ofdm, Dsss, Narrow };
  struct Emitter {
    Shape shape;
    double centerMHz;
    double widthMHz;
    float peakDbm;
    float airtime;    // share on air during a busy spell
    float busyShare;  // share of sweeps in busy spells
    int spellSweeps;  // length of one spell
    int spellOffset;  // where this emitter's spells start in the loop
  };
  double phaseOf(int index) const;
  bool callActive(double phase) const;

  SceneKind kind_;
  int band_;
  uint32_t seed_;
  float noise_;
  int loop_;
  std::vector<Emitter> emitters_;
  std::vector<double> hopChannelsMHz_;
  std::vector<double> dssCentersMHz_;
};

// Where the accessory puts a capture's trigger and what level it fires at.
struct CaptureGeometry {
  int samples = 1000;
  double sampleSeconds = 1e-7;
  int triggerIndex = 500;        // sample of the triggering edge
  float triggerLevelDbm = -30.0f;
  bool rising = true;
  // The samples either side of the edge are kept at least this far from the level, so the
  // edge survives quantisation (use about 1.6 x the power slope).
  float levelMarginDb = 0.6f;
};

struct Capture {
  std::vector<float> dbm;
  bool hasEvent = false;  // an event was placed at the trigger sample
};

class PowerScene {
 public:
  PowerScene(SceneKind kind, uint32_t seed, float noiseDbm);

  Capture capture(int index, const CaptureGeometry& geometry) const;
  // `count` samples of the continuous stream starting at absolute sample `first`.
  std::vector<float> roll(int64_t first, double sampleSeconds, int count) const;

  SceneKind kind() const { return kind_; }
  // Peak level of the scene's events (NaN for NONE).
  float eventPeakDbm() const;

 private:
  float eventLevel(double t, int index, double& gainDb) const;

  SceneKind kind_;
  uint32_t seed_;
  float noise_;
};

// The accessory's trigger test on codes: the edge passes the level code between sample
// index - 1 and index (rising: below, then at or above; falling: above, then at or below).
bool triggerFires(const uint8_t* codes, int count, int index, int levelCode, bool rising);
// Sample index of the trigger from the pre-trigger count of a configure command: the host
// asks for `pre` = (half the span + delay) in samples, and puts time zero that many samples
// before the end of the capture. Clamped into 1 .. samples - 1.
int triggerIndexFromPreCount(int samples, uint32_t pre);

}  // namespace tarvo::sim
