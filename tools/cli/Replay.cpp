// tarvo-cli replay: demo playback, the acquisition controller and the packet handler run
// headless over a recordings folder, on virtual time (one 100 ms controller cycle per step).
// The CSV data log starts at the first stored frame; an optional JSON summary describes the
// accessory, the sweep counts, the newest sweep, the power measurements and the access points.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/datalog/DataLogFile.h"
#include "acquisition/demo/DemoPlayback.h"
#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"
#include "core/LockOrder.h"
#include "engine/services/FileUtils.h"
#include "power/measure/PulseMeasurement.h"
#include "tools/cli/JsonWriter.h"
#include "tools/cli/Subcommand.h"

namespace tarvo::cli {

namespace {

constexpr const char* USAGE =
    "usage: tarvo-cli replay --csv <file> [--json <file>] [--recordings <folder>]\n"
    "                        [--hardware 0|1|2] [--signal none|wifi|dect|dsss|0..3]\n"
    "                        [--mode spectrum|power] [--band 2.4|5] [--ssid on|off]\n"
    "                        [--seconds <accessory seconds>] [--realtime]\n"
    "  --recordings  folder holding packets/Tarvo*/... (default: the built-in recordings)\n"
    "  defaults: --hardware 1 --signal wifi --mode spectrum --band 2.4 --ssid on --seconds 10\n";

// Longest replay accepted: one day of accessory time.
constexpr double MAX_SECONDS = 86400.0;

struct ReplayOptions {
  std::string csvPath;
  std::string jsonPath;
  std::string recordings;  // empty: the resource root's built-in recordings
  int hardware = 1;
  int signal = DEMO_SIGNAL_WIFI;
  bool powerMode = false;
  int band = BAND_2G4;
  bool ssid = true;
  double seconds = 10.0;
  bool realtime = false;
};

const char* const SIGNAL_NAMES[DEMO_SIGNAL_COUNT] = {"none", "wifi", "dect", "dsss"};

int fail(const std::string& message) {
  std::fprintf(stderr, "tarvo-cli replay: %s\n", message.c_str());
  return 1;
}

int badArguments(const std::string& message) {
  std::fprintf(stderr, "tarvo-cli replay: %s\n%s", message.c_str(), USAGE);
  return 2;
}

bool parseInt(const std::string& text, int lo, int hi, int& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

// Returns an empty string on success, otherwise the complaint.
std::string parseOptions(const std::vector<std::string>& args, ReplayOptions& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--realtime") {
      o.realtime = true;
      continue;
    }
    if (a.rfind("--", 0) != 0) return "unexpected argument \"" + a + "\"";
    if (i + 1 >= args.size()) return a + " needs a value";
    const std::string& v = args[++i];
    if (a == "--csv") {
      if (v.empty()) return "--csv needs a file name";
      o.csvPath = v;
    } else if (a == "--json") {
      if (v.empty()) return "--json needs a file name";
      o.jsonPath = v;
    } else if (a == "--recordings") {
      if (v.empty()) return "--recordings needs a folder";
      o.recordings = v;
    } else if (a == "--hardware") {
      if (!parseInt(v, 0, GENERATION_ROW_COUNT - 1, o.hardware)) return "--hardware must be 0, 1 or 2, not \"" + v + "\"";
    } else if (a == "--signal") {
      int s = -1;
      for (int k = 0; k < DEMO_SIGNAL_COUNT; ++k)
        if (v == SIGNAL_NAMES[k]) s = k;
      if (s < 0 && !parseInt(v, 0, DEMO_SIGNAL_COUNT - 1, s))
        return "--signal must be none, wifi, dect, dsss or 0..3, not \"" + v + "\"";
      o.signal = s;
    } else if (a == "--mode") {
      if (v == "spectrum") o.powerMode = false;
      else if (v == "power") o.powerMode = true;
      else return "--mode must be spectrum or power, not \"" + v + "\"";
    } else if (a == "--band") {
      if (v == "2.4" || v == "0") o.band = BAND_2G4;
      else if (v == "5" || v == "1") o.band = BAND_5G;
      else return "--band must be 2.4 or 5, not \"" + v + "\"";
    } else if (a == "--ssid") {
      if (v == "on") o.ssid = true;
      else if (v == "off") o.ssid = false;
      else return "--ssid must be on or off, not \"" + v + "\"";
    } else if (a == "--seconds") {
      char* end = nullptr;
      const double s = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !(s > 0.0) || s > MAX_SECONDS)
        return "--seconds must be a number above 0 and at most 86400, not \"" + v + "\"";
      o.seconds = s;
    } else {
      return "unknown option \"" + a + "\"";
    }
  }
  if (o.csvPath.empty()) return "--csv <file> is required";
  if (o.powerMode && demoFrameSizes(o.hardware).power == 0)
    return "hardware " + std::to_string(o.hardware) + " has no power mode";
  if (o.powerMode && o.band != BAND_2G4) return "--band 5 applies to spectrum mode only";
  if (o.band == BAND_5G && demoFrameSizes(o.hardware).band2Sweep == 0)
    return "hardware " + std::to_string(o.hardware) + " has no 5 GHz band";
  return {};
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Checks that the files this replay feeds exist and hold at least one frame; returns the
// complaint or an empty string.
std::string checkRecordings(const ReplayOptions& o, std::string& folder) {
  eng::FileUtils& files = eng::FileUtils::getInstance();
  if (!o.recordings.empty()) {
    if (!isDirectory(o.recordings)) return "recordings folder \"" + o.recordings + "\" does not exist";
    // Exactly this folder: packets/... directly below it.
    files.setResourceRoot(o.recordings);
    files.setSearchPaths({""});
    folder = o.recordings;
  } else {
    folder = files.resourceRoot() + "/res";
  }
  const std::string prefix = generationRow(o.hardware).demoPacketPrefix;
  const DemoFrameSizes sizes = demoFrameSizes(o.hardware);
  struct Needed {
    std::string name;
    size_t minimum;
  };
  std::vector<Needed> needed = {{prefix + "discover.bin", 1}, {prefix + "settings.bin", 1}};
  if (o.powerMode) {
    needed.push_back({prefix + "power" + demoSignalFileName(o.signal, false), static_cast<size_t>(sizes.power)});
  } else if (o.band == BAND_5G) {
    needed.push_back({prefix + "spectrum" + demoSignalFileName(o.signal, true), static_cast<size_t>(sizes.band2Sweep)});
  } else {
    needed.push_back({prefix + "spectrum" + demoSignalFileName(o.signal, false), static_cast<size_t>(sizes.band1Sweep)});
  }
  // Scan frames are replayed with the Wi-Fi recording on the accessories that scan; a
  // recording without them (a short recorded session) still replays its sweeps.
  if (!o.powerMode && o.ssid && o.signal == DEMO_SIGNAL_WIFI && o.hardware != 0 &&
      files.getDataFromFile(prefix + "ssid.bin").empty())
    std::fprintf(stderr, "tarvo-cli replay: no \"%sssid.bin\" in %s: no SSID scans are replayed\n", prefix.c_str(),
                 folder.c_str());
  for (const Needed& n : needed) {
    const std::string full = files.fullPathForFilename(n.name);
    if (full.empty()) return "recording \"" + n.name + "\" is missing in " + folder;
    const std::vector<uint8_t> bytes = files.getDataFromFile(n.name);
    if (bytes.size() < n.minimum)
      return "recording \"" + full + "\" holds " + std::to_string(bytes.size()) + " bytes, less than one frame (" +
             std::to_string(n.minimum) + ")";
  }
  return {};
}

// Forwards everything to the CSV log and keeps what the summary reports.
class SummarySink : public DataLogSink {
 public:
  explicit SummarySink(DataLogFile& file) : file_(file) {}
  void sweepStored(int band, const float* values, int count, int64_t nowMs) override {
    ++sweeps[band == BAND_5G ? 1 : 0];
    newestBand = band;
    newestSweep.assign(values, values + std::max(count, 0));
    file_.sweepStored(band, values, count, nowMs);
  }
  void powerTraceStored(const float* samples, int count, int64_t nowMs) override {
    ++powerTraces;
    file_.powerTraceStored(samples, count, nowMs);
  }
  void rollSamplesStored(const float* samples, int count, int64_t nowMs) override {
    rollSamples += count > 0 ? count : 0;
    file_.rollSamplesStored(samples, count, nowMs);
  }
  void configureAcknowledged() override { file_.configureAcknowledged(); }
  void stopLog() override { file_.stopLog(); }

