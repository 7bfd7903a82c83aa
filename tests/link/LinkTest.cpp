// The link's rules, run against a scripted transport (no USB stack): what is taken, how it is
// opened and closed, what is sent when, how removal and pausing are handled, and that an idle
// link sleeps instead of spinning.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "LinkHarness.h"
#include "ScriptedTransport.h"
#include "link/UsbIds.h"

namespace tarvo::test {
namespace {

using namespace std::chrono_literals;

constexpr uint16_t VID = ACCESSORY_VENDOR_ID;
constexpr uint16_t PID = ACCESSORY_PRODUCT_ID;
const Bytes DISCOVER = {0xAA, 0x03, 0x03};

class LinkTest : public ::testing::Test {
 protected:
  explicit LinkTest(bool hotplug = true) : transport(hotplug) {}

  void start() {
    link = std::make_unique<AccessoryCommunication>(transport);
    link->setDiagnosticStreams(out.file(), err.file());
    recorder.attach(*link);
    ASSERT_TRUE(link->start());
  }
  void TearDown() override {
    if (link) link->stop();
  }
  std::shared_ptr<ScriptedDeviceState> plugAccessory(uint8_t address, uint8_t port = 1) {
    auto d = transport.plug(VID, PID, address, port);
    transport.locked([&] {
      d->strings = {{1, "Maker"}, {2, "Analyser"}, {3, "SN0042"}};
      return 0;
    });
    return d;
  }
  std::vector<std::string> callsOf(const std::shared_ptr<ScriptedDeviceState>& d) {
    return transport.locked([&] { return d->calls; });
  }
  std::vector<Bytes> writesOf(const std::shared_ptr<ScriptedDeviceState>& d) {
    return transport.locked([&] { return d->writes; });
  }

  ScriptedTransport transport;
  CapturedStream out, err;
  LinkRecorder recorder;
  std::unique_ptr<AccessoryCommunication> link;
};

class PollingLinkTest : public LinkTest {
 protected:
  PollingLinkTest() : LinkTest(false) {}
};

// ---------------------------------------------------------------------------------------------
// Opening and closing

TEST_F(LinkTest, OpensWithStringLinesConfigurationInterfaceAndAltSetting) {
  auto d = plugAccessory(5);
  start();
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 1));
  link->stop();

  EXPECT_EQ(transport.locked([&] { return d->opens; }), 1);
  auto calls = callsOf(d);
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], "config 1");
  EXPECT_EQ(calls[1], "claim 1");
  EXPECT_EQ(calls[2], "alt 1 1");
  // Closing (stop) puts the interface back to alternate setting 0 and releases it.
  ASSERT_GE(calls.size(), 5u);
  EXPECT_EQ(calls[calls.size() - 2], "alt 1 0");
  EXPECT_EQ(calls.back(), "release 1");
  EXPECT_EQ(transport.locked([&] { return d->closes; }), 1);

  EXPECT_NE(out.text().find("    Serial Number: SN0042\n"
                            "    Manufacturer: Maker\n"
                            "    Product: Analyser\n"),
            std::string::npos)
      << out.text();
}

TEST_F(LinkTest, StringFailuresPrintTheirCodes) {
  auto d = transport.plug(VID, PID, 5);  // no strings: each request stalls
  start();
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 1));
  link->stop();
  EXPECT_NE(out.text().find("    Unable to get Serial Number: -9\n"
                            "    Unable to get Manufacturer: -9\n"
                            "    Unable to get Product Description: -9\n"),
            std::string::npos)
      << out.text();
}

TEST_F(LinkTest, EnumerationLinesArePrintedWhenTheDeviceSetChanges) {
  auto other = transport.plug(0x1234, 0x5678, 2, 3);
  transport.locked([&] {
    other->summary.deviceClass = 9;
    other->summary.deviceSubClass = 1;
    other->summary.serialNumberIndex = 0;
    return 0;
  });
  start();
  ASSERT_TRUE(recorder.waitUntil([&] { return transport.enumerations() >= 3; }));
  auto d = plugAccessory(7);
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 1));
  ASSERT_TRUE(recorder.waitUntil([&] { return transport.enumerations() >= 10; }));
  link->stop();

  const std::string first = "Bus: 1 Address: 2 Vid: 4660 Pid : 22136 Class : 9 Subclass : 1Serial : 0\n";
  const std::string second = "Bus: 1 Address: 7 Vid: " + std::to_string(VID) +
                             " Pid : 7 Class : 0 Subclass : 0Serial : 3\n";
  std::string text = out.text();
  // Once alone, then once with the accessory; not again on the passes in between.
  size_t a = text.find(first);
  ASSERT_NE(a, std::string::npos) << text;
  ASSERT_EQ(text.find(first + second, a + first.size()), text.rfind(first)) << text;
  EXPECT_EQ(text.find(second), text.rfind(second)) << text;
}

