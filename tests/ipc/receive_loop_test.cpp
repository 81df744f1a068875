// ReceiveChannel: the loop runs on a thread of this process (the library's
// side); ipc_test_peer is the host writing into the channel. Debugger output
// is collected in-process.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "debug_output_capture.h"
#include "ipc/envelope.h"
#include "ipc/receive_channel.h"
#include "ipc_test_util.h"

namespace {

using ipc_test::RunPeer;
using lumo::ShmStatus;

class ReceiveLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    channel_ = ipc_test::UniqueChannel("r");
    part_.endpoint = lumo::ShmEndpoint::Create(channel_.c_str());
    ASSERT_EQ(part_.endpoint.status, ShmStatus::Ok);
  }
  void TearDown() override { StopLoop(); }

  void StartLoop() {
    loop_ = std::thread([this] {
      part_.ReceiveLoop();
      ended_.store(true);
    });
  }
  // Shutdown as the library does it: flag, wake, join.
  void StopLoop() {
    if (!loop_.joinable()) return;
    part_.stop.store(true);
    SetEvent(part_.endpoint.serverEvent.handle);
    loop_.join();
  }
  bool WaitEnded(DWORD ms) {
    for (DWORD waited = 0; waited < ms && !ended_.load(); waited += 10) Sleep(10);
    if (ended_.load() && loop_.joinable()) loop_.join();
    return ended_.load();
  }
  std::string Send(const std::string& arg, int replyMs = 0) {
    return RunPeer("send " + channel_ + " " + arg + (replyMs ? " " + std::to_string(replyMs) : ""));
  }
  std::string RegionMessage() {
    std::string m;
    EXPECT_TRUE(part_.endpoint.Read(m));
    return m;
  }

  ipc_test::DebugOutputCapture capture_;
  lumo::ReceiveChannel part_;
  std::string channel_;
  std::thread loop_;
  std::atomic<bool> ended_{false};
};