  long sweeps[BAND_COUNT] = {0, 0};
  int newestBand = -1;
  std::vector<float> newestSweep;
  long powerTraces = 0;
  long rollSamples = 0;

 private:
  DataLogFile& file_;
};

const char* const MEASUREMENT_NAMES[POWER_MEASUREMENT_COUNT] = {
    "period",       "frequency",  "delay",   "riseTime",          "fallTime",          "dutyPositive",
    "dutyNegative", "pulsePositive", "pulseNegative", "burstWidth", "phase",           "overshootPositive",
    "overshootNegative", "peakToPeak", "amplitude", "high",      "low",               "max",
    "min",          "mean",       "cycleMean", "rms",             "cycleRms"};

void writeDeviceInfo(JsonWriter& j, const DeviceInfo& d) {
  j.beginObject();
  j.key("generationCode").number(d.generationCode);
  j.key("infoByte1").number(d.infoByte1);
  j.key("infoByte2").number(d.infoByte2);
  j.key("reserved").number(d.reserved);
  j.key("infoByte4").number(d.infoByte4);
  j.key("infoByte5").number(d.infoByte5);
  j.key("infoByte6").number(d.infoByte6);
  j.key("infoByte7").number(d.infoByte7);
  j.key("band1SpectrumCapable").boolean(d.band1SpectrumCapable);
  j.key("band2SpectrumCapable").boolean(d.band2SpectrumCapable);
  j.key("band1ScanCapable").boolean(d.band1ScanCapable);
  j.key("band2ScanCapable").boolean(d.band2ScanCapable);
  j.key("powerCapable").boolean(d.powerCapable);
  j.key("internalAttenuatorAvailable").boolean(d.internalAttenuatorAvailable);
  j.key("fixedScanCycle").boolean(d.fixedScanCycle);
  j.key("deviceIdText").string(d.deviceIdText);
  j.key("laterGeneration").boolean(d.laterGeneration);
  j.key("internalAttenuations").beginArray();
  for (float a : d.internalAttenuations) j.number(a);
  j.endArray();
  j.key("internalAttenuationCount").number(d.internalAttenuationCount);
  j.key("gen1ExtraWord").integer(d.gen1ExtraWord);
  j.key("powerPacketsPerTrace").number(d.powerPacketsPerTrace);
  j.key("band1PacketsPerSweep").number(d.band1PacketsPerSweep);
  j.key("band2PacketsPerSweep").number(d.band2PacketsPerSweep);
  j.key("gen1Marker").number(d.gen1Marker);
  j.key("band1BinsPerSweep").number(d.band1BinsPerSweep);
  j.key("band2BinsPerSweep").number(d.band2BinsPerSweep);
  j.key("powerSamplesPerTrace").number(d.powerSamplesPerTrace);
  j.key("band1BinsShown").number(d.band1BinsShown);
  j.key("band2BinsShown").number(d.band2BinsShown);
  j.key("band1AmplitudeLevels").number(d.band1AmplitudeLevels);
  j.key("band2AmplitudeLevels").number(d.band2AmplitudeLevels);
  j.key("band1SweepPeriod").number(d.band1SweepPeriod);
  j.key("band2SweepPeriod").number(d.band2SweepPeriod);
  j.key("powerPeriod").number(d.powerPeriod);
  j.key("demoScanDelay").number(d.demoScanDelay);
  j.key("demoScanInterval").number(d.demoScanInterval);
  j.key("timebaseTable").beginArray();
  for (float t : d.timebaseTable) j.number(t);
  j.endArray();
  j.key("rollTimebaseCount").number(d.rollTimebaseCount);
  j.key("rollTimebaseCode").number(d.rollTimebaseCode);
  j.key("amplitudeScaleTable").beginArray();
  for (float t : d.amplitudeScaleTable) j.number(t);
  j.endArray();
  j.key("powerMinDbm").number(d.powerMinDbm);
  j.key("powerMaxDbm").number(d.powerMaxDbm);
  j.key("band1MinDbm").number(d.band1MinDbm);
  j.key("band1MaxDbm").number(d.band1MaxDbm);
  j.key("band2MinDbm").number(d.band2MinDbm);
  j.key("band2MaxDbm").number(d.band2MaxDbm);
  j.endObject();
}

void writeAccessPoint(JsonWriter& j, const AccessPoint& ap) {
  j.beginObject();
  j.key("ssid").string(ap.ssidText());
  j.key("bssid").string(ap.bssidText());
  j.key("lastSeenMs").integer(ap.lastSeenMs);
  j.key("sightings").number(ap.sightings);
  j.key("recordKind").number(ap.recordKind);
  j.key("band").number(ap.band);
  j.key("phyModes").number(ap.phyModes);
  j.key("channel").number(ap.channel);
  j.key("altA").number(ap.altA);
  j.key("altB").number(ap.altB);
  j.key("bandwidthMHz").number(ap.bandwidthMHz);
  j.key("secondaryChannel").number(ap.secondaryChannel);
  j.key("security").number(ap.security);
  j.key("cipher").number(ap.cipher);
  j.key("rssi").number(ap.rssi);
  j.key("utilization").number(ap.utilization);
  j.key("adjacentInterference").number(ap.adjacentInterference);
  j.key("coChannelInterference").number(ap.coChannelInterference);
  j.key("grade").number(ap.grade);
  j.key("bestAlternativeGrade").number(ap.bestAlternativeGrade);
  j.key("suggestedChannel").number(ap.suggestedChannel);
  j.endObject();
}

std::string summaryJson(const ReplayOptions& o, AccessoryCommunicationDelegate& delegate, AnalyzerModel& model,
                        const SummarySink& sink, long cycles) {
  JsonWriter j;
  j.beginObject();
  j.key("replay").beginObject();
  j.key("hardware").number(o.hardware);
  j.key("signal").string(SIGNAL_NAMES[o.signal]);
  j.key("mode").string(o.powerMode ? "power" : "spectrum");
  j.key("band").number(o.band);
  j.key("ssid").boolean(o.ssid);
  j.key("seconds").number(static_cast<double>(cycles) * CONTROLLER_CYCLE_MS / 1000.0);
  j.key("cycles").integer(cycles);
  j.key("discovered").boolean(delegate.linkState().discovered);
  j.key("controllerState").number(delegate.linkState().state);
  j.endObject();

  j.key("deviceInfo");
  writeDeviceInfo(j, *model.deviceInfo());

  j.key("sweepCounts").beginObject();
  j.key("band0").integer(sink.sweeps[0]);
  j.key("band1").integer(sink.sweeps[1]);
  j.endObject();
  j.key("newestSweep");
  if (sink.newestBand < 0) {
    j.null();
  } else {
    j.beginObject();
    j.key("band").number(sink.newestBand);
    j.key("values").beginArray();
    for (float v : sink.newestSweep) j.number(v);
    j.endArray();
    j.endObject();
  }
  j.key("powerTraceCount").integer(sink.powerTraces);
  j.key("rollSampleCount").integer(sink.rollSamples);

  const PowerMeasurements m = readMeasurements(model);
  j.key("powerMeasurements").beginObject();
  for (int k = 0; k < POWER_MEASUREMENT_COUNT; ++k) j.key(MEASUREMENT_NAMES[k]).number(m[static_cast<size_t>(k)]);
  j.endObject();

  {
    ModelLock lock(model, LOCK_AP_LIST);
    j.key("accessPoints").beginArray();
    for (const auto& ap : model.accessPoints)
      if (ap) writeAccessPoint(j, *ap);
    j.endArray();
  }
  j.endObject();
  return j.text() + "\n";
}

bool writeFile(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int runReplay(const std::vector<std::string>& args) {
  ReplayOptions o;
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(USAGE, stdout);
    return 0;
  }
  if (const std::string complaint = parseOptions(args, o); !complaint.empty()) return badArguments(complaint);
  std::string folder;
  if (const std::string complaint = checkRecordings(o, folder); !complaint.empty()) return fail(complaint);

  // The CSV must be writable before anything runs; the log itself opens it at the first frame.
  if (FILE* probe = std::fopen(o.csvPath.c_str(), "w")) {
    std::fclose(probe);
  } else {
    return fail("cannot write \"" + o.csvPath + "\": " + std::strerror(errno));
  }

  // Virtual time starts at the wall clock's whole second, so the log's dates are today's.
  const int64_t startMs = eng::systemClock().nowMs() / 1000 * 1000;
  eng::ManualClock clock(startMs);
  AnalyzerModel model;
  model.demo.demoHardware = static_cast<uint8_t>(o.hardware);
  model.demo.demoSignal = static_cast<uint8_t>(o.signal);
  model.demo.demoSsid = o.ssid ? 1 : 0;
  model.common.spectrumMode = o.powerMode ? 0 : 1;
  model.spectrum.band = o.band;
  model.spectrum.ssidEnabled = o.ssid ? 1 : 0;
  model.runtime.dataLogState = DATALOG_START_REQUESTED;

  DataLogFile log(model, clock);
  log.setOutputPath(o.csvPath);
  SummarySink sink(log);
  AccessoryCommunicationDelegate delegate(model, clock);
  delegate.setDataLogSink(&sink);

  const long cycles = std::lround(o.seconds * 1000.0 / CONTROLLER_CYCLE_MS);
  auto deadline = std::chrono::steady_clock::now();
  for (long i = 0; i < std::max(cycles, 1L); ++i) {
    delegate.runCycle();
    clock.advanceMs(CONTROLLER_CYCLE_MS);
    if (o.realtime) {
      deadline += std::chrono::milliseconds(CONTROLLER_CYCLE_MS);
      std::this_thread::sleep_until(deadline);
    }
  }
  const bool stillOpen = log.isOpen();
  delegate.setDataLogSink(nullptr);
  log.stopLog();

  int status = 0;
  const long stored = sink.sweeps[0] + sink.sweeps[1] + sink.powerTraces + sink.rollSamples;
  if (!delegate.linkState().discovered) {
    status = fail("the discover recording in " + folder + " was not accepted; nothing was replayed");
  } else if (stored == 0) {
    status = fail("no sweep or power trace was stored in " + std::to_string(o.seconds) + " s; the CSV is empty");
  } else if (!stillOpen) {
    status = fail("writing \"" + o.csvPath + "\" failed; the CSV is incomplete");
  }

  if (!o.jsonPath.empty() && !writeFile(o.jsonPath, summaryJson(o, delegate, model, sink, std::max(cycles, 1L)))) {
    return fail("cannot write \"" + o.jsonPath + "\": " + std::strerror(errno));
  }
  if (status == 0)
    std::printf("replayed %ld cycles: %ld 2.4 GHz sweeps, %ld 5 GHz sweeps, %ld power traces, %ld roll samples -> %s\n",
                std::max(cycles, 1L), sink.sweeps[0], sink.sweeps[1], sink.powerTraces, sink.rollSamples,
                o.csvPath.c_str());
  return status;
}

}  // namespace tarvo::cli
