// The fuzz harnesses: what each fuzz target does with one input, shared by the libFuzzer
// targets (fuzz/targets/) and the regression suite (tests/regressions/), which replays the
// reduced inputs of past crashes through the same code in every build.
//
// A harness returns an empty string when the input ran through and every invariant held, and
// otherwise a one-line description of the first invariant that broke. Memory errors and
// undefined behaviour are left to the sanitizers of the build.
//
// Harnesses (input formats in their .cpp files):
//   settings  arbitrary rows in the settings database, then loadConfiguration, the queries and
//             configure commands that read the loaded settings, and a save/load round trip
//   scan      one SSID scan frame through decodeScan of the second-generation and dual-band
//             decoders, checked against frameLength
//   handler   a simulated discovery, then arbitrary bytes in arbitrary chunks through the
//             packet handler, with the model's invariants checked after each chunk
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::fuzz {

struct Seed {
  std::string name;  // file name in the corpus
  std::vector<uint8_t> bytes;
};

struct Harness {
  const char* name;
  std::string (*run)(const uint8_t* data, size_t size);
  std::vector<Seed> (*seeds)();
};

std::string runSettingsInput(const uint8_t* data, size_t size);
std::vector<Seed> settingsSeeds();

std::string runScanInput(const uint8_t* data, size_t size);
std::vector<Seed> scanSeeds();

std::string runHandlerInput(const uint8_t* data, size_t size);
std::vector<Seed> handlerSeeds();

// Every harness this build has (the handler needs the acquisition pipeline).
const std::vector<Harness>& allHarnesses();

// A private directory for the files one harness run needs (under /dev/shm when it is writable,
// else $TMPDIR or /tmp), created on first use and removed with its contents at exit.
const std::string& scratchDirectory();
// Removes every file in the scratch directory.
void clearScratchDirectory();

}  // namespace tarvo::fuzz
