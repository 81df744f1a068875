// The exports called from where engines and plugins call an SDK: inside
// DllMain (the loader lock held), from atexit handlers and destructors, and
// from two threads at once. Real processes: lumo-devhost as the launcher,
// test_game.exe as the game, lumo_test_plugin.dll as the plugin. No call may
// hang, and the process must end as the game and the library say.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "diag/log.h"
#include "login/verify_control.h"
#include "support/session.h"

using lumo_test::DevhostCommand;
using lumo_test::Field;
using lumo_test::Session;

namespace {

const char kVerifyOk[] =
    "{\"code\":0,\"data\":{\"uid\":5,\"appid\":\"a\",\"sid\":\"s\",\"time\":1,\"utype\":1}}";

// Far above the 2 s that each call is allowed; only a hang goes past it.
// scripts/soak.sh reports the real figures.
constexpr double kCallBoundMs = 4000;

std::vector<std::string> MessageNames(Session& s) {
  std::vector<std::string> names;
  for (const std::string& envelope : lumo_test::RawEnvelopes(s)) {
    names.push_back(nlohmann::json::parse(envelope).at("msg").get<std::string>());
  }
  return names;
}

size_t Count(const std::vector<std::string>& names, const std::string& name) {
  size_t n = 0;
  for (const std::string& each : names) n += each == name ? 1 : 0;
  return n;
}

class LoaderLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lumo_test::SetVerifyAnswer(200, kVerifyOk)) << "run the tests through scripts/test.sh";
  }
  const lumo_test::ProbeFolder game_{{L"test_game.exe", L"LumoGameSDK.dll", L"lumo_test_plugin.dll"}};
};

// Init inside a plugin's DllMain cannot start the library's threads: it
// answers in time, leaves nothing behind however often it is tried, and a
// later Init from the window thread brings up the whole session.
TEST_F(LoaderLockTest, InitInDllMainAnswersInTimeAndALaterInitWorks) {
  Session s(DevhostCommand(
      L"--no-parent --token=ll" + std::to_wstring(GetCurrentProcessId()),
      L"--after-loop-ms=30000 --steps=plugin:init-attach,plugin-free,sleep:300,counts,"
      L"plugin:init-attach,plugin-free,plugin:init-attach,plugin-free,sleep:300,counts,"
      L"init,login,pay:" + lumo_test::Widen(lumo_test::ToHex("after dllmain")) + L",uninit",
      game_.Path(L"test_game.exe")));
  ASSERT_FALSE(s.WaitLine("[game] uninit done").empty()) << s.Output();
  EXPECT_EQ(s.WaitExit(), 0u) << s.Output();
  const std::string out = s.Output();

  const std::vector<std::string> attempts = s.Find("[plugin] init-attach=");
  ASSERT_EQ(attempts.size(), 3u) << out;
  for (const std::string& attempt : attempts) {
    EXPECT_EQ(attempt.substr(0, 3), "-4 ") << out;
    EXPECT_LT(Field(" " + attempt, "ms"), kCallBoundMs) << out;
  }
  // Two more tries leave the thread and handle counts where one left them.
  const std::vector<std::string> counts = s.Find("[game] counts ");
  ASSERT_EQ(counts.size(), 2u) << out;
  EXPECT_EQ(Field(" " + counts[1], "threads"), Field(" " + counts[0], "threads")) << out;
  EXPECT_EQ(Field(" " + counts[1], "handles"), Field(" " + counts[0], "handles")) << out;

  EXPECT_EQ(s.WaitLine("[game] init="), "[game] init=0") << out;
  EXPECT_EQ(s.WaitLine("[game] login="), "[game] login=0") << out;
  EXPECT_EQ(s.WaitLine("[game] pay="), "[game] pay=0") << out;
  const std::vector<std::string> names = MessageNames(s);
  EXPECT_EQ(Count(names, "IpcMsg_GameSDK_GameWndReady"), 1u) << out;
  EXPECT_EQ(Count(names, "IpcMsg_GameSDK_ShowPay"), 1u) << out;

  const std::string log = game_.Log(L"test_game.exe");
  EXPECT_NE(log.find("could not start within 1000 ms; lumoGameInit belongs outside DllMain"), std::string::npos)
      << log;
  EXPECT_NE(log.find("Init failed err=-4 (IpcGameStartFailed)"), std::string::npos) << log;
}

