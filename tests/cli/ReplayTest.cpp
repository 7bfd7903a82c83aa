// tarvo-cli replay run as a child process: every built-in recording (hardware row x signal x
// mode) gives a CSV whose sections are rectangular and a JSON summary a strict parser accepts;
// bad arguments and missing recordings fail with a message and a non-zero exit.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct RunResult {
  int status = -1;
  std::string output;  // stdout and stderr together
};

RunResult runCli(const std::string& arguments) {
  RunResult r;
  const std::string command = std::string(TARVO_CLI_PATH) + " " + arguments + " 2>&1";
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int w = ::pclose(p);
  r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
  return r;
}

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// --- a small CSV reader: lines split on ",", grouped into sections -----------------------------

std::vector<std::string> splitFields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

struct Section {
  std::string kind;                    // "Spectrum" or "Power"
  bool modeHeader = false;
  size_t headerColumns = 0;            // the frequency row's, or the first data row's (power)
  std::vector<std::vector<std::string>> rows;
};

// Parses the log; records a test failure for every line that breaks the layout.
std::vector<Section> readLog(const std::string& text) {
  std::vector<Section> sections;
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n') << "the last line is complete";
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    SCOPED_TRACE(::testing::Message() << "line " << lineNo);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    if (line == "Spectrum" || line == "Power") {
      sections.push_back({line, false, 0, {}});
      continue;
    }
    if (sections.empty()) {
      ADD_FAILURE() << "data before the first section header: " << line.substr(0, 60);
      continue;
    }
    Section& s = sections.back();
    if (line == "Spectrum Mode :: Frequency: MHz :: Amplitude: dBm" || line.rfind("time:,", 0) == 0) {
      s.modeHeader = true;
      continue;
    }
    const std::vector<std::string> fields = splitFields(line);
    if (line.rfind("Freq (MHz):,", 0) == 0) {
      EXPECT_EQ(s.kind, "Spectrum");
      EXPECT_TRUE(s.rows.empty()) << "frequency row after data rows";
      s.headerColumns = fields.size();
      for (size_t i = 1; i < fields.size(); ++i) {
        char* end = nullptr;
        std::strtod(fields[i].c_str(), &end);
        EXPECT_TRUE(!fields[i].empty() && *end == '\0') << "frequency \"" << fields[i] << "\"";
      }
      continue;
    }
    if (s.kind == "Spectrum") {
      EXPECT_GT(s.headerColumns, 1u) << "spectrum data row without a frequency row";
    }
    if (s.headerColumns == 0) s.headerColumns = fields.size();
    EXPECT_EQ(fields.size(), s.headerColumns) << "row " << s.rows.size() << " of a " << s.kind << " section";
    for (size_t i = 1; i < fields.size(); ++i) {
      const std::string& f = fields[i];
      char* end = nullptr;
      std::strtod(f.c_str(), &end);
      const size_t dot = f.find('.');
      if (f.empty() || *end != '\0' || dot == std::string::npos || f.size() - dot - 1 != 4) {
        ADD_FAILURE() << "value \"" << f << "\" is not a number with four decimals";
        break;
      }
    }
    s.rows.push_back(fields);
  }
  return sections;
}

// --- a strict JSON validator (RFC 8259 grammar, no extensions) ---------------------------------

class JsonValidator {
 public:
  explicit JsonValidator(const std::string& text) : s_(text) {}
  bool valid() {
    ws();
    if (!value(0)) return false;
    ws();
    return i_ == s_.size();
  }
  size_t position() const { return i_; }