struct OpenFailureRow {
  const char* name;
  int openResult;
  int claimResult;
  int expected;
  const char* stderrMentions;
};

TEST_F(PollingLinkTest, OpenFailuresAreReportedRetriedAndExplainedOnce) {
  const OpenFailureRow rows[] = {
      {"no permission", LIBUSB_ERROR_ACCESS, 0, LIBUSB_ERROR_ACCESS, "70-tarvo.rules"},
      {"interface busy", 0, LIBUSB_ERROR_BUSY, LIBUSB_ERROR_BUSY, "LIBUSB_ERROR_BUSY"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedTransport t(false);
    CapturedStream o, e;
    LinkRecorder rec;
    auto d = t.plug(VID, PID, 9);
    t.locked([&] {
      d->openResult = row.openResult;
      d->claimResult = row.claimResult;
      return 0;
    });
    AccessoryCommunication l(t);
    l.setDiagnosticStreams(o.file(), e.file());
    rec.attach(l);
    ASSERT_TRUE(l.start());
    ASSERT_TRUE(rec.waitFor(LinkEvent::OPEN_FAILED, 3));  // offered again on later passes
    l.stop();

    EXPECT_EQ(rec.count(LinkEvent::ADDED), 0);
    EXPECT_EQ(rec.count(LinkEvent::REMOVED), 0);
    for (const auto& ev : rec.events()) EXPECT_EQ(ev.code, row.expected);
    std::string text = e.text();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find(row.stderrMentions), std::string::npos) << text;
    if (row.openResult == LIBUSB_ERROR_ACCESS) {
      EXPECT_NE(text.find("udevadm"), std::string::npos) << text;
    }
    // A handle that was opened before the claim failed is closed again.
    t.locked([&] {
      EXPECT_EQ(d->opens, d->closes);
      return 0;
    });
  }
}

// ---------------------------------------------------------------------------------------------
// Choosing a device

TEST_F(LinkTest, FilterSeesDevicesInEnumerationOrderAndTheFirstAcceptedIsTaken) {
  auto other = transport.plug(0x1234, 0x0007, 2);
  auto first = plugAccessory(3);
  auto second = plugAccessory(4);
  start();
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 1));
  std::this_thread::sleep_for(50ms);  // many passes while the first stays attached

  auto events = recorder.events();
  EXPECT_EQ(recorder.count(LinkEvent::ADDED), 1);
  EXPECT_EQ(events[0].device.address, 3);
  auto offers = recorder.offers();
  ASSERT_GE(offers.size(), 2u);
  EXPECT_EQ(offers[0].address, 2);
  EXPECT_EQ(offers[1].address, 3);
  EXPECT_EQ(transport.locked([&] { return second->opens; }), 0);
  EXPECT_EQ(transport.locked([&] { return other->opens; }), 0);

  // The second is taken once the first goes away.
  transport.unplug(first);
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 2));
  EXPECT_EQ(recorder.events().back().device.address, 4);
}

TEST_F(LinkTest, WithoutAFilterNoDeviceIsTaken) {
  auto d = plugAccessory(3);
  link = std::make_unique<AccessoryCommunication>(transport);
  link->setDiagnosticStreams(out.file(), err.file());
  ASSERT_TRUE(link->start());
  ASSERT_TRUE(recorder.waitUntil([&] { return transport.enumerations() >= 2; }));
  link->stop();
  EXPECT_EQ(transport.locked([&] { return d->opens; }), 0);
}