// Login inside a plugin's DllMain: its request thread cannot begin while
// the loader lock is held, and WinHTTP must not run under it, so the call
// answers -12 after the thread's start bound without sending anything; a
// login from the game's thread afterwards goes through.
TEST_F(LoaderLockTest, LoginInDllMainAnswersWithoutARequestAndALaterLoginWorks) {
  const std::wstring token = L"lla" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(lumo_test::ResetVerifyServer());
  ASSERT_TRUE(lumo_test::SetVerifyAnswer(200, kVerifyOk));
  const std::wstring gate = L"lumo-ll-login-" + std::to_wstring(GetCurrentProcessId());
  HANDLE gateEvent = CreateEventW(nullptr, TRUE, FALSE, gate.c_str());
  ASSERT_NE(gateEvent, nullptr);
  Session s(DevhostCommand(L"--no-parent --token=" + token,
                           L"--after-loop-ms=30000 --steps=init,plugin:login-attach,plugin-free,wait:" + gate +
                               L",login,uninit",
                           game_.Path(L"test_game.exe")));
  const std::string attach = s.WaitLine("[plugin] login-attach=", 30000);
  // Not sent from inside DllMain, nor by the called-off thread once the
  // lock is free: the server has seen no request while the game waits.
  s.WaitLine("[game] plugin-free=", 30000);
  Sleep(500);
  lumo_test::VerifyRequestRecord seen;
  const bool asked = lumo_test::ReadLastVerifyRequest(seen);
  SetEvent(gateEvent);
  ASSERT_FALSE(attach.empty()) << s.Output();
  ASSERT_TRUE(asked);
  EXPECT_EQ(seen.tokens.count(lumo_test::Narrow(token)), 0u) << "the request ran after all";
  ASSERT_FALSE(s.WaitLine("[game] uninit done").empty()) << s.Output();
  CloseHandle(gateEvent);
  EXPECT_EQ(s.WaitExit(), 0u) << s.Output();
  const std::string out = s.Output();

  EXPECT_EQ(attach.substr(0, 26), "[plugin] login-attach=-12 ") << out;
  // The start bound is 1 s; far below the 15 s the request could take.
  const double ms = Field(attach, "ms");
  EXPECT_GE(ms, 0) << out;
  EXPECT_LT(ms, 3000) << out;
  EXPECT_EQ(s.WaitLine("[game] login="), "[game] login=0") << out;
  ASSERT_TRUE(lumo_test::ReadLastVerifyRequest(seen));
  EXPECT_EQ(seen.tokens[lumo_test::Narrow(token)], 1) << "one request, from the game's thread";

  const std::string log = game_.Log(L"test_game.exe");
  EXPECT_NE(log.find("Login cannot start the request thread within 1000 ms"), std::string::npos) << log;
  EXPECT_NE(log.find("lumoGameLogin belongs outside DllMain, or another thread held the loader lock all that time"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Login failed err=-12 (LoginVerifyFailed): the request thread could not start: call "
                     "lumoGameLogin outside DllMain (or another thread held the loader lock for 1000 ms)"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Login success"), std::string::npos) << log;
}

struct ExitPath {
  const char* name;
  const wchar_t* steps;     // after a successful init
  const char* timedLine;    // the line that reports the uninit call
  const char* timeKey;      // its time field
  DWORD exitCode;           // the process's exit code
  bool libraryEndsProcess;  // ended by the library's delayed exit, not by the game
};

class ExitPaths : public LoaderLockTest, public ::testing::WithParamInterface<ExitPath> {};

// Each path returns from lumoGameUninit in time. Where the game goes on, the
// library ends it about 3 s after the call with code 0; where the game is
// leaving already, its own exit code stands.
TEST_P(ExitPaths, UninitReturnsAndTheProcessEndsAsItShould) {
  const ExitPath& c = GetParam();
  // Embedded, so that shutdown also takes the window out of the host.
  Session s(DevhostCommand(L"--token=ex" + std::to_wstring(GetCurrentProcessId()),
                           std::wstring(L"--after-loop-ms=30000 --steps=init,") + c.steps,
                           game_.Path(L"test_game.exe")));
  ASSERT_EQ(s.WaitLine("[game] init="), "[game] init=0") << s.Output();
  const std::string timed = s.WaitLine(c.timedLine, 30000);
  const ULONGLONG returnedAt = GetTickCount64();
  ASSERT_FALSE(timed.empty()) << s.Output();
  const double took = Field(timed, c.timeKey);
  EXPECT_GE(took, 0) << timed;
  EXPECT_LT(took, kCallBoundMs) << timed;

  const DWORD code = s.WaitExit(60000);
  const ULONGLONG exitAfter = GetTickCount64() - returnedAt;
  const std::string out = s.Output();
  EXPECT_EQ(code, c.exitCode) << out;
  EXPECT_TRUE(s.Find("[game] still running").empty()) << out;
  if (c.libraryEndsProcess) {
    // 3 s after the call, which returned up to `took` ms after it began.
    EXPECT_GE(exitAfter + static_cast<ULONGLONG>(took), 2500u) << out;
    EXPECT_LT(exitAfter, 15000u) << out;
  } else {
    EXPECT_LT(exitAfter, 10000u) << out;
  }
  const std::vector<std::string> names = MessageNames(s);
  EXPECT_EQ(Count(names, "IpcMsg_GameSDK_GameWndReady"), 1u) << out;
}

const ExitPath kExitPaths[] = {
    {"FreeLibraryOfAPluginThatUninitsInDllMain", L"plugin:uninit-detach,plugin-free", "[plugin] uninit-detach-free",
     "ms", 0, true},
    {"PluginThatUninitsInDllMainAtExit", L"plugin:uninit-detach,exit:7", "[plugin] uninit-detach-exit", "ms", 7,
     false},
    {"AtexitHandler", L"atexit-uninit,exit:7", "[game] atexit ", "uninit-ms", 7, false},
    {"GlobalDestructorOfTheGame", L"dtor-uninit,exit:7", "[game] dtor ", "uninit-ms", 7, false},
    {"GlobalDestructorOfAnotherDll", L"plugin:uninit-dtor,exit:7", "[plugin] uninit-dtor", "ms", 7, false},
    {"TwoThreadsAtOnce", L"uninit-2threads", "[game] uninit-2threads ", "slowest-ms", 0, true},
};

INSTANTIATE_TEST_SUITE_P(Table, ExitPaths, ::testing::ValuesIn(kExitPaths),
                         [](const ::testing::TestParamInfo<ExitPath>& info) { return info.param.name; });

// Another process holds the log file's lock and never lets go (stopped in a
// debugger, say): the game's calls do not wait for it, the lines are dropped
// and counted, and the count is written once the lock is free again.
TEST_F(LoaderLockTest, ALogLockHeldElsewhereCostsLinesNotTime) {
  wchar_t mutexName[MAX_PATH] = {};
  lumo::MakeLogMutexName(game_.Path(L"test_game.exe").c_str(), mutexName);
  HANDLE held = CreateMutexW(nullptr, TRUE, mutexName);
  ASSERT_NE(held, nullptr);
  ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  const std::wstring gate = L"lumo-loglock-" + std::to_wstring(GetCurrentProcessId());
  HANDLE gateEvent = CreateEventW(nullptr, TRUE, FALSE, gate.c_str());
  ASSERT_NE(gateEvent, nullptr);

  // 20 calls before init: each logs its entry and its failure.
  Session s(lumo_test::Quote(game_.Path(L"test_game.exe")) + L" --steps=payburst:20,wait:" + gate +
            L",paynull,exit:0");
  const std::string burst = s.WaitLine("[game] payburst ");
  ASSERT_FALSE(burst.empty()) << s.Output();
  // Only the first line waits for the lock, for its bound.
  EXPECT_LT(Field(burst, "slowest-ms"), 1000) << burst;
  EXPECT_EQ(Field(burst, "code"), -6) << burst;
  EXPECT_TRUE(ReleaseMutex(held));
  SetEvent(gateEvent);
  EXPECT_EQ(s.WaitExit(), 0u) << s.Output();

  const std::string log = game_.Log(L"test_game.exe");
  const std::string note = "[LumoGameSDK] log: 40 line(s) dropped: another process held the log file's lock";
  const size_t at = log.find(note);
  ASSERT_NE(at, std::string::npos) << log;
  EXPECT_EQ(log.find("lumoShowPay enter"), log.find("lumoShowPay enter", at)) << "a dropped line was written";
  EXPECT_NE(log.find("lumoShowPay enter", at), std::string::npos) << log;
  CloseHandle(gateEvent);
  CloseHandle(held);
}

}  // namespace
