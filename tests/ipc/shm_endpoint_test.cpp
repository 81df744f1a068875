// ShmEndpoint: this process is the server, ipc_test_peer the client or the
// other owner of a name.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ipc/shm_endpoint.h"
#include "ipc_test_util.h"

namespace {

using lumo::ShmEndpoint;
using lumo::ShmStatus;
using ipc_test::RunPeer;
using ipc_test::UniqueChannel;

bool HoldsNothing(const ShmEndpoint& ep) {
  return ep.serverEvent.handle == nullptr && ep.serverEvent.name == nullptr && ep.clientEvent.handle == nullptr &&
         ep.clientEvent.name == nullptr && ep.region.mapping == nullptr && ep.region.view == nullptr &&
         ep.region.size == 0 && ep.region.name == nullptr && ep.channelName == nullptr;
}

bool EventExists(const std::string& name) {
  HANDLE h = OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
  if (h) CloseHandle(h);
  return h != nullptr;
}

// Keeps a peer that holds one kernel object alive for one test.
struct Holder {
  explicit Holder(const std::string& args) {
    started = child.Start(lumo_test::Quote(lumo_test::BinPath(L"ipc_test_peer.exe")) + L" " +
                          lumo_test::Widen(args));
    for (int i = 0; started && i < 1000 && child.Output().find("ready") == std::string::npos; ++i) Sleep(10);
  }
  bool ready() { return started && child.Output().find("ready") != std::string::npos; }
  lumo_test::ChildProcess child;  // killed by its destructor
  bool started = false;
};

TEST(ShmEndpointNames, RefusedNamesHoldNothing) {
  const std::string tooLong(243, 'q');
  for (const char* name : {static_cast<const char*>(nullptr), "", tooLong.c_str()}) {
    ShmEndpoint created = ShmEndpoint::Create(name);
    EXPECT_EQ(created.status, ShmStatus::InvalidName);
    EXPECT_TRUE(HoldsNothing(created));
    ShmEndpoint opened = ShmEndpoint::Open(name);
    EXPECT_EQ(opened.status, ShmStatus::InvalidName);
    EXPECT_TRUE(HoldsNothing(opened));
  }
  // A refused over-long name has made no object under any form of it.
  EXPECT_FALSE(EventExists(tooLong + "_server_njipc"));
  EXPECT_FALSE(EventExists(tooLong.substr(0, 242) + "_server_njipc"));
  EXPECT_EQ(static_cast<int>(ShmStatus::InvalidName), 2);
}

TEST(ShmEndpointNames, LongestNameWorksAcrossProcesses) {
  const std::string name = UniqueChannel("l") + std::string(200, 'x');
  const std::string channel = name.substr(0, 242);
  ShmEndpoint server = ShmEndpoint::Create(channel.c_str());
  ASSERT_EQ(server.status, ShmStatus::Ok);
  EXPECT_STREQ(server.serverEvent.name, (channel + "_server_njipc").c_str());
  EXPECT_STREQ(server.clientEvent.name, (channel + "_client_njipc").c_str());
  EXPECT_STREQ(server.channelName, channel.c_str());
  EXPECT_EQ(server.region.size, 2048u);

  const std::string out = RunPeer("send " + channel + " text:hello");
  EXPECT_NE(out.find("open=0"), std::string::npos) << out;
  ASSERT_EQ(WaitForSingleObject(server.serverEvent.handle, 10000), WAIT_OBJECT_0);
  std::string got;
  EXPECT_TRUE(server.Read(got));
  EXPECT_EQ(got, "hello");
  server.Close();
}

// Who already holds an object of the channel's name when Create runs.
enum class NameOwner { PeerServerEvent, PeerMapping, LiveServerHere };

struct NameTakenCase {
  const char* name;
  NameOwner owner;
  ShmStatus status;
  int code;                              // the status as the host contract numbers it
  std::vector<const char*> notLeftBehind;  // objects of the refused Create that must not exist
};

class ShmEndpointNameTaken : public ::testing::TestWithParam<NameTakenCase> {};

TEST_P(ShmEndpointNameTaken, CreateIsRefusedHoldsNothingAndTheNameIsFreeAfterTheOwner) {
  const NameTakenCase& c = GetParam();
  const std::string channel = UniqueChannel("x");
  std::unique_ptr<Holder> peer;
  ShmEndpoint owner{};
  switch (c.owner) {
    case NameOwner::PeerServerEvent:
      peer.reset(new Holder("hold-event " + channel + "_server_njipc"));
      break;
    case NameOwner::PeerMapping:
      peer.reset(new Holder("hold-mapping " + channel));
      break;
    case NameOwner::LiveServerHere:
      owner = ShmEndpoint::Create(channel.c_str());
      ASSERT_EQ(owner.status, ShmStatus::Ok);
      break;
  }
  if (peer) {
    ASSERT_TRUE(peer->ready());
  }

  ShmEndpoint refused = ShmEndpoint::Create(channel.c_str());
  EXPECT_EQ(refused.status, c.status);
  EXPECT_EQ(static_cast<int>(refused.status), c.code);
  EXPECT_TRUE(HoldsNothing(refused));
  for (const char* suffix : c.notLeftBehind) {
    EXPECT_FALSE(EventExists(channel + suffix)) << suffix;
  }

  // Once the owner let go (the peer ended), the name is free again: the
  // refused Create kept nothing of it.
  peer.reset();
  if (owner.status == ShmStatus::Ok) owner.Close();
  ShmEndpoint again = ShmEndpoint::Create(channel.c_str());
  EXPECT_EQ(again.status, ShmStatus::Ok);
  if (again.status == ShmStatus::Ok) again.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Owners, ShmEndpointNameTaken,
    ::testing::Values(
        NameTakenCase{"ServerEventOfAnotherProcess", NameOwner::PeerServerEvent, ShmStatus::EventExists, 4,
                      {"_client_njipc"}},
        NameTakenCase{"MappingOfAnotherProcess", NameOwner::PeerMapping, ShmStatus::MappingExists, 11,
                      {"_server_njipc", "_client_njipc"}},
        NameTakenCase{"LiveServerOfThisProcess", NameOwner::LiveServerHere, ShmStatus::EventExists, 4, {}}),
    [](const ::testing::TestParamInfo<NameTakenCase>& info) { return info.param.name; });

TEST(ShmEndpointOpen, UncreatedChannelGives5) {
  const std::string channel = UniqueChannel("u");
  ShmEndpoint ep = ShmEndpoint::Open(channel.c_str());
  EXPECT_EQ(ep.status, ShmStatus::OpenEventFailed);
  EXPECT_EQ(static_cast<int>(ep.status), 5);
  EXPECT_TRUE(HoldsNothing(ep));
  EXPECT_NE(RunPeer("send " + channel + " text:x").find("open=5"), std::string::npos);
}

class ShmEndpointTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    channel_ = UniqueChannel("t");
    server_ = ShmEndpoint::Create(channel_.c_str());
    ASSERT_EQ(server_.status, ShmStatus::Ok);
  }
  void TearDown() override {
    if (server_.status == ShmStatus::Ok) server_.Close();
  }
  // The peer writes; returns its "write=" answer, and whether it signalled.
  std::string PeerSends(const std::string& payloadArg) {
    DWORD code = 0;
    const std::string out = RunPeer("send " + channel_ + " " + payloadArg, &code);
    EXPECT_EQ(code, 0u) << payloadArg << ": " << out;
    const size_t at = out.find("write=");
    return at == std::string::npos ? out : out.substr(at, 7);
  }
  std::string Region(size_t from, size_t count) {
    return std::string(reinterpret_cast<const char*>(server_.region.view) + from, count);
  }

  std::string channel_;
  ShmEndpoint server_{};
};

