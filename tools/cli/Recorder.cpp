#include "tools/cli/Recorder.h"

#include <libusb.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "acquisition/demo/DemoPlayback.h"
#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"
#include "acquisition/protocol/AccessoryProtocol.h"
#include "engine/services/Clock.h"
#include "engine/services/FileUtils.h"
#include "link/AccessoryCommunication.h"

namespace tarvo::cli {

const char* const RECORD_USAGE =
    "usage: tarvo-cli record <folder> [--mode spectrum|power] [--band 2.4|5] [--ssid on|off]\n"
    "                        [--signal none|wifi|dect|dsss] [--seconds N] [--timeout N]\n"
    "  records N seconds (default 10) of an attached accessory into <folder>/packets/...\n"
    "  --signal names the recorded environment (the file name suffix; default wifi; scans\n"
    "  replay with the wifi recording only); --timeout bounds the wait for the accessory and\n"
    "  for each of its answers (default 10 s)\n";

namespace {

// Stream bytes kept while no generation is known (before the discover response).
constexpr size_t MAX_UNFRAMED_BYTES = 65536;

void append(std::vector<uint8_t>& to, const uint8_t* f, int length) { to.insert(to.end(), f, f + length); }

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

int discoverLength(int generation) {
  switch (generation) {
    case GENERATION_TARVO: return GEN1_FRAME_LENGTHS.discover;
    case GENERATION_TARVO2: return GEN2_FRAME_LENGTHS.discover;
    case GENERATION_TARVO25: return DUALBAND_FRAME_LENGTHS.discover;
    default: return 0;
  }
}

}  // namespace

RecordingWriter::RecordingWriter(bool powerMode, int band, bool ssid)
    : powerMode_(powerMode), band_(band == BAND_5G ? BAND_5G : BAND_2G4), ssid_(ssid) {}

void RecordingWriter::add(const uint8_t* bytes, int length, int generation) {
  if (!bytes || length <= 0) return;
  append(buffer_, bytes, length);
  if (generation == 0) {
    // Nothing can be cut yet; keep the newest bytes only.
    if (buffer_.size() > MAX_UNFRAMED_BYTES) buffer_.erase(buffer_.begin(), buffer_.end() - MAX_UNFRAMED_BYTES);
    return;
  }
  size_t at = 0;
  if (generation_ == 0) {
    // The packet handler has just accepted a discover response: the conversation starts at
    // it, and whatever came before (a half frame, noise) must not swallow it.
    for (size_t p = 0; p + 1 < buffer_.size(); ++p) {
      if (buffer_[p] != FRAME_SYNC || frameTypeOf(buffer_[p + 1]) != FRAME_DISCOVER) continue;
      const int n = frameLengthFor(generation, buffer_.data() + p, static_cast<int>(buffer_.size() - p));
      if (n > 0) {
        at = p;
        break;
      }
    }
  }
  generation_ = generation;
  while (at < buffer_.size()) {
    const int available = static_cast<int>(std::min<size_t>(buffer_.size() - at, 1 << 30));
    const int n = frameLengthFor(generation, buffer_.data() + at, available);
    if (n == PROTOCOL_INCOMPLETE || n > available) break;  // the rest of the frame is still to come
    // The length rules measure an incomplete discover response as an acknowledgement; the
    // recording waits for the whole response instead.
    if (n > 0 && frameTypeOf(buffer_[at + 1]) == FRAME_DISCOVER && n < discoverLength(generation)) {
      if (available < discoverLength(generation)) break;
    }
    if (n <= 0) {  // not a frame start: resynchronise one byte on
      ++at;
      continue;
    }
    frame(buffer_.data() + at, n);
    at += static_cast<size_t>(n);
  }
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at));
}

