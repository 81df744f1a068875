// lumo-devhost as the host of a real game process (ipc_test_game), both
// started as separate processes. Every run uses its own channel and token,
// so runs never share kernel objects.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "ipc/envelope.h"
#include "ipc/shm_endpoint.h"
#include "ipc_test_util.h"

namespace {

using lumo_test::BinPath;
using lumo_test::Quote;
using lumo_test::Widen;

struct DevhostRun {
  DWORD exitCode = 0;
  std::vector<std::string> lines;

  // The rest of the first line that starts with `prefix`, or "<missing>".
  std::string After(const std::string& prefix) const {
    for (const std::string& l : lines) {
      if (l.rfind(prefix, 0) == 0) return l.substr(prefix.size());
    }
    return "<missing>";
  }
  int IndexOf(const std::string& line) const {
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i] == line) return static_cast<int>(i);
    }
    return -1;
  }
  std::string All() const {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
  }
};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::wstring DevhostCommand(const std::string& devhostArgs, const std::string& gameArgs) {
  return Quote(BinPath(L"lumo-devhost.exe")) + L" " + Widen(devhostArgs) + L" " +
         Quote(BinPath(L"ipc_test_game.exe")) + L" " + Widen(gameArgs);
}

DevhostRun RunDevhost(const std::string& devhostArgs, const std::string& gameArgs = "") {
  DevhostRun run;
  std::string out;
  run.exitCode = lumo_test::RunProcess(DevhostCommand(devhostArgs, gameArgs), 60000, &out);
  run.lines = SplitLines(out);
  return run;
}

// A channel and a token of this run only.
struct Names {
  Names() : channel(ipc_test::UniqueChannel("host")), token(ipc_test::UniqueChannel("tok")) {}
  std::string Args() const { return "--channel=" + channel + " --token=" + token; }
  std::string GameChannel() const { return "ipc_channel_game_" + token; }
  std::string channel;
  std::string token;
};

class DevhostCapture : public ::testing::TestWithParam<const char*> {};

TEST_P(DevhostCapture, RelaysMessagesBothWaysAndShowsTheGamesDebugLines) {
  const Names n;
  const DevhostRun run = RunDevhost(std::string("--capture=") + GetParam() + " " + n.Args() +
                                    " --send=IpcMsg_Test_Hello:[1,2] --send=IpcMsg_Test_Quit:7");
  SCOPED_TRACE(run.All());
  EXPECT_EQ(run.exitCode, 7u);

  const std::string window = run.After("[devhost] window=");
  ASSERT_NE(window, "<missing>");
  EXPECT_NE(window, "0");
  EXPECT_EQ(run.After("[devhost] capture="), GetParam());
  EXPECT_EQ(run.After("[game] parent="), window);
  EXPECT_EQ(run.After("[game] parent-class="), "lumoprocess_main_wnd");
  EXPECT_EQ(run.After("[game] parent-client="), "1280x720");
  EXPECT_EQ(run.After("[game] gameid="), "1");
  EXPECT_EQ(run.After("[game] lumo-pipe="), n.channel);
  EXPECT_EQ(run.After("[game] token="), n.token);

  const int ready = run.IndexOf("[devhost] recv IpcMsg_GameSDK_GameWndReady [\"1\",\"0\",\"" + n.GameChannel() + "\"]");
  const int channel = run.IndexOf("[devhost] game channel=" + n.GameChannel());
  const int sentHello = run.IndexOf("[devhost] sent IpcMsg_Test_Hello [1,2]");
  const std::string helloSize = std::to_string(lumo::BuildEnvelope("IpcMsg_Test_Hello", "[1,2]").size());
  const int hello = run.IndexOf("[devhost] debug [IPC recv] size=" + helloSize + " msg=IpcMsg_Test_Hello body=[1,2]");
  const int noHandler = run.IndexOf("[devhost] debug [IPC recv] no handler for msg");
  const std::string quitSize = std::to_string(lumo::BuildEnvelope("IpcMsg_Test_Quit", "7").size());
  const int quit = run.IndexOf("[devhost] debug [IPC recv] size=" + quitSize + " msg=IpcMsg_Test_Quit body=7");
  EXPECT_GE(ready, 0);
  EXPECT_GT(channel, ready);
  EXPECT_GT(sentHello, channel);
  EXPECT_GT(hello, ready);
  EXPECT_EQ(noHandler, hello + 1);
  EXPECT_GT(quit, noHandler);
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.back(), "[devhost] game exited code=7");
}

