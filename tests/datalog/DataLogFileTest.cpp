#include "acquisition/datalog/DataLogFile.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <string>
#include <vector>

#include "../services/TestDirs.h"

namespace tarvo {
namespace {

using tarvo::testing::readFileText;
using tarvo::testing::TempDir;

// 2023-11-14 22:13:20 UTC
constexpr int64_t START_MS = 1'700'000'000'000;

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == sep) {
      out.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return out;
}

// The lines of a file; every line must end in "\n".
std::vector<std::string> linesOf(const std::string& path) {
  const std::string text = readFileText(path);
  if (text.empty()) return {};
  EXPECT_EQ(text.back(), '\n');
  auto lines = split(text.substr(0, text.size() - 1), '\n');
  return lines;
}

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

DeviceInfo generation(int code) {
  DeviceInfo d;
  d.generationCode = static_cast<uint8_t>(code);
  if (code == 2 || code == 6) {
    d.timebaseTable.assign(TIMEBASE_TABLE.begin(), TIMEBASE_TABLE.end());
    d.rollTimebaseCount = 4;
    d.rollTimebaseCode = 4;
    d.powerCapable = true;
  }
  if (code == 2) {
    d.band1BinsShown = 96;
    d.powerSamplesPerTrace = 240;
    d.powerMinDbm = -40.0f;
    d.powerMaxDbm = 0.0f;
  } else {
    d.band1BinsShown = 245;
    d.band1BinsPerSweep = 256;
    d.powerSamplesPerTrace = code == 6 ? 1000 : 0;
    d.powerMinDbm = code == 6 ? -80.0f : notAvailable();
    d.powerMaxDbm = code == 6 ? 0.0f : notAvailable();
  }
  if (code == 7) {
    d.band2BinsShown = 512;
    d.band2BinsPerSweep = 512;
  }
  return d;
}

std::vector<float> ramp(int n, float start) {
  std::vector<float> v(n);
  for (int i = 0; i < n; ++i) v[i] = start + 0.25f * (i % 100);
  return v;
}

class DataLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    savedTz = tz ? tz : "";
    hadTz = tz != nullptr;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    log.setDirectory(dir.path());
    model.setDeviceInfo(generation(6));
  }
  void TearDown() override {
    if (hadTz)
      ::setenv("TZ", savedTz.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

  void sweep(int band, const std::vector<float>& values) {
    log.sweepStored(band, values.data(), static_cast<int>(values.size()), clock.nowMs());
  }
  void requestStart() { model.runtime.dataLogState = DATALOG_START_REQUESTED; }
  std::vector<std::string> lines() { return linesOf(dir.file(filesIn(dir.path()).at(0))); }

  TempDir dir;
  AnalyzerModel model;
  eng::ManualClock clock{START_MS};
  DataLogFile log{model, clock};
  std::string savedTz;
  bool hadTz = false;
};

TEST_F(DataLogTest, SecondGenerationStartWritesHeadersFrequencyRowAndAnAbsoluteFirstRow) {
  requestStart();
  sweep(BAND_2G4, ramp(245, -90.0f));
  EXPECT_EQ(model.runtime.dataLogState, DATALOG_LOGGING);
  EXPECT_EQ(log.path(), dir.path() + "/Tarvo_20231114_221320.csv");
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"Tarvo_20231114_221320.csv"});

  clock.advanceMs(250);
  sweep(BAND_2G4, ramp(245, -80.0f));

  const auto l = lines();
  ASSERT_EQ(l.size(), 5u);
  EXPECT_EQ(l[0], "Spectrum");
  EXPECT_EQ(l[1], "Spectrum Mode :: Frequency: MHz :: Amplitude: dBm");

  const auto freq = split(l[2], ',');
  ASSERT_EQ(freq.size(), 246u);
  EXPECT_EQ(freq[0], "Freq (MHz):");
  EXPECT_EQ(freq[1], "2400.0");  // no leading space on the fine plan
  EXPECT_EQ(freq[2], "2400.4");
  EXPECT_EQ(freq[3], "2400.8");
  EXPECT_EQ(freq[4], "2401.2");
  EXPECT_EQ(freq[245], "2495.7");

  const auto first = split(l[3], ',');
  ASSERT_EQ(first.size(), 246u);
  EXPECT_EQ(first[0], "2023-11-14 22:13:20.000");
  EXPECT_EQ(first[1], "-90.0000");
  EXPECT_EQ(first[2], "-89.7500");
  EXPECT_EQ(first[245], "-79.0000");  // bin 244: -90 + 0.25 * (244 % 100)

  const auto second = split(l[4], ',');
  ASSERT_EQ(second.size(), 246u);
  EXPECT_EQ(second[0], "0.250");
  EXPECT_EQ(second[1], "-80.0000");
}