TEST_F(LinkTest, FilterRejectionLeavesDevicesAlone) {
  recorder.filter = [](BrenicAccessoryDevice*) { return false; };
  auto d = plugAccessory(3);
  start();
  ASSERT_TRUE(recorder.waitUntil([&] { return transport.enumerations() >= 2; }));
  link->stop();
  EXPECT_EQ(transport.locked([&] { return d->opens; }), 0);
  EXPECT_EQ(transport.liveDevices(), 0);
}

TEST_F(LinkTest, PreapprovedDeviceIsAcceptedWhateverItsIds) {
  // The filter rule itself: ids, or the preapproved flag.
  ScriptedTransport t;
  auto d = t.plug(0x1111, 0x2222, 1);
  UsbDeviceList list;
  ASSERT_EQ(t.enumerate(list), 1);
  BrenicAccessoryDevice device(std::move(list[0]), out.file());
  EXPECT_FALSE(device.matchesAccessory());
  device.preapproved = 1;
  EXPECT_TRUE(device.matchesAccessory());
}

// ---------------------------------------------------------------------------------------------
// The write queue

TEST_F(LinkTest, EnqueueRefusesEmptyCommandsAndLeavesTheBufferWithTheCaller) {
  AccessoryCommunication l(transport);
  struct Row {
    const char* name;
    bool withBuffer;
    int32_t length;
  } rows[] = {{"length 0", true, 0}, {"negative length", true, -3}, {"no buffer", false, 3}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::unique_ptr<uint8_t[]> data = row.withBuffer ? bufferOf(DISCOVER) : nullptr;
    uint8_t* raw = data.get();
    EXPECT_FALSE(l.enqueue(std::move(data), row.length, WRITE_TAG_DISCOVER));
    EXPECT_EQ(data.get(), raw);  // not taken
  }
  EXPECT_EQ(l.queuedCount(), 0u);
  auto data = bufferOf(DISCOVER);
  EXPECT_TRUE(l.enqueue(std::move(data), 3, WRITE_TAG_DISCOVER));
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(l.queuedCount(), 1u);
}

TEST_F(LinkTest, CommandsQueuedBeforeAnyDeviceGoToTheFirstThatOpensOnePerPassInOrder) {
  start();
  ASSERT_TRUE(link->enqueue(bufferOf(DISCOVER), 3, WRITE_TAG_DISCOVER));
  ASSERT_TRUE(link->enqueue(bufferOf({0xAA, 0x04, 0x02, 0x01}), 4, WRITE_TAG_CONFIGURE));
  ASSERT_TRUE(link->enqueue(bufferOf({0xAA, 0x03, 0x05}), 3, WRITE_TAG_DATA_REQUEST));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(link->queuedCount(), 3u);  // kept while nothing is attached

  auto d = plugAccessory(6);
  ASSERT_TRUE(recorder.waitFor(LinkEvent::WRITTEN, 3));
  link->stop();

  auto writes = writesOf(d);
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0], DISCOVER);
  EXPECT_EQ(writes[1], (Bytes{0xAA, 0x04, 0x02, 0x01}));
  EXPECT_EQ(writes[2], (Bytes{0xAA, 0x03, 0x05}));
  // One command, then one read, per pass.
  std::vector<std::string> io;
  for (const auto& c : callsOf(d)) {
    if (c == "W" || c == "R") io.push_back(c);
  }
  ASSERT_GE(io.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(io.begin(), io.begin() + 6),
            (std::vector<std::string>{"W", "R", "W", "R", "W", "R"}));
  std::vector<int> tags;
  for (const auto& e : recorder.events()) {
    if (e.kind == LinkEvent::WRITTEN) {
      tags.push_back(e.code);
      EXPECT_EQ(e.result, 0);
    }
  }
  EXPECT_EQ(tags, (std::vector<int>{1, 2, 3}));
}

struct WriteRow {
  const char* name;
  int maxBytesPerWrite;
  std::deque<int> results;
  size_t expectedTransfers;
  int expectedResult;
};

