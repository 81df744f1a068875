// The IPC object in this process against real host processes: lumo-devhost
// (running an idle test_game.exe) creates the host channel and prints every
// envelope it receives, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipc/envelope.h"
#include "ipc/ipc_link.h"
#include "ipc/ipc_names.h"
#include "launch/launch_params.h"
#include "ipc/shm_layout.h"
#include "support/session.h"

using lumo_test::Session;

namespace {

// A host owning `channel`, ready once it has started its game.
std::unique_ptr<Session> StartHost(const std::string& channel) {
  auto host = std::make_unique<Session>(
      lumo_test::DevhostCommand(L"--capture=none --channel=" + lumo_test::Widen(channel), L""));
  if (host->WaitLine("[devhost] game pid=").empty()) return nullptr;
  return host;
}

// The envelopes the host has received once `count` have arrived (or a time-out).
std::vector<std::string> Received(Session& host, size_t count, DWORD timeoutMs = 10000) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  std::vector<std::string> got;
  do {
    got = lumo_test::RawEnvelopes(host);
    if (got.size() >= count) break;
    Sleep(20);
  } while (GetTickCount64() < deadline);
  return got;
}

// An envelope of exactly `size` bytes.
std::string EnvelopeOfSize(size_t size) {
  const std::string empty = lumo::BuildEnvelope("Sized", "");
  return lumo::BuildEnvelope("Sized", std::string(size - empty.size(), 'p'));
}

class IpcChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = std::string(lumo::kChannelGame) + "_chantest" + std::to_string(GetCurrentProcessId()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(link_.StartIpc(name_));
  }
  void TearDown() override { link_.StopIpc(); }

  // Queues `payload` for `target`, expecting the link to take it.
  void Send(const std::string& target, const std::string& payload) {
    EXPECT_EQ(link_.Send(target, payload), lumo::SendResult::Queued);
  }

  lumo::IpcLink link_;
  std::string name_;
};

TEST_F(IpcChannelTest, StartTwiceStartsOnceAndNameInUseFails) {
  const std::shared_ptr<lumo::CIpcSender> first = link_.sender();
  EXPECT_TRUE(link_.StartIpc(name_));
  EXPECT_EQ(link_.sender(), first);
  // Another start on the same name, as a second game would make, is refused.
  lumo::IpcLink other;
  EXPECT_FALSE(other.StartIpc(name_));
  EXPECT_FALSE(other.started());
  EXPECT_EQ(other.sender(), nullptr);
  EXPECT_FALSE(other.StartIpc(""));
}

TEST_F(IpcChannelTest, DeliversUpTo2044BytesAndSurvivesAnOversizedMessage) {
  auto host = StartHost(lumo::kChannelMain);
  ASSERT_TRUE(host);
  const std::string fits = EnvelopeOfSize(lumo::kShmMaxPayload);
  const std::string tooBig = EnvelopeOfSize(lumo::kShmMaxPayload + 1);
  const std::string after = lumo::BuildEnvelope("After", "[\"ok\"]");
  Send(lumo::kChannelMain, fits);
  ASSERT_EQ(Received(*host, 1).size(), 1u) << host->Output();
  // Refused at once rather than dropped after it was taken.
  EXPECT_EQ(link_.Send(lumo::kChannelMain, tooBig), lumo::SendResult::TooLarge);
  // An empty envelope is what a text that is not UTF-8 leaves; an empty
  // target, a missing --lumo-pipe.
  EXPECT_EQ(link_.Send(lumo::kChannelMain, ""), lumo::SendResult::EmptyEnvelope);
  EXPECT_EQ(link_.Send("", after), lumo::SendResult::NoTarget);
  Send(lumo::kChannelMain, after);  // the channel still works
  const std::vector<std::string> got = Received(*host, 2);
  ASSERT_EQ(got.size(), 2u) << host->Output();
  EXPECT_EQ(got[0], fits);
  EXPECT_EQ(got[1], after);
}

TEST_F(IpcChannelTest, MessagesWaitForAHostThatIsNotThereYet) {
  // Sent while no host has created the channel (a host restarting): kept,
  // in order, and delivered once the channel exists.
  const std::vector<std::string> sent = {lumo::BuildEnvelope("First", "1"), lumo::BuildEnvelope("Second", "2"),
                                         lumo::BuildEnvelope("Third", "3")};
  for (const std::string& message : sent) Send(lumo::kChannelTray, message);
  auto host = StartHost(lumo::kChannelTray);
  ASSERT_TRUE(host);
  EXPECT_EQ(Received(*host, sent.size()), sent) << host->Output();
}