// Each frequency row value is the nearest one-decimal (or whole) number to the exact bin
// frequency, and the rows have the lengths of the plans.
TEST_F(DataLogTest, FrequencyRowsOfEveryPlan) {
  struct Case {
    const char* name;
    int band, generation;
    size_t count;
    const char* lead;
    double start, step;
    int decimals;
    const char* last;
  } cases[] = {
      {"first generation 2.4 GHz", 0, 2, 96, " ", 2400.0, 1.0, 0, "2495"},
      {"second generation 2.4 GHz", 0, 6, 245, "", 2400.0, 100.0 / 255.0, 1, "2495.7"},
      {"dual-band 2.4 GHz", 0, 7, 245, "", 2400.0, 100.0 / 255.0, 1, "2495.7"},
      {"dual-band 5 GHz", 1, 7, 512, " ", 5145.0, 715.0 / 511.0, 1, "5860.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string row = DataLogFile::frequencyRow(c.band, c.generation);
    ASSERT_FALSE(row.empty());
    EXPECT_EQ(row.back(), '\n');
    const auto f = split(row.substr(0, row.size() - 1), ',');
    ASSERT_EQ(f.size(), c.count + 1);
    EXPECT_EQ(f[0], "Freq (MHz):");
    EXPECT_EQ(f.back(), c.last);
    EXPECT_EQ(f[1].rfind(c.lead, 0), 0u);
    for (size_t i = 0; i < c.count; ++i) {
      const std::string& text = f[i + 1];
      const size_t dot = text.find('.');
      EXPECT_EQ(dot == std::string::npos ? 0 : static_cast<int>(text.size() - dot - 1), c.decimals) << text;
      const double exact = c.start + static_cast<double>(i) * c.step;
      EXPECT_LE(std::fabs(std::strtod(text.c_str(), nullptr) - exact), c.decimals ? 0.05 : 0.0) << i << ": " << text;
    }
  }
  EXPECT_EQ(DataLogFile::frequencyRow(0, 0), "");  // no accessory yet: no row
  EXPECT_EQ(DataLogFile::frequencyRow(2, 7), "");
}

TEST_F(DataLogTest, SwitchingTo5GHzStartsASectionWithoutTheModeHeader) {
  model.setDeviceInfo(generation(7));
  requestStart();
  sweep(BAND_2G4, ramp(245, -90.0f));
  clock.advanceMs(1250);
  sweep(BAND_5G, ramp(512, -95.0f));
  clock.advanceMs(1250);
  sweep(BAND_5G, ramp(512, -94.0f));
  clock.advanceMs(250);
  sweep(BAND_2G4, ramp(245, -70.0f));

  const auto l = lines();
  ASSERT_EQ(l.size(), 11u);
  EXPECT_EQ(l[4], "Spectrum");
  const auto freq = split(l[5], ',');
  ASSERT_EQ(freq.size(), 513u);
  EXPECT_EQ(freq[1], " 5145.0");
  EXPECT_EQ(freq[2], "5146.4");
  EXPECT_EQ(freq[512], "5860.0");
  auto row = split(l[6], ',');
  ASSERT_EQ(row.size(), 513u);
  EXPECT_EQ(row[0], "1.250");
  EXPECT_EQ(row[1], "-95.0000");
  EXPECT_EQ(split(l[7], ',')[0], "2.500");  // same band: no new section
  // Back to 2.4 GHz: a section again, still without the mode header.
  EXPECT_EQ(l[8], "Spectrum");
  EXPECT_EQ(split(l[9], ',').size(), 246u);
  EXPECT_EQ(split(l[9], ',')[1], "2400.0");
  EXPECT_EQ(split(l[10], ',')[0], "2.750");
}

TEST_F(DataLogTest, ConfigureAcknowledgementPutsTheModeHeaderBeforeTheNextRow) {
  model.setDeviceInfo(generation(7));
  requestStart();
  sweep(BAND_2G4, ramp(245, -90.0f));
  log.configureAcknowledged();
  clock.advanceMs(100);
  sweep(BAND_2G4, ramp(245, -90.0f));  // same kind: only the mode header line
  clock.advanceMs(100);
  sweep(BAND_2G4, ramp(245, -90.0f));  // the flag was used up
  log.configureAcknowledged();
  clock.advanceMs(100);
  sweep(BAND_5G, ramp(512, -90.0f));  // new kind: the whole section with the mode header

  const auto l = lines();
  ASSERT_EQ(l.size(), 11u);
  EXPECT_EQ(l[4], "Spectrum Mode :: Frequency: MHz :: Amplitude: dBm");
  EXPECT_EQ(split(l[5], ',')[0], "0.100");
  EXPECT_EQ(split(l[6], ',')[0], "0.200");
  EXPECT_EQ(l[7], "Spectrum");
  EXPECT_EQ(l[8], "Spectrum Mode :: Frequency: MHz :: Amplitude: dBm");
  EXPECT_EQ(split(l[9], ',').size(), 513u);
  EXPECT_EQ(split(l[10], ',')[0], "0.300");
}

TEST_F(DataLogTest, StopClosesTheFileAndWritesNoRow) {
  requestStart();
  sweep(BAND_2G4, ramp(245, -90.0f));
  ASSERT_TRUE(log.isOpen());
  const std::string path = log.path();

  model.runtime.dataLogState = DATALOG_STOP_REQUESTED;
  clock.advanceMs(200);
  sweep(BAND_2G4, ramp(245, -90.0f));
  EXPECT_EQ(model.runtime.dataLogState, DATALOG_IDLE);
  EXPECT_FALSE(log.isOpen());
  EXPECT_EQ(log.path(), "");
  EXPECT_EQ(log.logStartMs(), 0);
  EXPECT_EQ(linesOf(path).size(), 4u);

  clock.advanceMs(200);
  sweep(BAND_2G4, ramp(245, -90.0f));  // idle: nothing happens
  EXPECT_EQ(linesOf(path).size(), 4u);
  EXPECT_EQ(filesIn(dir.path()).size(), 1u);
}

TEST_F(DataLogTest, RollModeRowsAreSpacedByTheSampleInterval) {
  model.setDeviceInfo(generation(2));
  model.common.spectrumMode = 0;
  model.power.timebaseIndex = 1;  // 0.4 s/div: 4 s over 240 samples, 16.67 ms, written as 16 ms
  requestStart();
  const float batch1[] = {-50.0f, -51.0f, -52.0f};
  log.rollSamplesStored(batch1, 3, clock.nowMs());
  clock.advanceMs(100);
  const float batch2[] = {-53.0f, -54.5f};
  log.rollSamplesStored(batch2, 2, clock.nowMs());

  const std::vector<std::string> expected = {
      "Power",
      "time:,400 m,s/div, Power:,5.00 ,dBm/div,",
      "2023-11-14 22:13:20.000,-50.0000",
      "0.016,-51.0000",
      "0.032,-52.0000",
      "0.100,-53.0000",
      "0.116,-54.5000",
  };
  EXPECT_EQ(lines(), expected);
}

TEST_F(DataLogTest, PowerTracesAndTheSwitchBackToSpectrum) {
  model.common.spectrumMode = 0;
  model.power.timebaseIndex = 15;  // 10 us/div
  requestStart();
  log.powerTraceStored(ramp(1000, -70.0f).data(), 1000, clock.nowMs());
  clock.advanceMs(100);
  log.powerTraceStored(ramp(1000, -70.0f).data(), 1000, clock.nowMs());
  clock.advanceMs(100);
  model.common.spectrumMode = 1;
  sweep(BAND_2G4, ramp(245, -90.0f));

  const auto l = lines();
  ASSERT_EQ(l.size(), 7u);
  EXPECT_EQ(l[0], "Power");
  EXPECT_EQ(l[1], "time:,10 \u00B5,s/div, Power:,10.00 ,dBm/div,");
  EXPECT_EQ(split(l[2], ',').size(), 1001u);
  EXPECT_EQ(split(l[3], ',')[0], "0.100");
  EXPECT_EQ(l[4], "Spectrum");
  EXPECT_EQ(split(l[5], ',')[1], "2400.0");
  EXPECT_EQ(split(l[6], ',')[0], "0.200");
}

TEST_F(DataLogTest, NumbersUseADecimalPointInEveryLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  bool comma = false;
  for (const char* name : {"de_DE.utf8", "de_DE.UTF-8", "fr_FR.utf8", "nl_NL.utf8"}) {
    if (std::setlocale(LC_ALL, name)) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%.1f", 1.5);
      comma = std::string(buf) == "1,5";
      if (comma) break;
    }
  }
  if (!comma) {
    std::setlocale(LC_ALL, saved.c_str());
    GTEST_SKIP() << "no decimal-comma locale installed";
  }
  requestStart();
  sweep(BAND_2G4, {-87.25f, -60.5f});
  clock.advanceMs(1500);
  sweep(BAND_2G4, {-87.25f, -60.5f});
  std::setlocale(LC_ALL, saved.c_str());

  const auto l = lines();
  ASSERT_EQ(l.size(), 5u);
  EXPECT_EQ(split(l[2], ',')[2], "2400.4");
  EXPECT_EQ(l[3], "2023-11-14 22:13:20.000,-87.2500,-60.5000");
  EXPECT_EQ(l[4], "1.500,-87.2500,-60.5000");
}