TEST_F(LinkTest, WritesRepeatOnTheRestUntilSentOrFailedAndTheItemIsDroppedEitherWay) {
  const Bytes command = {0xAA, 0x0A, 0x02, 1, 2, 3, 4, 5, 6, 7};
  const WriteRow rows[] = {
      {"one transfer", 64, {}, 1, 0},
      {"short transfers", 4, {}, 3, 0},  // 4 + 4 + 2
      {"failure ends it", 4, {0, LIBUSB_ERROR_PIPE}, 2, LIBUSB_ERROR_PIPE},
      {"time-out ends it", 64, {LIBUSB_ERROR_TIMEOUT}, 1, LIBUSB_ERROR_TIMEOUT},
      {"no progress ends it", 0, {}, 1, LIBUSB_ERROR_IO},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedTransport t;
    LinkRecorder rec;
    auto d = t.plug(VID, PID, 3);
    t.locked([&] {
      d->maxBytesPerWrite = row.maxBytesPerWrite;
      d->writeResults = row.results;
      return 0;
    });
    AccessoryCommunication l(t);
    l.setDiagnosticStreams(out.file(), err.file());
    rec.attach(l);
    ASSERT_TRUE(l.enqueue(bufferOf(command), static_cast<int32_t>(command.size()), 2));
    ASSERT_TRUE(l.start());
    ASSERT_TRUE(rec.waitFor(LinkEvent::WRITTEN, 1));
    std::this_thread::sleep_for(20ms);  // later passes must not send it again
    l.stop();
    auto writes = t.locked([&] { return d->writes; });
    EXPECT_EQ(writes.size(), row.expectedTransfers);
    EXPECT_EQ(rec.count(LinkEvent::WRITTEN), 1);
    EXPECT_EQ(rec.events()[1].result, row.expectedResult);
    EXPECT_EQ(rec.events()[1].code, 2);
    EXPECT_EQ(l.queuedCount(), 0u);
  }
}

TEST_F(LinkTest, EnqueueDoesNotWaitForATransferInProgress) {
  auto d = plugAccessory(3);
  std::mutex gate;
  std::atomic<bool> writing{false};
  gate.lock();
  transport.locked([&] {
    d->onWrite = [&] {
      writing = true;
      std::lock_guard<std::mutex> g(gate);  // blocks until the test opens the gate
    };
    return 0;
  });
  start();
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 1));
  ASSERT_TRUE(link->enqueue(bufferOf(DISCOVER), 3, WRITE_TAG_DISCOVER));
  ASSERT_TRUE(recorder.waitUntil([&] { return writing.load(); }));

  // The link thread is inside the OUT transfer now; the queue must still be free.
  std::atomic<bool> enqueued{false};
  std::thread producer([&] {
    enqueued = link->enqueue(bufferOf({0xAA, 0x03, 0x05}), 3, WRITE_TAG_DATA_REQUEST);
  });
  bool done = recorder.waitUntil([&] { return enqueued.load(); }, 1000ms);
  gate.unlock();
  producer.join();
  EXPECT_TRUE(done) << "enqueue blocked behind the USB write";
  ASSERT_TRUE(recorder.waitFor(LinkEvent::WRITTEN, 2));
}

// ---------------------------------------------------------------------------------------------
// Reading

TEST_F(LinkTest, ReadChunksReachTheDataCallbackIncludingBytesBeforeATimeout) {
  auto d = plugAccessory(3);
  Bytes frame(60, 0);
  frame[0] = 0xAA;
  frame[1] = 0x60;
  frame[2] = 0x06;
  transport.locked([&] {
    d->responder = [&](const Bytes& outBytes) { return outBytes == DISCOVER ? frame : Bytes{}; };
    // A read that timed out after part of a transfer had arrived.
    d->readResults.push_back({LIBUSB_ERROR_TIMEOUT, Bytes{0xAA, 0x03}});
    d->readResults.push_back({LIBUSB_ERROR_TIMEOUT, Bytes{}});
    d->readResults.push_back({LIBUSB_ERROR_IO, Bytes{}});
    return 0;
  });
  start();
  ASSERT_TRUE(recorder.waitFor(LinkEvent::DATA, 1));
  ASSERT_TRUE(link->enqueue(bufferOf(DISCOVER), 3, WRITE_TAG_DISCOVER));
  ASSERT_TRUE(recorder.waitFor(LinkEvent::DATA, 2));
  link->stop();

  Bytes expected = {0xAA, 0x03};
  expected.insert(expected.end(), frame.begin(), frame.end());
  EXPECT_EQ(recorder.received(), expected);
  EXPECT_EQ(recorder.count(LinkEvent::DATA), 2);    // empty reads deliver nothing
  EXPECT_EQ(recorder.count(LinkEvent::REMOVED), 1); // only the one from stop()
}

