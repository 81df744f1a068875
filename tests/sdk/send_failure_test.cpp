// Every way a message for the host fails, through the real path (the
// exports, the link, the channel, the sender thread) with lumo-devhost as the
// launcher and a copy of test_game.exe logging beside it: the game gets its
// code, and the log holds exactly one line for the failure, naming why.
// Access denied on a host channel cannot be brought about under Wine; its
// mapping is checked in the IPC tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "login/verify_control.h"
#include "support/session.h"

using lumo_test::DevhostCommand;
using lumo_test::Session;

namespace {

const char kVerifyOk[] =
    "{\"code\":0,\"data\":{\"uid\":1,\"appid\":\"a\",\"sid\":\"s\",\"time\":1,\"utype\":1}}";

using lumo_test::FailureLines;

struct RefusalCase {
  const char* name;
  const wchar_t* hostOptions;
  std::wstring payStep;  // pay:<text in hex> or paylong:<bytes>
  const char* line;      // the one failure line
};

class SendFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lumo_test::SetVerifyAnswer(200, kVerifyOk)) << "run the tests through scripts/test.sh";
  }
};

class Refusals : public SendFailureTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusals, GameGetsMinusFiveAndTheLogOneLineWithTheCause) {
  const RefusalCase& c = GetParam();
  const lumo_test::ProbeFolder game({L"test_game.exe", L"LumoGameSDK.dll"});
  Session s(DevhostCommand(std::wstring(L"--no-parent ") + c.hostOptions,
                           L"--after-loop-ms=30000 --steps=init,login," + c.payStep + L",uninit",
                           game.Path(L"test_game.exe")));
  EXPECT_EQ(s.WaitExit(), 0u) << s.Output();
  EXPECT_EQ(s.Find("[game] pay="), std::vector<std::string>{"-5"}) << s.Output();
  const std::string log = game.Log(L"test_game.exe");
  EXPECT_EQ(FailureLines(log), std::vector<std::string>{c.line}) << log;
}

const RefusalCase kRefusals[] = {
    {"NoLumoPipe", L"--no-pipe", L"pay:7b7d",
     "ShowPay failed err=-5 (IpcPostFailed): no host channel: the command line has no --lumo-pipe"},
    {"NotUtf8", L"", L"pay:ff41", "ShowPay failed err=-5 (IpcPostFailed): the text is not valid UTF-8"},
    // One byte longer than the longest envelope a host channel carries.
    {"TooLarge", L"", L"pay:" + std::wstring(2 * 1991, L'7'),
     "ShowPay failed err=-5 (IpcPostFailed): the message is too large for a host channel (at most 2044 bytes)"},
    // Answered from the length alone: 16 MiB that would take 64 MiB escaped.
    {"SixteenMegabytes", L"", L"paylong:16777216",
     "ShowPay failed err=-5 (IpcPostFailed): the message is too large for a host channel (at most 2044 bytes)"},
};

