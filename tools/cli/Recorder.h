// Recording live accessory traffic in the demo-recording layout.
//
// RecordingWriter sorts the accessory's byte stream into whole frames and keeps those a demo
// recording holds: the first discover response, the first configure acknowledgement after it,
// and then the data frames of the recorded mode and band (sweeps or power frames of the size
// demo playback feeds) and, in spectrum mode with SSID scans, the scan frames. write() puts
// them under <folder>/packets/<Generation>/<Generation>_{discover,settings,spectrum...,power...,
// ssid}.bin, each a plain concatenation of whole frames of its kind, so that demo playback and
// `tarvo-cli replay --recordings <folder>` replay them.
//
// recordSession drives a real accessory: the USB link finds and opens it, the acquisition
// controller discovers and configures it and requests data for the chosen mode and band, and
// every chunk that arrives goes both to the packet handler and to the writer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tarvo {
class UsbTransport;
}

namespace tarvo::cli {

struct RecordOptions {
  std::string folder;
  bool powerMode = false;
  int band = 0;            // 0 2.4 GHz, 1 5 GHz
  bool ssid = true;
  int signal = 1;          // names the data files: None, Wifi, Dect, Dsss
  double seconds = 10.0;   // recorded after the first data frame
  double timeoutSeconds = 10.0;  // to find and open the accessory, and for each answer
};

class RecordingWriter {
 public:
  RecordingWriter(bool powerMode, int band, bool ssid);

  // A chunk of the accessory's stream. `generation` is the code of the packet handler's
  // current decoder (0 before the first discover response was accepted): frames are cut by
  // that generation's length rules.
  void add(const uint8_t* bytes, int length, int generation);

  int generation() const { return generation_; }
  bool haveDiscover() const { return !discover_.empty(); }
  bool haveAcknowledge() const { return !settings_.empty(); }
  long dataFrames() const { return dataFrames_; }
  long scanFrames() const { return scanFrames_; }
  long skippedFrames() const { return skipped_; }

  // Writes the files; returns an empty string or what went wrong. `written` lists the paths.
  std::string write(const std::string& folder, int signal, std::vector<std::string>& written) const;

 private:
  void frame(const uint8_t* f, int length);

  bool powerMode_;
  int band_;
  bool ssid_;
  int generation_ = 0;
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> discover_, settings_, data_, scans_;
  long dataFrames_ = 0, scanFrames_ = 0, skipped_ = 0;
};

// Parses tarvo-cli record's arguments; an empty string or the complaint.
std::string parseRecordOptions(const std::vector<std::string>& args, RecordOptions& o);

// Records from the first accessory the transport offers. Progress goes to `out`, errors to
// `err`. Returns the exit code: 0 done, 1 no accessory / cannot open / no answer / write error.
int recordSession(UsbTransport& transport, const RecordOptions& o, FILE* out, FILE* err);

extern const char* const RECORD_USAGE;

}  // namespace tarvo::cli
