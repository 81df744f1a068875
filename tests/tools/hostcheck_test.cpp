// lumo-hostcheck started by lumo-devhost, as a launcher starts a game: the
// good host passes every clause, and each fault the devhost can play fails
// exactly the clause that covers it, saying why. Logins (for the payment
// burst) go to the local HTTPS verify server.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <set>
#include <string>
#include <vector>

#include "login/verify_control.h"
#include "support/test_support.h"
#include "support/text_codec.h"

namespace {

using lumo_test::BinPath;
using lumo_test::Quote;
using lumo_test::Widen;

const char kVerifyOk[] =
    "{\"code\":0,\"data\":{\"uid\":1,\"appid\":\"a\",\"sid\":\"s\",\"time\":1,\"utype\":1}}";

// Every clause a full run reports.
const std::set<std::string> kAllClauses = {
    "command-line/parent", "command-line/gameid", "command-line/lumo-pipe", "command-line/token",
    "channel/channel-objects", "channel/server-event", "channel/window-class", "window/embed",
    "window/window-thread", "window/resize", "window/dpi-modes", "messages/ready-taken", "messages/burst-taken", "shutdown/uninit"};

struct CheckRun {
  DWORD exitCode = ~0u;
  std::string output;
  nlohmann::json report;

  std::set<std::string> Ids(const char* verdict = nullptr) const {
    std::set<std::string> ids;
    for (const nlohmann::json& c : report.at("clauses")) {
      if (verdict == nullptr || c.at("result") == verdict) {
        ids.insert(c.at("group").get<std::string>() + "/" + c.at("id").get<std::string>());
      }
    }
    return ids;
  }
  std::string Observation(const std::string& clause) const {
    for (const nlohmann::json& c : report.at("clauses")) {
      if (c.at("group").get<std::string>() + "/" + c.at("id").get<std::string>() == clause) {
        return c.at("observation").get<std::string>();
      }
    }
    return "<missing>";
  }
  // The closing line of the text report, or "".
  std::string Closing() const {
    std::string found;
    for (const std::string& line : lumo_test::SplitLines(output)) {
      if (line.find(" passed, ") != std::string::npos && line.find(" failed") != std::string::npos) found = line;
    }
    return found;
  }
};

std::string UniqueToken() {
  static int counter = 0;
  return "hc" + std::to_string(GetCurrentProcessId()) + "x" + std::to_string(GetTickCount64()) + "x" +
         std::to_string(counter++);
}

// Runs `commandLine` (which must end with hostcheck's own options) with
// --json into a fresh folder, and reads the report back.
CheckRun RunCheck(const std::wstring& commandLine) {
  lumo_test::TempDir dir;
  const std::wstring json = dir.File(L"report.json");
  CheckRun run;
  run.exitCode = lumo_test::RunProcess(commandLine + L" --json " + Quote(json), 180000, &run.output);
  const std::string text = lumo_test::ReadFileBytes(json);
  run.report = nlohmann::json::parse(text.empty() ? "{\"clauses\":[]}" : text);
  return run;
}

std::wstring UnderDevhost(const std::string& devhostArgs, const std::string& checkArgs) {
  return Quote(BinPath(L"lumo-devhost.exe")) + L" --capture=none --channel=ipc_channel_main --token=" +
         Widen(UniqueToken()) + L" " + Widen(devhostArgs) + L" " + Quote(BinPath(L"lumo-hostcheck.exe")) + L" " +
         Widen(checkArgs);
}

class HostcheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lumo_test::SetVerifyAnswer(200, kVerifyOk)) << "run the tests through scripts/test.sh";
  }
};

TEST_F(HostcheckTest, TheDevelopmentHostKeepsEveryClause) {
  const CheckRun run = RunCheck(UnderDevhost("", "--burst=10"));
  SCOPED_TRACE(run.output);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.Ids(), kAllClauses);
  // Where the system cannot make a per-monitor aware v2 window (Wine), the
  // DPI clause warns "not judged" and nothing else does.
  std::set<std::string> passed = run.Ids("PASS");
  const bool dpiWarned = run.Ids("WARN") == std::set<std::string>{"window/dpi-modes"};
  if (dpiWarned) passed.insert("window/dpi-modes");
  EXPECT_EQ(passed, kAllClauses);
  EXPECT_EQ(run.Closing(), std::to_string(run.Ids("PASS").size()) + " passed, 0 failed" +
                               (dpiWarned ? ", 1 warning" : ""));
  EXPECT_EQ(run.report.at("failed"), 0);
  for (const nlohmann::json& c : run.report.at("clauses")) {
    EXPECT_EQ(c.at("section").get<std::string>().rfind("docs/host-contract.md#", 0), 0u) << c.dump();
    EXPECT_TRUE(c.at("ms").is_number()) << c.dump();
  }
}