TEST_F(ReceiveLoop, WellFormedMessageGivesExactlyTwoLinesAndNoReply) {
  StartLoop();
  Send("env:IpcMsg_Any:{}");
  ASSERT_TRUE(capture_.WaitForCount(2, 10000));
  const std::string envelope = lumo::BuildEnvelope("IpcMsg_Any", "{}");
  EXPECT_EQ(capture_.Strings(),
            (std::vector<std::string>{"[IPC recv] size=" + std::to_string(envelope.size()) +
                                          " msg=IpcMsg_Any body={}\n",
                                      "[IPC recv] no handler for msg\n"}));
  EXPECT_EQ(RegionMessage(), envelope);  // nothing written back
  EXPECT_EQ(WaitForSingleObject(part_.endpoint.clientEvent.handle, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(ended_.load());
}

TEST_F(ReceiveLoop, LongBodyIsCutAndSizeIsTheWholeEnvelope) {
  StartLoop();
  Send("envfill:M:600");
  ASSERT_TRUE(capture_.WaitForCount(2, 10000));
  const size_t envelopeSize = lumo::BuildEnvelope("M", std::string(600, 'x')).size();
  EXPECT_EQ(capture_.Strings()[0], "[IPC recv] size=" + std::to_string(envelopeSize) + " msg=M body=" +
                                       std::string(512, 'x') + "...(+88 bytes)\n");
}

TEST_F(ReceiveLoop, UnparsableMessagesAreReportedAndTheLoopGoesOn) {
  StartLoop();
  Send("text:");  // length 0
  ASSERT_TRUE(capture_.WaitForCount(1, 10000));
  Send("text:[1]");
  ASSERT_TRUE(capture_.WaitForCount(2, 10000));
  Send("env:After:x");
  ASSERT_TRUE(capture_.WaitForCount(4, 10000));
  const std::vector<std::string> lines = capture_.Strings();
  EXPECT_EQ(lines[0], "[IPC recv] parse envelope failed\n");
  EXPECT_EQ(lines[1], "[IPC recv] parse envelope failed\n");
  EXPECT_EQ(lines[2].rfind("[IPC recv] size=", 0), 0u);
  EXPECT_NE(lines[2].find(" msg=After body=x\n"), std::string::npos);
  EXPECT_FALSE(ended_.load());
}

TEST_F(ReceiveLoop, StoredLengthOverTheLimitIsSkippedSilentlyAndTheLoopGoesOn) {
  StartLoop();
  for (const char* length : {"length:2045", "length:3000", "length:4294967295"}) Send(length);
  Send("env:After:x");
  ASSERT_TRUE(capture_.WaitForCount(2, 10000));
  const std::vector<std::string> lines = capture_.Strings();
  EXPECT_EQ(lines[0].rfind("[IPC recv] size=", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(" msg=After body=x\n"), std::string::npos) << lines[0];
  EXPECT_FALSE(ended_.load());
}

TEST_F(ReceiveLoop, StopFlagThenSignalEndsWithoutReading) {
  ASSERT_TRUE(part_.endpoint.Write(lumo::BuildEnvelope("Unread", "")));
  StartLoop();
  part_.stop.store(true);
  SetEvent(part_.endpoint.serverEvent.handle);
  ASSERT_TRUE(WaitEnded(10000));
  EXPECT_TRUE(capture_.Strings().empty());
}

TEST_F(ReceiveLoop, StopFlagSetBeforeStartReturnsAtOnce) {
  part_.stop.store(true);
  part_.ReceiveLoop();  // would block forever if it waited
  EXPECT_TRUE(capture_.Strings().empty());
}

TEST_F(ReceiveLoop, HandlerReplyIsWrittenBackAndAnnouncedOnce) {
  std::atomic<int> calls{0};
  std::string seenBody;
  part_.AddHandler("Echo", [&](const std::string& body) {
    seenBody = body;
    ++calls;
    return std::string("0123456789");
  });
  StartLoop();
  const std::string out = Send("env:Echo:in-body", 10000);
  EXPECT_NE(out.find("reply=0123456789\n"), std::string::npos) << out;
  EXPECT_EQ(calls.load(), 1);
  EXPECT_EQ(seenBody, "in-body");
  EXPECT_EQ(RegionMessage(), "0123456789");
  // The peer took the one signal; none is left over.
  EXPECT_EQ(WaitForSingleObject(part_.endpoint.clientEvent.handle, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  // A handled message writes only its size line, and the loop goes on.
  ASSERT_TRUE(capture_.WaitForCount(1, 10000));
  EXPECT_EQ(capture_.Strings().size(), 1u);
  EXPECT_FALSE(ended_.load());
  // Names match exactly: another case finds no handler.
  Send("env:echo:x");
  ASSERT_TRUE(capture_.WaitForCount(3, 10000));
  EXPECT_EQ(capture_.Strings()[2], "[IPC recv] no handler for msg\n");
  EXPECT_EQ(calls.load(), 1);
}

TEST_F(ReceiveLoop, ReplyTooLongIsNotWrittenAndTheLoopGoesOn) {
  part_.AddHandler("Big", [](const std::string&) { return std::string(2045, 'r'); });
  part_.AddHandler("Echo", [](const std::string& body) { return body; });
  StartLoop();
  Send("env:Big:x");
  ASSERT_TRUE(capture_.WaitForCount(1, 10000));
  EXPECT_EQ(RegionMessage(), lumo::BuildEnvelope("Big", "x"));
  EXPECT_EQ(WaitForSingleObject(part_.endpoint.clientEvent.handle, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  const std::string out = Send("env:Echo:next", 10000);
  EXPECT_NE(out.find("reply=next"), std::string::npos) << out;
  EXPECT_FALSE(ended_.load());
}

TEST_F(ReceiveLoop, ThrowingHandlerCostsOnlyItsOwnAnswer) {
  part_.AddHandler("Throws", [](const std::string&) -> std::string { throw std::runtime_error("handler"); });
  part_.AddHandler("Echo", [](const std::string& body) { return body; });
  StartLoop();
  Send("env:Throws:x");
  ASSERT_TRUE(capture_.WaitForCount(1, 10000));
  const std::string out = Send("env:Echo:again", 10000);
  EXPECT_NE(out.find("reply=again"), std::string::npos) << out;
  EXPECT_FALSE(ended_.load());
}

TEST_F(ReceiveLoop, ReplyOfExactlyTheLimitFits) {
  part_.AddHandler("Full", [](const std::string&) { return std::string(2044, 'r'); });
  StartLoop();
  const std::string out = Send("env:Full:x", 10000);
  EXPECT_NE(out.find("reply=" + std::string(2044, 'r')), std::string::npos);
  EXPECT_FALSE(ended_.load());
}

}  // namespace