TEST_F(ShmEndpointTransfer, FullPayloadFillsToLastByteAndOneMoreIsRefused) {
  ASSERT_EQ(PeerSends("fill:2044"), "write=1");
  ASSERT_EQ(WaitForSingleObject(server_.serverEvent.handle, 10000), WAIT_OBJECT_0);
  std::string got;
  ASSERT_TRUE(server_.Read(got));
  ASSERT_EQ(got.size(), 2044u);
  EXPECT_EQ(got[2043], static_cast<char>('a' + 2043 % 26));
  EXPECT_EQ(Region(2047, 1)[0], got[2043]);

  const std::string before = Region(0, 2048);
  EXPECT_EQ(PeerSends("fill:2045"), "write=0");
  EXPECT_EQ(WaitForSingleObject(server_.serverEvent.handle, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(Region(0, 2048), before);
}

TEST_F(ShmEndpointTransfer, ShorterAfterLongerReadsOnlyTheShorter) {
  ASSERT_EQ(PeerSends("text:a_much_longer_message"), "write=1");
  ASSERT_EQ(PeerSends("text:short"), "write=1");
  std::string got;
  ASSERT_TRUE(server_.Read(got));
  EXPECT_EQ(got, "short");
  // The longer message's tail stays behind the new length.
  EXPECT_EQ(Region(4, 21), "shorth_longer_message");
  // Reading does not consume.
  std::string again;
  ASSERT_TRUE(server_.Read(again));
  EXPECT_EQ(again, "short");
}

TEST_F(ShmEndpointTransfer, EmptyPayloadAndBadStoredLengths) {
  ASSERT_EQ(PeerSends("text:"), "write=1");
  std::string got = "stale";
  EXPECT_TRUE(server_.Read(got));
  EXPECT_EQ(got, "");
  for (const char* arg : {"length:2045", "length:3000", "length:4294967295"}) {
    ASSERT_EQ(PeerSends(arg), "write=1");
    got = "stale";
    EXPECT_FALSE(server_.Read(got)) << arg;
    EXPECT_EQ(got, "");
  }
}

TEST_F(ShmEndpointTransfer, ServerRepliesIntoTheSameRegion) {
  // The server writes and the client reads back: both directions share it.
  ASSERT_TRUE(server_.Write("reply"));
  ShmEndpoint client = ShmEndpoint::Open(channel_.c_str());
  ASSERT_EQ(client.status, ShmStatus::Ok);
  std::string got;
  EXPECT_TRUE(client.Read(got));
  EXPECT_EQ(got, "reply");
  client.Close();
}

TEST(ShmEndpointClose, ClosedAndEmptyEndpointsRefuseWork) {
  const std::string channel = UniqueChannel("c");
  ShmEndpoint ep = ShmEndpoint::Create(channel.c_str());
  ASSERT_EQ(ep.status, ShmStatus::Ok);
  ep.Close();
  EXPECT_EQ(ep.status, ShmStatus::Ok);
  EXPECT_TRUE(HoldsNothing(ep));
  std::string got = "stale";
  EXPECT_FALSE(ep.Write("x"));
  EXPECT_FALSE(ep.Read(got));
  EXPECT_EQ(got, "");
  ep.Close();  // a second close does nothing
  EXPECT_TRUE(HoldsNothing(ep));
  EXPECT_FALSE(EventExists(channel + "_server_njipc"));

  ShmEndpoint empty{};
  EXPECT_FALSE(empty.Write("x"));
  EXPECT_FALSE(empty.Read(got));
}

}  // namespace