INSTANTIATE_TEST_SUITE_P(Modes, DevhostCapture, ::testing::Values("dbwin", "debugger"));

TEST(Devhost, FallsBackToDebuggingWhenAnotherMonitorOwnsTheDbwinBuffer) {
  // Holding the event alone marks the buffer as owned; with no mapping,
  // writers in other processes skip it and nobody waits on us.
  HANDLE owned = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
  ASSERT_NE(owned, nullptr);
  const Names n;
  const DevhostRun run = RunDevhost(n.Args() + " --send=IpcMsg_Test_Quit:5");
  CloseHandle(owned);
  SCOPED_TRACE(run.All());
  EXPECT_EQ(run.exitCode, 5u);
  EXPECT_EQ(run.After("[devhost] capture="), "debugger");
  EXPECT_NE(run.After("[devhost] debug [IPC recv] size="), "<missing>");
}

// A game that ends with an NTSTATUS (here the loader's "DLL not found",
// 0xC0000135) gets its status in hex beside the decimal, which is what the
// troubleshooting guide and Windows' own messages name; a small exit code
// keeps its plain line.
TEST(Devhost, PrintsAStatusExitCodeInHexBesideTheDecimal) {
  const Names n;
  const DevhostRun run = RunDevhost("--channel=" + n.channel + " --no-token", "--exit-now=-1073741515");
  SCOPED_TRACE(run.All());
  EXPECT_EQ(run.exitCode, 0xC0000135u);
  EXPECT_EQ(run.lines.empty() ? "" : run.lines.back(), "[devhost] game exited code=3221225781 (0xC0000135)");
}

struct OmitCase {
  std::string devhostArgs;
  std::vector<std::string> expected;  // "<window>" stands for the host window
};

class DevhostLaunch : public ::testing::TestWithParam<OmitCase> {};

TEST_P(DevhostLaunch, PassesOrOmitsEachOption) {
  const Names n;
  const DevhostRun run = RunDevhost("--channel=" + n.channel + " " + GetParam().devhostArgs, "--exit-now=3");
  SCOPED_TRACE(run.All());
  EXPECT_EQ(run.exitCode, 3u);
  EXPECT_EQ(run.lines.empty() ? "" : run.lines.back(), "[devhost] game exited code=3");
  const std::string window = run.After("[devhost] window=");
  for (std::string line : GetParam().expected) {
    const size_t at = line.find("<window>");
    if (at != std::string::npos) line.replace(at, 8, window);
    EXPECT_GE(run.IndexOf(line), 0) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DevhostLaunch,
    ::testing::Values(
        OmitCase{"--no-parent --no-token --gameid=42",
                 {"[game] parent absent", "[game] token absent", "[game] gameid=42"}},
        OmitCase{"--no-gameid --no-pipe \"--token=a b\" --size=640x480",
                 {"[game] parent=<window>", "[game] parent-client=640x480", "[game] gameid absent",
                  "[game] lumo-pipe absent", "[game] token=a b"}},
        OmitCase{"--pipe=other_pipe --parent=12345 --no-token --window-class=lumoprocess_tray_wnd",
                 {"[game] lumo-pipe=other_pipe", "[game] parent=12345", "[game] token absent"}},
        OmitCase{"--no-token --capture=none",
                 {"[devhost] capture=none", "[game] parent-class=lumoprocess_main_wnd"}}));

// The host window's DPI awareness as the game reads it from its own process,
// and the devhost's own read-back, for each --dpi-awareness.
struct DpiCase {
  const char* name;
  std::string devhostArgs;
  std::vector<std::string> accepted;  // awareness names; per-monitor v2 is refused by some systems
};

class DevhostDpi : public ::testing::TestWithParam<DpiCase> {};

TEST_P(DevhostDpi, TheHostWindowHasTheAwarenessAskedFor) {
  const Names n;
  const DevhostRun run = RunDevhost("--channel=" + n.channel + " " + GetParam().devhostArgs, "--exit-now=0");
  SCOPED_TRACE(run.All());
  EXPECT_EQ(run.exitCode, 0u);
  const std::string seen = run.After("[game] parent-dpi=");
  const std::vector<std::string>& accepted = GetParam().accepted;
  EXPECT_NE(std::find(accepted.begin(), accepted.end(), seen), accepted.end()) << seen;
  EXPECT_NE(run.After("[devhost] dpi awareness=" + seen + " hosting="), "<missing>");
  // A per-monitor window that is not v2 was refused v2, and says so.
  if (GetParam().devhostArgs == "--dpi-awareness=permonitor" && seen != "per-monitor aware v2") {
    EXPECT_NE(run.After("[devhost] dpi refused awareness=per-monitor aware v2: "), "<missing>");
  }
  // Mixed hosting is asked for unless --no-mixed-hosting: the window has it,
  // or a line says the system refused it.
  const bool noMixed = GetParam().devhostArgs.find("--no-mixed-hosting") != std::string::npos;
  const bool refusedLine = run.After("[devhost] dpi refused hosting=mixed: ") != "<missing>";
  const bool mixed = run.After("[devhost] dpi awareness=" + seen + " hosting=") == "mixed";
  EXPECT_EQ(refusedLine || mixed, !noMixed);
  // The lines every run had before stay.
  EXPECT_NE(run.After("[devhost] window="), "<missing>");
  EXPECT_NE(run.After("[devhost] game pid="), "<missing>");
}

const DpiCase kDpiCases[] = {
    {"Unaware", "--dpi-awareness=unaware", {"unaware"}},
    {"System", "--dpi-awareness=system", {"system aware"}},
    {"PerMonitor", "--dpi-awareness=permonitor", {"per-monitor aware v2", "per-monitor aware"}},
    {"SystemWithoutMixedHosting", "--dpi-awareness=system --no-mixed-hosting", {"system aware"}},
};

INSTANTIATE_TEST_SUITE_P(Table, DevhostDpi, ::testing::ValuesIn(kDpiCases),
                         [](const ::testing::TestParamInfo<DpiCase>& info) { return info.param.name; });

TEST(Devhost, KilledHostTakesTheGameWithIt) {
  const Names n;
  lumo_test::ChildProcess devhost;
  ASSERT_TRUE(devhost.Start(DevhostCommand(n.Args(), "")));
  std::string pid;
  for (int i = 0; i < 3000; ++i) {
    const DevhostRun seen{0, SplitLines(devhost.Output())};
    if (seen.After("[devhost] game channel=") != "<missing>") {
      pid = seen.After("[devhost] game pid=");
      break;
    }
    Sleep(10);
  }
  ASSERT_FALSE(pid.empty()) << devhost.Output();
  HANDLE game = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::stoul(pid)));
  ASSERT_NE(game, nullptr);
  devhost.Kill();
  EXPECT_EQ(WaitForSingleObject(game, 15000), WAIT_OBJECT_0);
  CloseHandle(game);
}