 private:
  bool value(int depth) {
    if (depth > 64 || i_ >= s_.size()) return false;
    switch (s_[i_]) {
      case '{': return object(depth);
      case '[': return array(depth);
      case '"': return string();
      case 't': return literal("true");
      case 'f': return literal("false");
      case 'n': return literal("null");
      default: return number();
    }
  }
  bool object(int depth) {
    ++i_;
    ws();
    if (peek('}')) return ++i_, true;
    for (;;) {
      ws();
      if (!peek('"') || !string()) return false;
      ws();
      if (!peek(':')) return false;
      ++i_;
      ws();
      if (!value(depth + 1)) return false;
      ws();
      if (peek(',')) { ++i_; continue; }
      if (peek('}')) return ++i_, true;
      return false;
    }
  }
  bool array(int depth) {
    ++i_;
    ws();
    if (peek(']')) return ++i_, true;
    for (;;) {
      ws();
      if (!value(depth + 1)) return false;
      ws();
      if (peek(',')) { ++i_; continue; }
      if (peek(']')) return ++i_, true;
      return false;
    }
  }
  bool string() {
    ++i_;
    while (i_ < s_.size()) {
      const unsigned char c = static_cast<unsigned char>(s_[i_]);
      if (c == '"') return ++i_, true;
      if (c < 0x20) return false;
      if (c >= 0x80) return false;  // the writer escapes everything outside ASCII
      if (c == '\\') {
        if (++i_ >= s_.size()) return false;
        const char e = s_[i_];
        if (e == 'u') {
          for (int k = 0; k < 4; ++k)
            if (++i_ >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[i_]))) return false;
        } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
          return false;
        }
      }
      ++i_;
    }
    return false;
  }
  bool number() {
    const size_t start = i_;
    if (peek('-')) ++i_;
    if (peek('0')) {
      ++i_;
    } else if (digits() == 0) {
      return false;
    }
    if (peek('.')) {
      ++i_;
      if (digits() == 0) return false;
    }
    if (peek('e') || peek('E')) {
      ++i_;
      if (peek('+') || peek('-')) ++i_;
      if (digits() == 0) return false;
    }
    return i_ > start;
  }
  size_t digits() {
    size_t n = 0;
    while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_, ++n;
    return n;
  }
  bool literal(const char* word) {
    const std::string w(word);
    if (s_.compare(i_, w.size(), w) != 0) return false;
    i_ += w.size();
    return true;
  }
  bool peek(char c) const { return i_ < s_.size() && s_[i_] == c; }
  void ws() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\t' || s_[i_] == '\r')) ++i_;
  }

  const std::string& s_;
  size_t i_ = 0;
};