struct FaultCase {
  const char* name;
  const char* devhostArgs;  // the fault
  const char* clause;       // the one clause that must fail
  const char* why;          // part of its observation
};

class HostFaults : public HostcheckTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(HostFaults, FailExactlyTheirClauseAndSayWhy) {
  const FaultCase& c = GetParam();
  const CheckRun run = RunCheck(UnderDevhost(c.devhostArgs, "--burst=10"));
  SCOPED_TRACE(run.output);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.Ids(), kAllClauses);
  EXPECT_EQ(run.Ids("FAIL"), std::set<std::string>{c.clause});
  EXPECT_NE(run.Observation(c.clause).find(c.why), std::string::npos) << run.Observation(c.clause);
  EXPECT_EQ(run.Closing().rfind(std::to_string(run.Ids("PASS").size()) + " passed, 1 failed", 0), 0u)
      << run.Closing();
}

const FaultCase kFaults[] = {
    {"SlowReader", "--read-delay-ms=300", "messages/burst-taken", "overwritten before the host took them"},
    {"HungWindowThread", "--hang=ready", "window/window-thread", "must keep pumping messages"},
    {"NoParent", "--no-parent", "command-line/parent", "--parent is missing"},
    {"WrongWindowClass", "--window-class=lumoprocess_tray_wnd", "channel/window-class",
     "has class lumoprocess_tray_wnd; channel ipc_channel_main needs a top-level window of class "
     "lumoprocess_main_wnd"},
    {"ChannelCreatedLate", "--channel-late-ms=1500", "channel/channel-objects",
     "did not exist when the game started"},
};

INSTANTIATE_TEST_SUITE_P(Table, HostFaults, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

// Game windows of every awareness, each in a trial process of its own,
// against host windows of each awareness the devhost can play. Wine embeds
// every pair and keeps each process's awareness, so each PASSes, or WARNs
// for the per-monitor aware v2 mode it cannot make; the observation names
// the host window's awareness as read back, and the pairs whose awareness
// Windows would reset without mixed hosting.
struct DpiHostCase {
  const char* name;
  const char* devhostArgs;
  const char* hostText;       // part of the observation
  const char* wouldReset;     // the modes Windows resets under this host window, where the system keeps them
};

class DpiModes : public HostcheckTest, public ::testing::WithParamInterface<DpiHostCase> {};

TEST_P(DpiModes, NameWhatTheHostWindowCanHost) {
  const DpiHostCase& c = GetParam();
  const CheckRun run = RunCheck(UnderDevhost(c.devhostArgs, "--only window"));
  SCOPED_TRACE(run.output);
  EXPECT_EQ(run.exitCode, 0u);
  const std::string seen = run.Observation("window/dpi-modes");
  EXPECT_NE(seen.find(c.hostText), std::string::npos) << seen;
  if (run.Ids("PASS").count("window/dpi-modes") == 1) {
    EXPECT_EQ(seen.rfind("game windows of every awareness embed and keep it: unaware, system aware, per-monitor "
                         "aware v2",
                         0),
              0u)
        << seen;
  } else {
    ASSERT_EQ(run.Ids("WARN").count("window/dpi-modes"), 1u);
    EXPECT_EQ(seen.rfind("not judged: per-monitor aware v2 (this system cannot make a window in that mode; a "
                         "per-monitor aware window in its place embeds and keeps its awareness); kept: unaware, "
                         "system aware",
                         0),
              0u)
        << seen;
  }
  // A host window without mixed hosting on a system that keeps the
  // awareness: what Windows does is named with the cure.
  if (seen.find("DPI hosting mixed") == std::string::npos) {
    EXPECT_NE(seen.find(std::string("this system kept the awareness of ") + c.wouldReset +
                        ", which Windows resets when the game is embedded into this window: launcher: create the "
                        "host window on a thread with mixed DPI hosting"),
              std::string::npos)
        << seen;
  }
}

const DpiHostCase kDpiHosts[] = {
    {"PerMonitorHost", "--dpi-awareness=permonitor", "host window per-monitor aware", "unaware, system aware"},
    {"SystemHost", "--dpi-awareness=system", "host window system aware, DPI hosting",
     "unaware, per-monitor aware"},
    {"UnawareHostWithoutMixedHosting", "--dpi-awareness=unaware --no-mixed-hosting",
     "host window unaware, DPI hosting", "system aware, per-monitor aware"},
};

INSTANTIATE_TEST_SUITE_P(Table, DpiModes, ::testing::ValuesIn(kDpiHosts),
                         [](const ::testing::TestParamInfo<DpiHostCase>& info) { return info.param.name; });

TEST_F(HostcheckTest, ResizeIsNotApplicableToAHostWindowNobodyCanResize) {
  const CheckRun run = RunCheck(UnderDevhost("--fixed-size", "--only window"));
  SCOPED_TRACE(run.output);
  EXPECT_EQ(run.Ids("PASS").count("window/resize"), 1u);
  EXPECT_EQ(run.Observation("window/resize"),
            "not applicable: the host window has neither a sizing border nor a maximize box, so a person cannot "
            "resize it");
  // Nothing re-sized it, and the other window clauses are judged as ever.
  EXPECT_EQ(run.Ids("PASS").count("window/embed"), 1u);
  EXPECT_EQ(run.Observation("window/window-thread").find("during a re-size"), std::string::npos);
  EXPECT_EQ(run.Ids("FAIL"), std::set<std::string>{});
}

TEST_F(HostcheckTest, OnlyRunsTheGroupAskedFor) {
  const CheckRun run = RunCheck(UnderDevhost("--raw", "--only command-line"));
  SCOPED_TRACE(run.output);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.Ids(), (std::set<std::string>{"command-line/parent", "command-line/gameid", "command-line/lumo-pipe",
                                              "command-line/token"}));
  // Nothing of the session ran: the game never announced its window.
  EXPECT_EQ(run.output.find("recv IpcMsg_GameSDK_GameWndReady"), std::string::npos);
}