TEST_F(IpcChannelTest, MessagesOlderThanTheGapAreDroppedWhileTheHostIsMissing) {
  const std::string stale = lumo::BuildEnvelope("Stale", "1");
  const std::string fresh = lumo::BuildEnvelope("Fresh", "2");
  Send(lumo::kChannelTray, stale);
  Sleep(static_cast<DWORD>(lumo::kHostGapKeepMs) + 500);
  Send(lumo::kChannelTray, fresh);
  auto host = StartHost(lumo::kChannelTray);
  ASSERT_TRUE(host);
  EXPECT_EQ(Received(*host, 1), std::vector<std::string>{fresh}) << host->Output();
  Sleep(300);  // nothing else follows
  EXPECT_EQ(lumo_test::RawEnvelopes(*host), std::vector<std::string>{fresh}) << host->Output();
}

TEST_F(IpcChannelTest, SendAfterCloseQueuesNothing) {
  auto host = StartHost(lumo::kChannelMain);
  ASSERT_TRUE(host);
  // Held as a send racing the stop holds it.
  const std::shared_ptr<lumo::CIpcSender> sender = link_.sender();
  link_.StopIpc(1000);
  link_.StopIpc(1000);  // idempotent
  EXPECT_EQ(sender->Queue(lumo::kChannelMain, lumo::BuildEnvelope("Late", "x")), lumo::SendResult::Closed);
  EXPECT_EQ(sender->message_loop(), nullptr);
  Sleep(500);
  EXPECT_TRUE(lumo_test::RawEnvelopes(*host).empty()) << host->Output();
}

TEST_F(IpcChannelTest, NextMessageReachesANewHostAfterTheOldOneEnded) {
  auto oldHost = StartHost(lumo::kChannelMain);
  ASSERT_TRUE(oldHost);
  Send(lumo::kChannelMain, lumo::BuildEnvelope("ToOld", "1"));
  ASSERT_EQ(Received(*oldHost, 1).size(), 1u) << oldHost->Output();
  oldHost->child().Kill();
  oldHost.reset();
  // Sent while no host is there: they wait for the next one.
  const std::vector<std::string> gap = {lumo::BuildEnvelope("Gap", "1"), lumo::BuildEnvelope("Gap", "2")};
  for (const std::string& message : gap) Send(lumo::kChannelMain, message);

  // The library drops its connection when the old host's process ends; only
  // then are the channel's objects gone and a new host can create them.
  std::unique_ptr<Session> newHost;
  for (int attempt = 0; attempt < 50 && !newHost; ++attempt) {
    auto candidate = std::make_unique<Session>(lumo_test::DevhostCommand(L"--capture=none", L""));
    if (!candidate->WaitLine("[devhost] game pid=", 10000).empty()) {
      newHost = std::move(candidate);
    } else {
      Sleep(100);
    }
  }
  ASSERT_TRUE(newHost) << "no new host could create the channel: the old connection was kept";
  const std::string message = lumo::BuildEnvelope("ToNew", "3");
  Send(lumo::kChannelMain, message);
  EXPECT_EQ(Received(*newHost, 3), (std::vector<std::string>{gap[0], gap[1], message})) << newHost->Output();
}

TEST(IpcChannel, StopEndsTheThreadsAndReleasesTheName) {
  lumo::IpcLink link;
  const std::string name = "ipc_channel_game_stoptest" + std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(link.StartIpc(name));
  EXPECT_TRUE(link.started());
  const std::shared_ptr<lumo::CIpcSender> sender = link.sender();
  ASSERT_NE(sender, nullptr);
  EXPECT_NE(sender->message_loop(), nullptr);
  link.StopIpc();
  EXPECT_FALSE(link.started());
  EXPECT_EQ(link.sender(), nullptr);
  EXPECT_EQ(sender->message_loop(), nullptr);
  EXPECT_EQ(link.Send(lumo::kChannelMain, "x"), lumo::SendResult::NotRunning);
  // The name is free again: a new start creates it anew.
  ASSERT_TRUE(link.StartIpc(name));
  link.StopIpc();
}

}  // namespace