void RecordingWriter::frame(const uint8_t* f, int length) {
  const int type = length >= 2 ? frameTypeOf(f[1]) : -1;
  if (type == FRAME_DISCOVER) {
    if (discover_.empty()) append(discover_, f, length);
    return;
  }
  if (discover_.empty()) return;  // traffic from before this conversation
  if (type == FRAME_CONFIGURE_ACK) {
    if (settings_.empty()) append(settings_, f, length);
    return;
  }
  if (settings_.empty()) return;
  const DemoFrameSizes sizes = demoFrameSizes(generationRowOf(generation_));
  if (type == FRAME_SPECTRUM && !powerMode_) {
    if (length == (band_ == BAND_5G ? sizes.band2Sweep : sizes.band1Sweep)) {
      append(data_, f, length);
      ++dataFrames_;
    } else {
      ++skipped_;  // another band's sweep, or an empty sweep demo playback could not feed
    }
  } else if (type == FRAME_POWER && powerMode_) {
    if (length == sizes.power) {
      append(data_, f, length);
      ++dataFrames_;
    } else {
      ++skipped_;
    }
  } else if (type == FRAME_SCAN && !powerMode_ && ssid_) {
    append(scans_, f, length);
    ++scanFrames_;
  }
}

std::string RecordingWriter::write(const std::string& folder, int signal, std::vector<std::string>& written) const {
  const int row = generationRowOf(generation_);
  if (row < 0 || discover_.empty()) return "no discover response was recorded";
  if (settings_.empty()) return "no configure acknowledgement was recorded";
  if (data_.empty()) return std::string("no ") + (powerMode_ ? "power" : "sweep") + " frame was recorded";
  const std::string prefix = folder + "/" + generationRow(row).demoPacketPrefix;
  const std::string directory = prefix.substr(0, prefix.find_last_of('/'));
  if (!eng::makeDirectories(directory)) return "cannot create \"" + directory + "\": " + std::strerror(errno);
  std::vector<std::pair<std::string, const std::vector<uint8_t>*>> files = {
      {prefix + "discover.bin", &discover_}, {prefix + "settings.bin", &settings_}};
  if (powerMode_) {
    files.push_back({prefix + "power" + demoSignalFileName(signal, false), &data_});
  } else {
    files.push_back({prefix + "spectrum" + demoSignalFileName(signal, band_ == BAND_5G), &data_});
    if (!scans_.empty()) files.push_back({prefix + "ssid.bin", &scans_});
  }
  for (const auto& [path, bytes] : files) {
    if (!writeBytes(path, *bytes)) return "cannot write \"" + path + "\": " + std::strerror(errno);
    written.push_back(path);
  }
  return {};
}

std::string parseRecordOptions(const std::vector<std::string>& args, RecordOptions& o) {
  static const char* const SIGNALS[] = {"none", "wifi", "dect", "dsss"};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      if (!o.folder.empty()) return "unexpected argument \"" + a + "\"";
      o.folder = a;
      continue;
    }
    if (i + 1 >= args.size()) return a + " needs a value";
    const std::string& v = args[++i];
    if (a == "--mode") {
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
    } else if (a == "--signal") {
      int s = -1;
      for (int k = 0; k < 4; ++k)
        if (v == SIGNALS[k]) s = k;
      if (s < 0) return "--signal must be none, wifi, dect or dsss, not \"" + v + "\"";
      o.signal = s;
    } else if (a == "--seconds" || a == "--timeout") {
      char* end = nullptr;
      const double s = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !(s > 0.0) || s > 86400.0)
        return a + " must be a number above 0 and at most 86400, not \"" + v + "\"";
      (a == "--seconds" ? o.seconds : o.timeoutSeconds) = s;
    } else {
      return "unknown option \"" + a + "\"";
    }
  }
  if (o.folder.empty()) return "the output <folder> is required";
  if (o.powerMode && o.band == BAND_5G) return "--band 5 applies to spectrum mode only";
  return {};
}

namespace {

// The link's write queue as the controller sees it.
class LinkCommandQueue : public CommandQueue {
 public:
  explicit LinkCommandQueue(AccessoryCommunication& link) : link_(link) {}
  bool enqueue(std::vector<uint8_t> bytes, int tag) override {
    if (bytes.empty()) return false;
    auto buffer = std::make_unique<uint8_t[]>(bytes.size());
    std::memcpy(buffer.get(), bytes.data(), bytes.size());
    return link_.enqueue(std::move(buffer), static_cast<int32_t>(bytes.size()), tag);
  }

 private:
  AccessoryCommunication& link_;
};

using Clock = std::chrono::steady_clock;

}  // namespace