TEST_F(DataLogTest, FailedWriteClosesTheFileAndDropsLaterRows) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  log.setOutputPath("/dev/full");
  requestStart();
  ::testing::internal::CaptureStderr();
  sweep(BAND_2G4, ramp(245, -90.0f));
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("/dev/full"), std::string::npos) << err;
  EXPECT_FALSE(log.isOpen());
  EXPECT_EQ(log.path(), "");
  EXPECT_EQ(model.runtime.dataLogState, DATALOG_LOGGING);

  clock.advanceMs(100);
  sweep(BAND_2G4, ramp(245, -90.0f));  // dropped, the file stays closed
  EXPECT_FALSE(log.isOpen());

  // Stopping and starting again gives a working log.
  model.runtime.dataLogState = DATALOG_STOP_REQUESTED;
  sweep(BAND_2G4, ramp(245, -90.0f));
  log.setOutputPath(dir.file("replay.csv"));
  requestStart();
  sweep(BAND_2G4, ramp(245, -90.0f));
  EXPECT_TRUE(log.isOpen());
  const auto l = linesOf(dir.file("replay.csv"));
  ASSERT_EQ(l.size(), 4u);
  EXPECT_EQ(l[0], "Spectrum");
}

TEST_F(DataLogTest, FileThatCannotBeCreatedLeavesLoggingOnWithoutAFile) {
  log.setDirectory(dir.file("no/such/dir"));
  requestStart();
  ::testing::internal::CaptureStderr();
  sweep(BAND_2G4, ramp(245, -90.0f));
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(model.runtime.dataLogState, DATALOG_LOGGING);
  EXPECT_FALSE(log.isOpen());
  sweep(BAND_2G4, ramp(245, -90.0f));
  EXPECT_TRUE(filesIn(dir.path()).empty());
}