INSTANTIATE_TEST_SUITE_P(Table, Refusals, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

struct MissingCase {
  const char* name;
  const wchar_t* steps;
  const char* lineStart;  // how each failure line begins
};

class MissingHostChannel : public SendFailureTest, public ::testing::WithParamInterface<MissingCase> {};

// The command line names a host channel that no host created: the calls
// succeed (delivery is the sender's), and the sender's lines name the cause
// and account for both messages, the window-ready and the payment.
TEST_P(MissingHostChannel, SenderNamesTheCause) {
  const MissingCase& c = GetParam();
  const std::string channel = "ipc_channel_player_gone" + std::to_string(GetCurrentProcessId());
  const lumo_test::ProbeFolder game({L"test_game.exe", L"LumoGameSDK.dll"});
  Session s(DevhostCommand(L"--no-parent --pipe=" + lumo_test::Widen(channel),
                           std::wstring(L"--after-loop-ms=30000 --steps=") + c.steps, game.Path(L"test_game.exe")));
  EXPECT_EQ(s.WaitExit(), 0u) << s.Output();
  EXPECT_EQ(s.Find("[game] pay="), std::vector<std::string>{"0"}) << s.Output();
  const std::string log = game.Log(L"test_game.exe");
  const std::vector<std::string> lines = FailureLines(log);
  ASSERT_FALSE(lines.empty()) << log;
  unsigned accounted = 0;
  for (const std::string& line : lines) {
    EXPECT_EQ(line.rfind(c.lineStart, 0), 0u) << line;
    EXPECT_NE(line.find("it does not exist: no host created it"), std::string::npos) << line;
    EXPECT_NE(line.find(channel), std::string::npos) << line;
    unsigned count = 0;
    const size_t at = line.find(" message(s)");
    ASSERT_NE(at, std::string::npos) << line;
    const size_t digits = line.find_last_not_of("0123456789", at - 1) + 1;
    ASSERT_EQ(std::sscanf(line.c_str() + digits, "%u", &count), 1) << line;
    accounted += count;
  }
  EXPECT_EQ(accounted, 2u) << log;
}

const MissingCase kMissing[] = {
    // Given up after the gap a restarting host is granted.
    {"AfterTheGap", L"init,login,pay:7b7d,sleep:7000,uninit", "IpcSender: host channel "},
    // Still waiting when the game shuts down.
    {"AtShutdown", L"init,login,pay:7b7d,uninit", "IpcSender: "},
};

INSTANTIATE_TEST_SUITE_P(Table, MissingHostChannel, ::testing::ValuesIn(kMissing),
                         [](const ::testing::TestParamInfo<MissingCase>& info) { return info.param.name; });

// Who holds an object of the game's own channel when lumoGameInit runs.
struct OwnChannelCase {
  const char* name;
  const char* suffix;  // of the object this test creates under the channel's name
};

class OwnChannelTaken : public ::testing::TestWithParam<OwnChannelCase> {};

// Init answers -4, and the line before the failure line says why: the
// channel, its token shown by length only, and that its name is held.
TEST_P(OwnChannelTaken, InitLogsWhyTheChannelCouldNotBeMade) {
  const OwnChannelCase& c = GetParam();
  const std::string token = "taken" + std::to_string(GetCurrentProcessId()) + c.name;
  const std::string channel = "ipc_channel_game_" + token;
  HANDLE held = std::string(c.suffix).empty()
                    ? CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 2048, channel.c_str())
                    : CreateEventA(nullptr, FALSE, FALSE, (channel + c.suffix).c_str());
  ASSERT_NE(held, nullptr);
  const lumo_test::ProbeFolder game({L"test_game.exe", L"LumoGameSDK.dll"});
  Session s(lumo_test::Quote(game.Path(L"test_game.exe")) + L" --lumo-pipe=lumo_test_unused --token=" +
            lumo_test::Widen(token) + L" --steps=init,exit:0");
  EXPECT_EQ(s.WaitLine("[game] init="), "[game] init=-4") << s.Output();
  EXPECT_EQ(s.WaitExit(), 0u) << s.Output();
  CloseHandle(held);
  const std::string log = game.Log(L"test_game.exe");
  const std::vector<std::string> messages = lumo_test::LogMessages(log);
  const auto failed = std::find(messages.begin(), messages.end(), "Init failed err=-4 (IpcGameStartFailed)");
  ASSERT_NE(failed, messages.end()) << log;
  ASSERT_NE(failed, messages.begin()) << log;
  EXPECT_EQ(*(failed - 1), "Init: the library's channel ipc_channel_game_<the token, " +
                               std::to_string(token.size()) +
                               " characters> cannot be created: the name is taken: another copy of this game, or "
                               "another program, holds it")
      << log;
  EXPECT_EQ(log.find(token), std::string::npos) << log;
}

const OwnChannelCase kOwnChannel[] = {
    {"ServerEvent", "_server_njipc"},
    {"Region", ""},
};

INSTANTIATE_TEST_SUITE_P(Table, OwnChannelTaken, ::testing::ValuesIn(kOwnChannel),
                         [](const ::testing::TestParamInfo<OwnChannelCase>& info) { return info.param.name; });

}  // namespace
