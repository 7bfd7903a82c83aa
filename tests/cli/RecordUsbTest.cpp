// tarvo-cli record on the real libusb path: umockdev presents an emulated accessory (the link
// tests' EmulatedUsb), the simulated accessory answers its commands and streams its frames, and
// the recorded folder replays with tarvo-cli replay. Without a device the recorder reports that
// none was found.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "CliRun.h"
#include "EmulatedUsb.h"
#include "link/LibusbTransport.h"
#include "tools/cli/Recorder.h"
#include "tools/sim/FakeAccessory.h"

namespace tarvo::cli {
namespace {

namespace fs = std::filesystem;
using namespace tarvo::clitest;
using tarvo::test::Bytes;

int64_t steadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A temporary file standing in for standard output or error.
struct Captured {
  Captured() : file(std::tmpfile()) {}
  ~Captured() { std::fclose(file); }
  std::string text() {
    std::fflush(file);
    std::rewind(file);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) s.append(buf, n);
    return s;
  }
  FILE* file;
};

class RecordUsbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarvo-record-usb-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    stopPump();
    fs::remove_all(dir_);
  }
  // Plugs an emulated accessory answered by `fake`; its streamed frames are pushed in 2048-byte
  // chunks at most (one bulk read each).
  void plugAccessory(sim::FakeAccessory& fake) {
    tarvo::test::EmulatedAccessory& acc = bus_.plug({}, [&](tarvo::test::EmulatedAccessory& a) {
      a.setResponder([&fake](const Bytes& out) { return fake.handleCommand(out.data(), out.size(), steadyMs()); });
    });
    pump_ = std::thread([this, &fake, &acc] {
      while (!stop_.load()) {
        const Bytes due = fake.pendingFrames(steadyMs());
        for (size_t at = 0; at < due.size(); at += 2048)
          acc.queueIn(Bytes(due.begin() + at, due.begin() + std::min(due.size(), at + 2048)));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
  }
  void stopPump() {
    stop_ = true;
    if (pump_.joinable()) pump_.join();
  }

  tarvo::test::EmulatedUsbBus bus_;  // outlives every libusb object of a test
  fs::path dir_;
  std::thread pump_;
  std::atomic<bool> stop_{false};
};

TEST_F(RecordUsbTest, RecordsAnEmulatedAccessoryAndTheFolderReplays) {
  sim::FakeAccessory fake(GENERATION_TARVO2);
  plugAccessory(fake);
  RecordOptions o;
  o.folder = dir_.string();
  o.seconds = 2.0;
  o.timeoutSeconds = 5.0;
  Captured out, err;
  int status;
  {
    LibusbTransport transport;
    status = recordSession(transport, o, out.file, err.file);
  }
  stopPump();
  ASSERT_EQ(status, 0) << err.text() << out.text();
  const fs::path prefix = dir_ / "packets/Tarvo2";
  EXPECT_EQ(fs::file_size(prefix / "Tarvo2_discover.bin"), 60u);
  EXPECT_EQ(fs::file_size(prefix / "Tarvo2_settings.bin"), 3u);
  const auto sweeps = fs::file_size(prefix / "Tarvo2_spectrumWifi.bin");
  EXPECT_GE(sweeps, 5u * 260u) << "a sweep every 0.2 s for 2 s";
  EXPECT_EQ(sweeps % 260u, 0u);
  EXPECT_NE(out.text().find("Tarvo2_spectrumWifi.bin"), std::string::npos);

  const std::string csv = (dir_ / "replay.csv").string();
  const RunResult r = runCli("replay --recordings " + dir_.string() + " --hardware 1 --seconds 5 --csv " + csv);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_GE(csvDataRows(readText(csv)), 10);
}

TEST_F(RecordUsbTest, NoAccessoryIsReportedAfterTheTimeout) {
  RecordOptions o;
  o.folder = dir_.string();
  o.timeoutSeconds = 0.5;
  Captured out, err;
  int status;
  const auto start = std::chrono::steady_clock::now();
  {
    LibusbTransport transport;
    status = recordSession(transport, o, out.file, err.file);
  }
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.text().find("no accessory found within 0.5 s"), std::string::npos) << err.text();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(fs::exists(dir_ / "packets"));
}

TEST_F(RecordUsbTest, AnAccessoryThatNeverAnswersIsReported) {
  sim::FakeAccessoryOptions silent;
  silent.answerDiscover = false;
  sim::FakeAccessory fake(silent);
  plugAccessory(fake);
  RecordOptions o;
  o.folder = dir_.string();
  o.timeoutSeconds = 1.0;
  Captured out, err;
  int status;
  {
    LibusbTransport transport;
    status = recordSession(transport, o, out.file, err.file);
  }
  stopPump();
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.text().find("did not answer; no discover response arrived within 1 s"), std::string::npos) << err.text();
}

}  // namespace
}  // namespace tarvo::cli

// Runs itself under umockdev-wrapper when started without it.
int main(int argc, char** argv) {
  if (!tarvo::test::underUmockdev()) {
    std::vector<char*> args;
    args.push_back(const_cast<char*>("umockdev-wrapper"));
    for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp("umockdev-wrapper", args.data());
    std::fprintf(stderr, "test_cli_record_usb: cannot run umockdev-wrapper: %s\n", std::strerror(errno));
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
