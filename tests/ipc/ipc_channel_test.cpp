// The IPC object in this process against real host processes: lumo-devhost
// (running an idle test_game.exe) creates the host channel and prints every
// envelope it receives, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipc/envelope.h"
#include "ipc/ipc_channel.h"
#include "ipc/ipc_names.h"
#include "ipc/shm_layout.h"
#include "support/session.h"

using lumo_test::Session;

namespace {

// A host owning `channel`, ready once it has started its game.
std::unique_ptr<Session> StartHost(const std::string& channel) {
  auto host = std::make_unique<Session>(lumo_test::Quote(lumo_test::BinPath(L"lumo-devhost.exe")) +
                                        L" --raw --capture=none --channel=" + lumo_test::Widen(channel) + L" " +
                                        lumo_test::Quote(lumo_test::BinPath(L"test_game.exe")));
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
    ASSERT_TRUE(lumo::StartIpc(block_, name_));
  }
  void TearDown() override { lumo::StopIpc(block_); }

  lumo::IpcBlock block_;
  std::string name_;
};

TEST_F(IpcChannelTest, StartTwiceStartsOnceAndNameInUseFails) {
  lumo::CIPCChannel* first = block_.channel.get();
  EXPECT_TRUE(lumo::StartIpc(block_, name_));
  EXPECT_EQ(block_.channel.get(), first);
  // Another start on the same name, as a second game would make, is refused.
  lumo::IpcBlock other;
  EXPECT_FALSE(lumo::StartIpc(other, name_));
  EXPECT_FALSE(other.ipcStarted);
  EXPECT_FALSE(lumo::StartIpc(other, ""));
}

TEST_F(IpcChannelTest, DeliversUpTo2044BytesAndSurvivesAnOversizedMessage) {
  auto host = StartHost(lumo::kChannelMain);
  ASSERT_TRUE(host);
  const std::string fits = EnvelopeOfSize(lumo::kShmMaxPayload);
  const std::string tooBig = EnvelopeOfSize(lumo::kShmMaxPayload + 1);
  const std::string after = lumo::BuildEnvelope("After", "[\"ok\"]");
  block_.channel->Send(lumo::kChannelMain, fits);
  ASSERT_EQ(Received(*host, 1).size(), 1u) << host->Output();
  block_.channel->Send(lumo::kChannelMain, tooBig);  // dropped after one reconnect
  Sleep(300);
  block_.channel->Send(lumo::kChannelMain, after);  // the channel still works
  const std::vector<std::string> got = Received(*host, 2);
  ASSERT_EQ(got.size(), 2u) << host->Output();
  EXPECT_EQ(got[0], fits);
  EXPECT_EQ(got[1], after);
}

TEST_F(IpcChannelTest, ChannelWithoutHostIsRetriedOnTheNextSend) {
  const std::string first = lumo::BuildEnvelope("First", "1");
  const std::string second = lumo::BuildEnvelope("Second", "2");
  block_.channel->Send(lumo::kChannelTray, first);  // nobody has created it: dropped
  Sleep(300);
  auto host = StartHost(lumo::kChannelTray);
  ASSERT_TRUE(host);
  block_.channel->Send(lumo::kChannelTray, second);
  const std::vector<std::string> got = Received(*host, 1);
  ASSERT_EQ(got.size(), 1u) << host->Output();
  EXPECT_EQ(got[0], second);
}

TEST_F(IpcChannelTest, SendAfterCloseQueuesNothing) {
  auto host = StartHost(lumo::kChannelMain);
  ASSERT_TRUE(host);
  block_.channel->Close();
  block_.channel->Close();  // idempotent
  block_.channel->Send(lumo::kChannelMain, lumo::BuildEnvelope("Late", "x"));
  EXPECT_EQ(block_.channel->sender.message_loop(), nullptr);
  Sleep(500);
  EXPECT_TRUE(lumo_test::RawEnvelopes(*host).empty()) << host->Output();
}

TEST_F(IpcChannelTest, NextMessageReachesANewHostAfterTheOldOneEnded) {
  auto oldHost = StartHost(lumo::kChannelMain);
  ASSERT_TRUE(oldHost);
  block_.channel->Send(lumo::kChannelMain, lumo::BuildEnvelope("ToOld", "1"));
  ASSERT_EQ(Received(*oldHost, 1).size(), 1u) << oldHost->Output();
  oldHost->child().Kill();
  oldHost.reset();

  // The library drops its connection when the old host's process ends; only
  // then are the channel's objects gone and a new host can create them.
  std::unique_ptr<Session> newHost;
  for (int attempt = 0; attempt < 50 && !newHost; ++attempt) {
    auto candidate = std::make_unique<Session>(lumo_test::Quote(lumo_test::BinPath(L"lumo-devhost.exe")) +
                                               L" --raw --capture=none " +
                                               lumo_test::Quote(lumo_test::BinPath(L"test_game.exe")));
    if (!candidate->WaitLine("[devhost] game pid=", 10000).empty()) {
      newHost = std::move(candidate);
    } else {
      Sleep(100);
    }
  }
  ASSERT_TRUE(newHost) << "no new host could create the channel: the old connection was kept";
  const std::string message = lumo::BuildEnvelope("ToNew", "2");
  block_.channel->Send(lumo::kChannelMain, message);
  const std::vector<std::string> got = Received(*newHost, 1);
  ASSERT_EQ(got.size(), 1u) << newHost->Output();
  EXPECT_EQ(got[0], message);
}

TEST(IpcChannel, ReceiveThreadEndsAndChannelIsReleasedOnStop) {
  lumo::IpcBlock block;
  const std::string name = "ipc_channel_game_stoptest" + std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(lumo::StartIpc(block, name));
  EXPECT_TRUE(block.ipcStarted);
  EXPECT_TRUE(block.receiveThread.joinable());
  EXPECT_NE(block.channel->sender.message_loop(), nullptr);
  lumo::StopIpc(block);
  EXPECT_FALSE(block.ipcStarted);
  EXPECT_FALSE(block.receiveThread.joinable());
  EXPECT_EQ(block.channel, nullptr);
  // The name is free again: a new start creates it anew.
  ASSERT_TRUE(lumo::StartIpc(block, name));
  lumo::StopIpc(block);
}

}  // namespace