int recordSession(UsbTransport& transport, const RecordOptions& o, FILE* out, FILE* err) {
  AnalyzerModel model;
  model.common.spectrumMode = o.powerMode ? 0 : 1;
  model.spectrum.band = o.band;
  model.spectrum.ssidEnabled = o.ssid ? 1 : 0;
  // No demo playback while no accessory is attached: only the accessory's own frames count.
  model.demo.demoHardware = 255;

  AccessoryCommunicationDelegate delegate(model, eng::systemClock());
  RecordingWriter writer(o.powerMode, o.band, o.ssid);
  std::mutex writerMutex;  // the link thread adds, this thread reads the progress

  AccessoryCommunication link(transport);
  LinkCommandQueue queue(link);
  std::atomic<bool> added{false}, removed{false}, openFailed{false};
  std::atomic<int> openError{0};
  link.setConnectionCallbacks(
      [&](AccessoryCommunication*, BrenicAccessoryDevice* d) {
        return !added.load() && delegate.shouldConnect(d->preapproved != 0, d->matchesAccessory());
      },
      [&](AccessoryCommunication*, BrenicAccessoryDevice* d) {
        delegate.deviceAdded(&queue, d);
        added = true;
      },
      [&](AccessoryCommunication*, BrenicAccessoryDevice*, int error) {
        openError = error;
        openFailed = true;
      },
      [&](AccessoryCommunication*, BrenicAccessoryDevice* d, int reason) {
        delegate.deviceRemoved(&queue, d, reason);
        removed = true;
      });
  link.setDataCallbacks(
      [&](AccessoryCommunication*, BrenicAccessoryDevice* d, const uint8_t* bytes, int count) {
        delegate.dataReceived(&queue, d, bytes, count);
        std::lock_guard lock(writerMutex);
        writer.add(bytes, count, delegate.decoderGeneration());
      },
      nullptr);
  link.setDiagnosticStreams(out, err);

  auto finish = [&](int status) {
    delegate.stopController();
    link.stop();
    return status;
  };
  if (!link.start()) {
    std::fprintf(err, "tarvo-cli record: cannot start the USB link thread\n");
    return 1;
  }
  delegate.startController();

  const auto timeout = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.timeoutSeconds));
  auto waitFor = [&](const std::function<bool()>& done, Clock::time_point until) {
    while (!done()) {
      if (Clock::now() >= until || removed.load() || (openFailed.load() && !added.load())) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  };

  if (!waitFor([&] { return added.load(); }, Clock::now() + timeout)) {
    if (openFailed.load()) {
      std::fprintf(err, "tarvo-cli record: the accessory was found but cannot be opened: %s\n",
                   libusb_error_name(openError.load()));
    } else {
      std::fprintf(err, "tarvo-cli record: no accessory found within %g s\n", o.timeoutSeconds);
    }
    return finish(1);
  }
  std::fprintf(out, "recording: accessory opened\n");
  struct Step {
    const char* what;
    std::function<bool()> done;
  };
  const Step steps[] = {
      {"discover response", [&] { std::lock_guard l(writerMutex); return writer.haveDiscover(); }},
      {"configure acknowledgement", [&] { std::lock_guard l(writerMutex); return writer.haveAcknowledge(); }},
      {o.powerMode ? "power frame" : "sweep", [&] { std::lock_guard l(writerMutex); return writer.dataFrames() > 0; }},
  };
  for (const Step& s : steps) {
    if (!waitFor(s.done, Clock::now() + timeout)) {
      std::fprintf(err, "tarvo-cli record: %s; no %s arrived within %g s\n",
                   removed.load() ? "the accessory went away" : "the accessory did not answer", s.what,
                   o.timeoutSeconds);
      return finish(1);
    }
  }
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds));
  waitFor([] { return false; }, end);
  const bool wentAway = removed.load();
  finish(0);
  if (wentAway) std::fprintf(err, "tarvo-cli record: the accessory went away; keeping what arrived\n");

  std::vector<std::string> written;
  const std::string complaint = writer.write(o.folder, o.signal, written);
  if (!complaint.empty()) {
    std::fprintf(err, "tarvo-cli record: %s\n", complaint.c_str());
    return 1;
  }
  std::fprintf(out, "recorded %ld data frames, %ld scan frames (%ld frames of other sizes skipped):\n",
               writer.dataFrames(), writer.scanFrames(), writer.skippedFrames());
  for (const std::string& path : written) std::fprintf(out, "  %s\n", path.c_str());
  return 0;
}

}  // namespace tarvo::cli