TEST(Devhost, RefusesAChannelSomeoneElseOwnsAndBadUsage) {
  const Names n;
  lumo::ShmEndpoint taken = lumo::ShmEndpoint::Create(n.channel.c_str());
  ASSERT_EQ(taken.status, lumo::ShmStatus::Ok);
  const DevhostRun run = RunDevhost(n.Args());
  EXPECT_EQ(run.exitCode, 3u);
  EXPECT_EQ(run.After("[devhost] error cannot create channel " + n.channel), " status=4") << run.All();
  taken.Close();

  std::string out;
  EXPECT_EQ(lumo_test::RunProcess(Quote(BinPath(L"lumo-devhost.exe")) + L" --size=big x.exe", 30000, &out), 2u);
  for (const wchar_t* bad : {L"--hang=soon", L"--hang=ready:", L"--hang=launch:0", L"--hang=ready:5s",
                             L"--dpi-awareness=v2", L"--dpi-awareness="}) {
    EXPECT_EQ(lumo_test::RunProcess(Quote(BinPath(L"lumo-devhost.exe")) + L" " + bad + L" x.exe", 30000, &out), 2u)
        << lumo_test::Narrow(bad);
  }
  EXPECT_EQ(lumo_test::RunProcess(Quote(BinPath(L"lumo-devhost.exe")), 30000, &out), 2u);
  EXPECT_EQ(lumo_test::RunProcess(Quote(BinPath(L"lumo-devhost.exe")) + L" --help", 30000, &out), 0u);
  for (const char* option : {"--channel=", "--window-class=", "--size=", "--parent=", "--gameid=", "--pipe=",
                             "--token=", "--no-parent", "--no-gameid", "--no-pipe", "--no-token", "--send=",
                             "--stdin", "--capture=", "--hang=", "--dpi-awareness=", "--no-mixed-hosting",
                             "--fixed-size"}) {
    EXPECT_NE(out.find(option), std::string::npos) << option;
  }
}

}  // namespace