// ---------------------------------------------------------------------------------------------
// Removal, pause, stop

TEST_F(LinkTest, UnplugGivesExactlyOneRemovalWithReasonZero) {
  for (bool transfersNoticeFirst : {false, true}) {
    SCOPED_TRACE(transfersNoticeFirst ? "transfers fail before the enumeration drops it"
                                      : "the enumeration drops it");
    ScriptedTransport t;
    LinkRecorder rec;
    AccessoryCommunication l(t);
    l.setDiagnosticStreams(out.file(), err.file());
    rec.attach(l);
    auto d = t.plug(VID, PID, 3);
    ASSERT_TRUE(l.start());
    ASSERT_TRUE(rec.waitFor(LinkEvent::ADDED, 1));
    int readsBefore = 0;
    t.unplug(d, transfersNoticeFirst);
    readsBefore = t.locked([&] {
      return static_cast<int>(std::count(d->calls.begin(), d->calls.end(), "R"));
    });
    ASSERT_TRUE(rec.waitFor(LinkEvent::REMOVED, 1));
    int readsAfter = t.locked([&] {
      return static_cast<int>(std::count(d->calls.begin(), d->calls.end(), "R"));
    });
    // Within one pass: at most the read that was under way, or the one that found it gone.
    EXPECT_LE(readsAfter - readsBefore, 1);
    std::this_thread::sleep_for(50ms);  // still listed (first case): must not be re-taken
    if (transfersNoticeFirst) t.unplug(d);
    std::this_thread::sleep_for(20ms);
    l.stop();
    EXPECT_EQ(rec.count(LinkEvent::REMOVED), 1);
    EXPECT_EQ(rec.count(LinkEvent::ADDED), 1);
    EXPECT_EQ(rec.count(LinkEvent::OPEN_FAILED), 0);
    EXPECT_EQ(rec.events().back().code, 0);
    EXPECT_EQ(t.locked([&] { return d->closes; }), 1);
    // A device that is gone is not asked for alternate setting 0 (see BrenicAccessoryDevice).
    auto calls = t.locked([&] { return d->calls; });
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "alt 1 0"), 0);
    EXPECT_EQ(calls.back(), "release 1");
  }
}

TEST_F(LinkTest, ADeviceThatFailedItsTransfersIsTakenAgainWhenItReappears) {
  auto d = plugAccessory(3);
  start();
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 1));
  transport.unplug(d, true);
  ASSERT_TRUE(recorder.waitFor(LinkEvent::REMOVED, 1));
  transport.unplug(d);
  auto again = plugAccessory(4);  // re-plugged: a new address
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 2));
  EXPECT_EQ(recorder.events().back().device.address, 4);
}

TEST_F(LinkTest, PauseReleasesTheDeviceKeepsTheQueueAndResumeTakesItAgain) {
  auto d = plugAccessory(3);
  start();
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 1));
  link->setPaused(true);
  ASSERT_TRUE(recorder.waitFor(LinkEvent::REMOVED, 1));
  EXPECT_EQ(recorder.events().back().code, 0);
  ASSERT_TRUE(link->enqueue(bufferOf(DISCOVER), 3, WRITE_TAG_DISCOVER));
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(recorder.count(LinkEvent::ADDED), 1);  // nothing taken while paused
  EXPECT_EQ(link->queuedCount(), 1u);
  EXPECT_EQ(transport.locked([&] { return d->closes; }), 1);
  auto calls = callsOf(d);
  EXPECT_EQ(calls[calls.size() - 2], "alt 1 0");  // still attached: put back to idle

  link->setPaused(false);
  ASSERT_TRUE(recorder.waitFor(LinkEvent::WRITTEN, 1));
  EXPECT_EQ(recorder.count(LinkEvent::ADDED), 2);
  EXPECT_EQ(writesOf(d).back(), DISCOVER);
}

