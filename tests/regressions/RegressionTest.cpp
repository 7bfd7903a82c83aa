// Fuzzer finds stay fixed: each file in tests/regressions/<harness>/ is the reduced input of a
// crash or broken invariant the fuzzer found (its README says which fault it pins), replayed
// through the same harness the fuzz target runs. The seeds of each harness are replayed too, so
// a harness that stops working in some build is noticed without a fuzz run.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/harness/Harness.h"

namespace tarvo::fuzz {

// Test names show the harness, not its bytes.
void PrintTo(const Harness& h, std::ostream* os) { *os << h.name; }

namespace {

std::vector<std::string> inputFiles(const std::string& dir) {
  std::vector<std::string> files;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name.empty() || name[0] == '.' || name == "README.md") continue;
      files.push_back(dir + "/" + name);
    }
    ::closedir(d);
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Regression : public ::testing::TestWithParam<Harness> {};

TEST_P(Regression, ReducedCrashInputsRunClean) {
  const Harness& h = GetParam();
  const std::string dir = std::string(TARVO_SOURCE_DIR) + "/tests/regressions/" + h.name;
  for (const std::string& path : inputFiles(dir)) {
    SCOPED_TRACE(path);
    const std::vector<uint8_t> bytes = readBytes(path);
    EXPECT_EQ(h.run(bytes.data(), bytes.size()), "");
  }
}

TEST_P(Regression, SeedsRunClean) {
  const Harness& h = GetParam();
  const std::vector<Seed> seeds = h.seeds();
  ASSERT_FALSE(seeds.empty());
  for (const Seed& seed : seeds) {
    SCOPED_TRACE(seed.name);
    EXPECT_EQ(h.run(seed.bytes.data(), seed.bytes.size()), "");
  }
}

// Inputs cut short anywhere are inputs too: every prefix of every seed runs clean.
TEST_P(Regression, TruncatedSeedsRunClean) {
  const Harness& h = GetParam();
  for (const Seed& seed : h.seeds()) {
    const size_t step = std::max<size_t>(1, seed.bytes.size() / 24);
    for (size_t n = 0; n < seed.bytes.size(); n += step) {
      SCOPED_TRACE(seed.name + " cut to " + std::to_string(n) + " bytes");
      ASSERT_EQ(h.run(seed.bytes.data(), n), "");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Harnesses, Regression, ::testing::ValuesIn(allHarnesses()),
                         [](const ::testing::TestParamInfo<Harness>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarvo::fuzz
