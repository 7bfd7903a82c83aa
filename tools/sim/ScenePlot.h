// ScenePlot: pictures of the simulator's scenes and recordings, written as PNG files (libpng).
//
// For looking at what the recordings hold without running the application: a spectrum panel
// (max hold, average and the last sweep) over a waterfall of every sweep; power captures drawn
// over each other with the trigger level and trigger sample marked; a roll stream; and the
// access points of the scan cycles as channel shapes at their RSSI.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/sim/RecordingReader.h"
#include "tools/sim/Scenes.h"

namespace tarvo::sim {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

class Image {
 public:
  Image(int width, int height, Rgb background = {});
  int width() const { return w_; }
  int height() const { return h_; }
  Rgb at(int x, int y) const;
  void set(int x, int y, Rgb c);
  // Mixes c in with weight alpha 0..1.
  void blend(int x, int y, Rgb c, float alpha);
  void fillRect(int x0, int y0, int x1, int y1, Rgb c);
  void line(int x0, int y0, int x1, int y1, Rgb c, float alpha = 1.0f);
  // Upper-case letters, digits and " -.:/+%" in a 3x5 pixel font scaled by `scale`.
  void text(int x, int y, const std::string& s, Rgb c, int scale = 2);
  const std::vector<uint8_t>& rgb() const { return px_; }

 private:
  int w_, h_;
  std::vector<uint8_t> px_;
};

bool writePng(const std::string& path, const Image& image, std::string* error = nullptr);

// Colour of a level between lo and hi (blue, cyan, green, yellow, red).
Rgb heatColor(float dbm, float lo, float hi);

Image plotSpectrum(const std::string& title, const std::vector<std::vector<float>>& sweeps, const BinPlan& plan,
                   float loDbm, float hiDbm);
Image plotCaptures(const std::string& title, const std::vector<ReadCapture>& captures, float loDbm, float hiDbm,
                   int triggerIndex, float triggerLevelDbm);
Image plotRoll(const std::string& title, const std::vector<float>& samples, float loDbm, float hiDbm);
Image plotScans(const std::string& title, const std::vector<ReadScanFrame>& frames);

}  // namespace tarvo::sim