TEST_F(LinkTest, StopReportsTheOpenDeviceRemovedAndClosesIt) {
  auto d = plugAccessory(3);
  start();
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 1));
  link->stop();
  EXPECT_FALSE(link->running());
  EXPECT_EQ(recorder.count(LinkEvent::REMOVED), 1);
  EXPECT_EQ(transport.locked([&] { return d->closes; }), 1);
  EXPECT_EQ(transport.liveDevices(), 0);
  // And it can run again.
  ASSERT_TRUE(link->start());
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 2));
}

TEST_F(LinkTest, HundredPlugCyclesGiveOneAddAndOneRemovalEachAndLeaveNoWrapperBehind) {
  start();
  for (int i = 0; i < 100; ++i) {
    auto d = plugAccessory(static_cast<uint8_t>(2 + i % 100));
    ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, i + 1)) << "cycle " << i;
    transport.unplug(d, i % 2 == 1);
    ASSERT_TRUE(recorder.waitFor(LinkEvent::REMOVED, i + 1)) << "cycle " << i;
    transport.unplug(d);
  }
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(recorder.count(LinkEvent::ADDED), 100);
  EXPECT_EQ(recorder.count(LinkEvent::REMOVED), 100);
  EXPECT_EQ(recorder.count(LinkEvent::OPEN_FAILED), 0);
  link->stop();
  EXPECT_EQ(transport.liveDevices(), 0);
}

// ---------------------------------------------------------------------------------------------
// Idling

TEST_F(LinkTest, WithoutADeviceTheThreadSleepsUntilAHotplugEvent) {
  transport.plug(0x1234, 0x5678, 2);  // something that is not ours
  start();
  std::this_thread::sleep_for(300ms);
  // A spinning 1 ms loop would have enumerated ~300 times; idling re-checks every 500 ms.
  EXPECT_LE(transport.enumerations(), 3);
  const int timedOut = transport.waitsTimedOut();
  auto d = plugAccessory(3);
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 1));
  EXPECT_EQ(transport.waitsTimedOut(), timedOut);  // found on the event, not the re-check
}

TEST_F(PollingLinkTest, WithoutHotplugTheThreadPollsAtTheIdleInterval) {
  start();
  std::this_thread::sleep_for(300ms);
  EXPECT_LE(transport.enumerations(), 300 / AccessoryCommunication::IDLE_POLL_MS + 2);
  auto d = plugAccessory(3);
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 1, 1000ms));
}

TEST_F(PollingLinkTest, AFailingContextIsRetriedAtTheIdleInterval) {
  transport.setContextFails(true);
  auto d = plugAccessory(3);
  start();
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(recorder.count(LinkEvent::ADDED), 0);
  EXPECT_LE(transport.enumerations(), 150 / AccessoryCommunication::IDLE_POLL_MS + 2);
  transport.setContextFails(false);
  ASSERT_TRUE(recorder.waitFor(LinkEvent::ADDED, 1, 1000ms));
}

TEST_F(LinkTest, StopWakesAnIdleThreadAtOnce) {
  start();
  std::this_thread::sleep_for(20ms);  // now waiting for a device change
  link->stop();
  EXPECT_EQ(transport.waitsTimedOut(), 0);  // woken, not left to run out its 500 ms
}

// ---------------------------------------------------------------------------------------------
// The udev rule names the same ids as the code.

TEST(UdevRule, NamesTheAccessoryIds) {
  std::ifstream in(std::string(TARVO_SOURCE_DIR) + "/packaging/udev/70-tarvo.rules");
  ASSERT_TRUE(in) << "packaging/udev/70-tarvo.rules missing";
  std::stringstream ss;
  ss << in.rdbuf();
  std::string rules = ss.str();
  char vid[5], pid[5];
  std::snprintf(vid, sizeof vid, "%04x", ACCESSORY_VENDOR_ID);
  std::snprintf(pid, sizeof pid, "%04x", ACCESSORY_PRODUCT_ID);
  std::regex rule(std::string("ATTR\\{idVendor\\}==\"") + vid + "\".*ATTR\\{idProduct\\}==\"" +
                  pid + "\".*TAG\\+=\"uaccess\"");
  EXPECT_TRUE(std::regex_search(rules, rule)) << rules;
}

}  // namespace
}  // namespace tarvo::test