// The integer after "\"name\":" (the first occurrence), or -1.
long jsonInteger(const std::string& json, const std::string& name) {
  const std::string needle = "\"" + name + "\":";
  const size_t at = json.find(needle);
  if (at == std::string::npos) return -1;
  return std::strtol(json.c_str() + at + needle.size(), nullptr, 10);
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarvo-cli-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    if (!fs::exists(fs::path(TARVO_BINARY_DIR) / "res/packets/Tarvo2/Tarvo2_discover.bin"))
      GTEST_SKIP() << "the demo recordings were not built into " << TARVO_BINARY_DIR << "/res";
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

// --- every built-in recording ------------------------------------------------------------------

struct ReplayCase {
  int hardware;
  const char* mode;
  const char* band;
};

void PrintTo(const ReplayCase& c, std::ostream* os) { *os << "hardware " << c.hardware << " " << c.mode << " " << c.band; }

class ReplayBuiltIn : public CliTest, public ::testing::WithParamInterface<ReplayCase> {};

TEST_P(ReplayBuiltIn, EverySignalGivesRectangularSectionsAndValidJson) {
  const ReplayCase& c = GetParam();
  const bool power = std::string(c.mode) == "power";
  const bool band5 = std::string(c.band) == "5";
  for (const char* signal : {"none", "wifi", "dect", "dsss"}) {
    SCOPED_TRACE(signal);
    const std::string csv = path(std::string("log_") + signal + ".csv");
    const std::string json = path(std::string("summary_") + signal + ".json");
    // 130 s: past the first scan replay of the Wi-Fi recordings (the later generations wait
    // up to 110 s before their first scan frame).
    const RunResult r = runCli("replay --hardware " + std::to_string(c.hardware) + " --signal " + signal +
                               " --mode " + c.mode + " --band " + c.band + " --seconds 130 --csv " + csv +
                               " --json " + json);
    ASSERT_EQ(r.status, 0) << r.output;

    const std::vector<Section> sections = readLog(readText(csv));
    ASSERT_FALSE(sections.empty());
    EXPECT_TRUE(sections.front().modeHeader) << "a file's first section carries the mode header";
    size_t dataRows = 0;
    for (const Section& s : sections) {
      EXPECT_EQ(s.kind, power ? "Power" : "Spectrum");
      dataRows += s.rows.size();
    }
    ASSERT_GT(dataRows, 0u);

    const std::string summary = readText(json);
    JsonValidator v(summary);
    ASSERT_TRUE(v.valid()) << "invalid JSON near byte " << v.position() << ": "
                           << summary.substr(v.position() > 40 ? v.position() - 40 : 0, 80);
    if (!power) {
      // One row per stored sweep of the chosen band, every one of them logged.
      EXPECT_EQ(static_cast<long>(dataRows), jsonInteger(summary, band5 ? "band1" : "band0"));
      EXPECT_EQ(jsonInteger(summary, band5 ? "band0" : "band1"), 0);
    }
    EXPECT_EQ(jsonInteger(summary, "generationCode"), c.hardware == 0 ? 2 : c.hardware == 1 ? 6 : 7);
    if (!power && c.hardware != 0 && std::string(signal) == "wifi") {
      EXPECT_NE(summary.find("\"bssid\":"), std::string::npos) << "scan frames replayed into the list";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Recordings, ReplayBuiltIn,
                         ::testing::Values(ReplayCase{0, "spectrum", "2.4"}, ReplayCase{0, "power", "2.4"},
                                           ReplayCase{1, "spectrum", "2.4"}, ReplayCase{1, "power", "2.4"},
                                           ReplayCase{2, "spectrum", "2.4"}, ReplayCase{2, "spectrum", "5"}),
                         [](const auto& info) {
                           return "hardware" + std::to_string(info.param.hardware) + "_" + info.param.mode +
                                  (std::string(info.param.band) == "5" ? "_5GHz" : "");
                         });

// --- errors ------------------------------------------------------------------------------------

struct ErrorCase {
  const char* name;
  const char* arguments;  // "{dir}" stands for the test's temporary folder
  int status;
  const char* message;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.arguments; }

class ReplayErrors : public CliTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ReplayErrors, FailWithAMessage) {
  const ErrorCase& c = GetParam();
  fs::create_directories(dir_ / "empty");
  fs::create_directories(dir_ / "partial/packets/Tarvo2");
  std::ofstream(dir_ / "partial/packets/Tarvo2/Tarvo2_discover.bin") << "x";
  std::string args = c.arguments;
  for (size_t at; (at = args.find("{dir}")) != std::string::npos;) args.replace(at, 5, dir_.string());
  const RunResult r = runCli("replay " + args);
  EXPECT_EQ(r.status, c.status) << r.output;
  EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplayErrors,
    ::testing::Values(
        ErrorCase{"NoCsv", "--hardware 1", 2, "--csv <file> is required"},
        ErrorCase{"HardwareOutOfRange", "--hardware 3 --csv {dir}/x.csv", 2, "--hardware must be 0, 1 or 2"},
        ErrorCase{"HardwareNotANumber", "--hardware one --csv {dir}/x.csv", 2, "--hardware must be 0, 1 or 2"},
        ErrorCase{"BadSignal", "--signal radar --csv {dir}/x.csv", 2, "--signal must be"},
        ErrorCase{"BadMode", "--mode waterfall --csv {dir}/x.csv", 2, "--mode must be spectrum or power"},
        ErrorCase{"NoPowerOnDualBand", "--hardware 2 --mode power --csv {dir}/x.csv", 2, "has no power mode"},
        ErrorCase{"No5GHzOnSecondGeneration", "--hardware 1 --band 5 --csv {dir}/x.csv", 2, "has no 5 GHz band"},
        ErrorCase{"ZeroSeconds", "--seconds 0 --csv {dir}/x.csv", 2, "--seconds must be"},
        ErrorCase{"NegativeSeconds", "--seconds -5 --csv {dir}/x.csv", 2, "--seconds must be"},
        ErrorCase{"SecondsNotANumber", "--seconds 10s --csv {dir}/x.csv", 2, "--seconds must be"},
        ErrorCase{"UnknownOption", "--speed 2 --csv {dir}/x.csv", 2, "unknown option"},
        ErrorCase{"MissingValue", "--csv", 2, "--csv needs a value"},
        ErrorCase{"MissingFolder", "--recordings {dir}/nowhere --csv {dir}/x.csv", 1, "does not exist"},
        ErrorCase{"EmptyFolder", "--recordings {dir}/empty --csv {dir}/x.csv", 1,
                  "\"packets/Tarvo2/Tarvo2_discover.bin\" is missing"},
        ErrorCase{"SettingsMissing", "--recordings {dir}/partial --csv {dir}/x.csv", 1,
                  "\"packets/Tarvo2/Tarvo2_settings.bin\" is missing"},
        ErrorCase{"CsvNotWritable", "--csv {dir}/no/such/dir/x.csv", 1, "cannot write"}),
    [](const auto& info) { return std::string(info.param.name); });

// A recordings folder written by `tarvo-cli simulate` replays like the built-in one, and a
// recording shorter than one frame is refused by name.
TEST_F(CliTest, ReplaysAFolderGivenByPathAndRefusesATruncatedRecording) {
  const std::string folder = path("recordings");
  ASSERT_EQ(runCli("simulate " + folder).status, 0);
  const RunResult ok = runCli("replay --recordings " + folder + " --hardware 0 --seconds 5 --csv " + path("a.csv"));
  ASSERT_EQ(ok.status, 0) << ok.output;
  EXPECT_FALSE(readLog(readText(path("a.csv"))).empty());

  fs::resize_file(fs::path(folder) / "packets/Tarvo/Tarvo_spectrumWifi.bin", 51);
  const RunResult bad = runCli("replay --recordings " + folder + " --hardware 0 --seconds 5 --csv " + path("b.csv"));
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.output.find("less than one frame"), std::string::npos) << bad.output;
}

}  // namespace