// A restart within the same second must not truncate the log just written.
TEST_F(DataLogTest, SecondLogInTheSameSecondGetsItsOwnFile) {
  requestStart();
  sweep(BAND_2G4, ramp(245, -90.0f));
  model.runtime.dataLogState = DATALOG_STOP_REQUESTED;
  clock.advanceMs(300);
  sweep(BAND_2G4, ramp(245, -90.0f));
  requestStart();
  clock.advanceMs(300);
  sweep(BAND_2G4, ramp(245, -90.0f));
  EXPECT_EQ(filesIn(dir.path()),
            (std::vector<std::string>{"Tarvo_20231114_221320.csv", "Tarvo_20231114_221320_2.csv"}));
  EXPECT_EQ(linesOf(dir.file("Tarvo_20231114_221320.csv")).size(), 4u);
  EXPECT_EQ(linesOf(dir.file("Tarvo_20231114_221320_2.csv")).size(), 4u);
}

// Every row of a section has the column count of its frequency row, so CSV readers that take
// the first row of a section as its header accept the file.
TEST_F(DataLogTest, RowsOfASectionHaveTheFrequencyRowsColumnCount) {
  model.setDeviceInfo(generation(2));
  requestStart();
  for (int i = 0; i < 5; ++i) {
    sweep(BAND_2G4, ramp(96, -90.0f));
    clock.advanceMs(100);
  }
  const auto l = lines();
  ASSERT_EQ(l.size(), 8u);
  EXPECT_EQ(split(l[2], ',')[1], " 2400");
  for (size_t i = 3; i < l.size(); ++i) EXPECT_EQ(split(l[i], ',').size(), split(l[2], ',').size()) << i;
}

}  // namespace
}  // namespace tarvo

namespace tarvo {
namespace {

// The menu flips dataLogState and the controller acknowledges configurations on other threads
// while the packet thread logs: no row may be torn and the file must stay well formed.
TEST_F(DataLogTest, StateChangesFromOtherThreadsWhileLogging) {
  log.setOutputPath(dir.file("busy.csv"));
  std::atomic<bool> done{false};
  std::thread menu([&] {
    for (int i = 0; i < 300 && !done; ++i) {
      model.runtime.dataLogState = (i % 3 == 0) ? DATALOG_STOP_REQUESTED : DATALOG_START_REQUESTED;
      log.configureAcknowledged();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  const auto values = ramp(245, -90.0f);
  for (int i = 0; i < 400; ++i) {
    clock.advanceMs(10);
    sweep(BAND_2G4, values);
  }
  done = true;
  menu.join();
  log.stopLog();
  for (const std::string& line : linesOf(dir.file("busy.csv"))) {
    const size_t fields = split(line, ',').size();
    EXPECT_TRUE(line == "Spectrum" || line.rfind("Spectrum Mode", 0) == 0 || fields == 246u) << line.substr(0, 40);
  }
}

}  // namespace
}  // namespace tarvo