// A channel made by the test, not by a launcher, holding a message the host
// has not taken yet (its server event signalled): the check names the kind
// of event and leaves the signal where it is.
struct EventCase {
  const char* name;
  BOOL manualReset;
  const char* serverEventResult;
  const char* why;
};

class ServerEventKinds : public ::testing::TestWithParam<EventCase> {};

TEST_P(ServerEventKinds, AreNamedWithoutTakingTheSignal) {
  const EventCase& c = GetParam();
  const std::string name = "lumo_test_hc_" + UniqueToken();
  HANDLE server = CreateEventA(nullptr, c.manualReset, FALSE, (name + "_server_njipc").c_str());
  HANDLE client = CreateEventA(nullptr, FALSE, FALSE, (name + "_client_njipc").c_str());
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 2048, name.c_str());
  ASSERT_TRUE(server && client && mapping);
  SetEvent(server);
  const CheckRun run = RunCheck(Quote(BinPath(L"lumo-hostcheck.exe")) + L" --lumo-pipe=" + Widen(name) +
                                L" --token=" + Widen(UniqueToken()) + L" --only channel");
  EXPECT_EQ(WaitForSingleObject(server, 0), WAIT_OBJECT_0);
  CloseHandle(mapping);
  CloseHandle(client);
  CloseHandle(server);
  SCOPED_TRACE(run.output);
  EXPECT_EQ(run.Ids(c.serverEventResult).count("channel/server-event"), 1u);
  EXPECT_NE(run.Observation("channel/server-event").find(c.why), std::string::npos);
  EXPECT_EQ(run.Ids("PASS").count("channel/channel-objects"), 1u);
  // A name without a host window class is allowed, with a warning.
  EXPECT_EQ(run.Ids("WARN"), std::set<std::string>{"channel/window-class"});
  EXPECT_EQ(run.exitCode, c.manualReset ? 1u : 0u);
}

const EventCase kEvents[] = {
    {"AutoReset", FALSE, "PASS", "auto-reset"},
    {"ManualReset", TRUE, "FAIL", "is a manual-reset event"},
};

INSTANTIATE_TEST_SUITE_P(Table, ServerEventKinds, ::testing::ValuesIn(kEvents),
                         [](const ::testing::TestParamInfo<EventCase>& info) { return info.param.name; });

}  // namespace
