// Fault-and-load harness: drives real games (test_game.exe through the
// library's exports) and real hosts (lumo-devhost.exe) through bursts, two
// games bursting into one launcher channel, a busy and a hung host, host
// restarts and shutdown racing payments, and prints one table of figures,
// each beside its goal. Run by scripts/soak.sh,
// which starts the local verify server that the games' logins need.
//
//   lumo_soak [--race-runs N] [--restarts N] [--only bursts|shared|hung|races|restarts|loaderlock]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ipc/envelope.h"
#include "ipc/ipc_link.h"
#include "ipc/ipc_names.h"
#include "login/verify_control.h"
#include "support/process_counts.h"
#include "support/session.h"
#include "support/test_host.h"

using lumo_test::Session;

namespace {

const char kVerifyOk[] = "{\"code\":0,\"data\":{\"uid\":1,\"appid\":\"a\",\"sid\":\"s\",\"time\":1,\"utype\":1}}";

struct Row {
  std::string figure;
  std::string value;
  std::string goal;
  bool met;
};
std::vector<Row> g_rows;

void AddRow(const std::string& figure, const std::string& value, const std::string& goal, bool met) {
  g_rows.push_back({figure, value, goal, met});
  std::fprintf(stderr, "soak: %s: %s\n", figure.c_str(), value.c_str());
}

std::string Fixed(double v, int digits = 1) {
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%.*f", digits, v);
  return buf;
}

using lumo_test::Field;

size_t CountPayments(Session& s) {
  size_t n = 0;
  for (const std::string& envelope : lumo_test::RawEnvelopes(s)) {
    if (envelope.find("IpcMsg_GameSDK_ShowPay") != std::string::npos) ++n;
  }
  return n;
}

// A game that requests `count` payments back to back from a host spending
// `delayMs` on each message; the game waits until the host has them all (or
// a minute) before it shuts down.
void Burst(int count, int delayMs) {
  const std::wstring gate = L"lumo-soak-burst-" + std::to_wstring(GetCurrentProcessId());
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, gate.c_str());
  Session s(lumo_test::DevhostCommand(L"--no-parent --read-delay-ms=" + std::to_wstring(delayMs),
                                      L"--steps=init,login,payburst:" + std::to_wstring(count) + L",wait:" + gate +
                                          L",uninit"));
  s.WaitLine("[game] payburst ", 60000);
  size_t got = 0;
  for (ULONGLONG deadline = GetTickCount64() + 60000; GetTickCount64() < deadline; Sleep(100)) {
    got = CountPayments(s);
    if (got >= static_cast<size_t>(count)) break;
  }
  Sleep(300);
  got = CountPayments(s);
  SetEvent(event);
  s.WaitExit(30000);
  CloseHandle(event);
  AddRow("burst of " + std::to_string(count) + ", host spends " + std::to_string(delayMs) + " ms: delivered/sent",
         std::to_string(got) + "/" + std::to_string(count), "all, each once", got == static_cast<size_t>(count));
}

// Two games started together on one launcher channel, each requesting
// `count` payments back to back into a host that copies the region at
// every wake and then spends `pauseMs`: each game's messages (its window-
// ready message, then its payments) must arrive once each and in order.
void TwoGamesOneChannel(int count, DWORD pauseMs) {
  const std::string pipe = "lumo_soak_shared_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(pauseMs);
  lumo_test::HostChannelReader host(pipe, pauseMs);
  const std::wstring gates = L"lumo-soak-shared-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(pauseMs);
  HANDLE start = CreateEventW(nullptr, TRUE, FALSE, (gates + L"-start").c_str());
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, (gates + L"-done").c_str());
  std::vector<std::unique_ptr<Session>> games;
  for (int g = 1; g <= 2 && host.ok(); ++g) {
    games.push_back(std::make_unique<Session>(lumo_test::SharedChannelGameCommand(
        pipe, g, L"wait:" + gates + L"-start,init,login,payburst:" + std::to_wstring(count) + L",wait:" + gates +
                     L"-done,uninit")));
    games.back()->WaitLine("[game] window=", 60000);
  }
  SetEvent(start);
  int refused = 0;
  for (auto& game : games) {
    const double taken = Field(game->WaitLine("[game] payburst ", 120000), "taken");
    refused += count - (taken < 0 ? 0 : static_cast<int>(taken));
  }
  const size_t expected = 2 * (static_cast<size_t>(count) + 1);
  for (ULONGLONG deadline = GetTickCount64() + 120000; GetTickCount64() < deadline; Sleep(100)) {
    if (host.Messages().size() >= expected) break;
  }
  Sleep(300);  // a repeat would show up now
  const std::vector<std::string> read = host.Messages();
  SetEvent(done);
  for (auto& game : games) game->WaitExit(30000);
  CloseHandle(start);
  CloseHandle(done);

  // Lost: a message of a game that never arrived; repeated: one that came
  // again; out of order: a game's messages not in the order it sent them.
  size_t lost = 0, repeated = 0;
  bool inOrder = true;
  const auto byGame = lumo_test::MessagesByGame(read);
  for (int g = 1; g <= 2; ++g) {
    std::vector<std::string> sent{"ready"};
    for (int i = 0; i < count; ++i) sent.push_back("b" + std::to_string(i));
    const auto it = byGame.find(std::to_string(g));
    const std::vector<std::string> got = it == byGame.end() ? std::vector<std::string>() : it->second;
    std::vector<std::string> distinct = got;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    repeated += got.size() - distinct.size();
    lost += sent.size() - distinct.size();
    inOrder = inOrder && got == sent;
  }
  AddRow("two games, one channel, " + std::to_string(count) + " each, host spends " + std::to_string(pauseMs) +
             " ms: lost / repeated",
         std::to_string(lost) + " / " + std::to_string(repeated) + (inOrder ? "" : ", out of order"),
         "0 / 0, in order", lost == 0 && repeated == 0 && inOrder && refused == 0 && games.size() == 2);
}

// A host that stops reading after the first message: the slowest payment
// call and the time shutdown takes with a full queue.
void HungHost() {
  Session s(lumo_test::DevhostCommand(L"--no-parent --read-delay-ms=600000",
                                      L"--after-loop-ms=30000 --steps=init,login,payburst:2000,uninit"));
  const std::string burst = s.WaitLine("[game] payburst ", 60000);
  const std::string uninit = s.WaitLine("[game] uninit-ms=", 60000);
  const DWORD code = s.WaitExit(60000);
  const double slowest = Field(burst, "slowest-ms");
  const double taken = Field(burst, "taken");
  const double uninitMs = Field(uninit, "uninit-ms");
  AddRow("host that stops reading: slowest of 2,000 lumoShowPay calls (ms)", Fixed(slowest, 3), "< 50", slowest >= 0 && slowest < 50);
  // 1,024 wait; a few more went into the region (one each 100 ms) meanwhile.
  AddRow("host that stops reading: calls taken of 2,000 (queue bound)", Fixed(taken, 0), "1,024 + a few (< 1,050)",
         taken >= 1024 && taken < 1050);
  AddRow("host that stops reading, full queue: lumoGameUninit (ms)", Fixed(uninitMs), "< 2,000",
         uninitMs >= 0 && uninitMs < 2000);
  AddRow("host that stops reading: game exit code", std::to_string(code), "0", code == 0);
}

// A launcher whose window thread stops pumping (its process and channel go
// on): before init (no embedding, the game runs on) and after it (shutdown
// still ends the process on time).
void HungWindowHost() {
  {
    Session s(lumo_test::DevhostCommand(L"--hang=launch --token=soakhungwnd", L"--steps=init,exit:5"));
    const std::string init = s.WaitLine("[game] init=", 60000);
    const double initMs = Field(s.WaitLine("[game] init-ms=", 60000), "init-ms");
    s.WaitExit(60000);
    AddRow("hung host window before init: lumoGameInit answer", init.empty() ? "none" : init.substr(12), "-3",
           init == "[game] init=-3");
    AddRow("hung host window before init: lumoGameInit (ms)", Fixed(initMs), "< 6,000 (1 s check)",
           initMs >= 0 && initMs < 6000);
  }
  const std::wstring go = L"lumo-soak-hung-go-" + std::to_wstring(GetCurrentProcessId());
  HANDLE goEvent = CreateEventW(nullptr, TRUE, FALSE, go.c_str());
  Session s(lumo_test::DevhostCommand(L"--hang=ready", L"--after-loop-ms=30000 --steps=init,wait:" + go + L",uninit"));
  s.WaitLine("[devhost] hang", 60000);
  const ULONGLONG calledAt = GetTickCount64();
  SetEvent(goEvent);
  const double uninitMs = Field(s.WaitLine("[game] uninit-ms=", 60000), "uninit-ms");
  const DWORD code = s.WaitExit(60000);
  const double exitMs = static_cast<double>(GetTickCount64() - calledAt);
  CloseHandle(goEvent);
  AddRow("hung host window after init: lumoGameUninit (ms)", Fixed(uninitMs), "< 2,000",
         uninitMs >= 0 && uninitMs < 2000);
  AddRow("hung host window after init: process ended after (ms), code", Fixed(exitMs, 0) + ", " + std::to_string(code),
         "about 3,000, 0", code == 0 && exitMs > 2500 && exitMs < 8000);
}

// lumoGameUninit inside the plugin's DllMain when `leave` unloads it (or
// ends the process): how long the call took, when the process ended after
// it, and with which code (`code`: the library's 0 three seconds after the
// call, or the game's own when it was exiting already).
void UninitInDllMain(const std::wstring& token, const std::wstring& leave, const std::string& line,
                     const std::string& when, DWORD code) {
  Session s(lumo_test::DevhostCommand(L"--token=" + token,
                                      L"--after-loop-ms=30000 --steps=init,plugin:uninit-detach," + leave));
  const std::string uninit = s.WaitLine(line, 60000);
  const ULONGLONG returnedAt = GetTickCount64();
  const DWORD exitCode = s.WaitExit(60000);
  const double ms = Field(uninit, "ms");
  const double exitMs = static_cast<double>(GetTickCount64() - returnedAt) + ms;
  AddRow("lumoGameUninit in DllMain " + when + " (ms)", Fixed(ms), "< 2,000", ms >= 0 && ms < 2000);
  const bool onTime = code == 0 ? exitMs > 2500 && exitMs < 8000 : exitMs < 5000;
  AddRow("  then the process ended after (ms), code", Fixed(exitMs, 0) + ", " + std::to_string(exitCode),
         code == 0 ? "about 3,000, 0" : "promptly, the game's " + std::to_string(code),
         exitCode == code && onTime);
}

// One export called in a plugin's DllMain at attach (`step`, "init" or
// "login"), then the same from the game's window thread: the first answer
// must be one of `answers`, the second 0, and the first within 2 s.
void AttachCall(const std::wstring& token, const std::wstring& steps, const std::string& step,
                const std::vector<std::string>& answers, const std::string& expected, const std::string& msGoal) {
  Session s(lumo_test::DevhostCommand(L"--no-parent --token=" + token, L"--after-loop-ms=30000 --steps=" + steps));
  const std::string attachPrefix = "[plugin] " + step + "-attach=";
  const std::string laterPrefix = "[game] " + step + "=";
  const std::string attach = s.WaitLine(attachPrefix, 60000);
  const std::string later = s.WaitLine(laterPrefix, 60000);
  s.WaitExit(60000);
  const double ms = Field(attach, "ms");
  const size_t at = attachPrefix.size();
  const std::string answer = attach.empty() ? "none" : attach.substr(at, attach.find(' ', at) - at);
  const std::string name = step == "init" ? "lumoGameInit" : "lumoGameLogin";
  const std::string again = step == "init" ? "Init" : "Login";
  AddRow(name + " in DllMain: answer, then " + again + " from the window thread",
         answer + ", " + (later.empty() ? "none" : later.substr(laterPrefix.size())), expected,
         std::find(answers.begin(), answers.end(), answer) != answers.end() && later == laterPrefix + "0");
  AddRow(name + " in DllMain (ms)", Fixed(ms), msGoal, ms >= 0 && ms < 2000);
}

// The exports called inside a plugin's DllMain, with the loader lock held:
// Init and Login when the plugin is loaded, Uninit when it is unloaded and
// when the process exits with it loaded.
void LoaderLock() {
  AttachCall(L"soakllinit", L"plugin:init-attach,init,uninit", "init", {"-4", "0"}, "-4 (or 0), 0", "< 2,000");
  // The request is not sent under the loader lock: the call answers -12
  // after the request thread's start bound, and a login from the game's
  // thread afterwards goes through.
  AttachCall(L"soakllogin", L"init,plugin:login-attach,login,uninit", "login", {"-12"}, "-12, 0",
             "about 1,000 (< 2,000)");
  UninitInDllMain(L"soakllfree", L"plugin-free", "[plugin] uninit-detach-free", "on FreeLibrary", 0);
  UninitInDllMain(L"soakllexit", L"exit:7", "[plugin] uninit-detach-exit", "at process exit", 7);
}

// Eight threads request payments while the game thread shuts down.
void Races(int runs) {
  int crashes = 0;
  int lateAccepted = 0;
  double slowestUninit = 0;
  for (int i = 0; i < runs; i += 2) {
    std::vector<std::unique_ptr<Session>> batch;
    for (int j = i; j < std::min(runs, i + 2); ++j) {
      batch.push_back(std::make_unique<Session>(lumo_test::DevhostCommand(
          L"--no-parent --channel=ipc_channel_soakrace" + std::to_wstring(j) + L" --token=soakrace" +
              std::to_wstring(j),
          L"--after-loop-ms=30000 --steps=init,login,payrace:8:" + std::to_wstring(50 + 30 * (j % 5)))));
    }
    for (auto& s : batch) {
      const DWORD code = s->WaitExit(120000);
      if (code != 0) ++crashes;
      const std::string race = s->WaitLine("[game] payrace ", 1000);
      if (Field(race, "late-not-minus6") != 0) ++lateAccepted;
      slowestUninit = std::max(slowestUninit, Field(race, "uninit-ms"));
    }
  }
  AddRow("payments racing shutdown: crashed runs of " + std::to_string(runs), std::to_string(crashes), "0",
         crashes == 0);
  AddRow("payments racing shutdown: runs where a late call was taken", std::to_string(lateAccepted), "0",
         lateAccepted == 0);
  AddRow("payments racing shutdown: slowest lumoGameUninit (ms)", Fixed(slowestUninit), "< 2,000",
         slowestUninit < 2000);
}

std::unique_ptr<Session> StartHost(const std::wstring& extra = L"") {
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto host = std::make_unique<Session>(lumo_test::DevhostCommand(L"--capture=none " + extra, L""));
    if (!host->WaitLine("[devhost] game pid=", 10000).empty()) return host;
    host->child().Kill();
    Sleep(50);  // the old channel's objects are still held: the link lets go shortly
  }
  return nullptr;
}

size_t CountEnvelopes(Session& s, const std::string& msg) {
  size_t n = 0;
  for (const std::string& e : lumo_test::RawEnvelopes(s)) {
    if (e.find("\"msg\":\"" + msg + "\"") != std::string::npos) ++n;
  }
  return n;
}

// The library's link in this process sends steadily while its host is
// killed and started again: what was sent in the gap reaches the new host.
void HostRestartGap(lumo::IpcLink& link) {
  auto first = StartHost();
  if (!first) {
    AddRow("host restart: messages sent in the gap delivered", "no host", "all", false);
    return;
  }
  int sent = 0;
  int gapSent = 0;
  std::unique_ptr<Session> second;
  const ULONGLONG start = GetTickCount64();
  bool killed = false;
  while (GetTickCount64() - start < 3000) {
    const ULONGLONG t = GetTickCount64() - start;
    if (!killed && t >= 1000) {
      first->child().Kill();
      first->child().Wait(10000);
      killed = true;
    }
    const bool inGap = killed && !second;
    const std::string msg = inGap ? "Gap" : "Steady";
    if (link.Send(lumo::kChannelMain, lumo::BuildEnvelope(msg, std::to_string(sent))) ==
        lumo::SendResult::Queued) {
      ++sent;
      if (inGap) ++gapSent;
    }
    if (killed && !second && t >= 1500) second = StartHost();
    Sleep(20);
  }
  size_t gapGot = 0;
  for (ULONGLONG deadline = GetTickCount64() + 10000; second && GetTickCount64() < deadline; Sleep(100)) {
    gapGot = CountEnvelopes(*second, "Gap");
    if (gapGot >= static_cast<size_t>(gapSent)) break;
  }
  AddRow("host restart: messages sent in the gap delivered", std::to_string(gapGot) + "/" + std::to_string(gapSent),
         "all", gapSent > 0 && gapGot == static_cast<size_t>(gapSent));
}

// Handles and threads of this process before and after many host restarts,
// each with one message delivered.
void Restarts(lumo::IpcLink& link, int restarts) {
  // One round first, so lazily made things exist in both readings.
  {
    auto host = StartHost();
    if (host) link.Send(lumo::kChannelMain, lumo::BuildEnvelope("Warm", "0"));
    Sleep(200);
  }
  Sleep(500);
  const DWORD handlesBefore = lumo_test::CountProcessHandles();
  const DWORD threadsBefore = lumo_test::CountProcessThreads();
  int delivered = 0;
  for (int i = 0; i < restarts; ++i) {
    auto host = StartHost();
    if (!host) break;
    link.Send(lumo::kChannelMain, lumo::BuildEnvelope("Round", std::to_string(i)));
    for (ULONGLONG deadline = GetTickCount64() + 5000; GetTickCount64() < deadline; Sleep(10)) {
      if (CountEnvelopes(*host, "Round") >= 1) {
        ++delivered;
        break;
      }
    }
    host->child().Kill();
    host->child().Wait(10000);
  }
  Sleep(1000);  // the last exit watch fires and lets go
  const DWORD handlesAfter = lumo_test::CountProcessHandles();
  const DWORD threadsAfter = lumo_test::CountProcessThreads();
  AddRow(std::to_string(restarts) + " host restarts: delivered", std::to_string(delivered), std::to_string(restarts),
         delivered == restarts);
  AddRow("handles before -> after the restarts", std::to_string(handlesBefore) + " -> " + std::to_string(handlesAfter),
         "no growth (+4 slack)", handlesAfter <= handlesBefore + 4);
  AddRow("threads before -> after the restarts", std::to_string(threadsBefore) + " -> " + std::to_string(threadsAfter),
         "no growth (+2 slack)", threadsAfter <= threadsBefore + 2);
}

}  // namespace

int main(int argc, char** argv) {
  int raceRuns = 20;
  int restarts = 200;
  std::string only;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--race-runs") raceRuns = std::atoi(argv[i + 1]);
    if (a == "--restarts") restarts = std::atoi(argv[i + 1]);
    if (a == "--only") only = argv[i + 1];
  }
  auto wanted = [&only](const char* part) { return only.empty() || only == part; };
  if ((wanted("bursts") || wanted("shared") || wanted("hung") || wanted("races") || wanted("loaderlock")) &&
      !lumo_test::SetVerifyAnswer(200, kVerifyOk)) {
    std::fprintf(stderr, "soak: the verify server does not answer: run through scripts/soak.sh\n");
    return 2;
  }
  if (wanted("bursts")) {
    Burst(300, 0);
    Burst(1000, 0);
    Burst(300, 2);
    Burst(1000, 2);
  }
  if (wanted("shared")) {
    TwoGamesOneChannel(500, 0);
    TwoGamesOneChannel(500, 2);
  }
  if (wanted("hung")) {
    HungHost();
    HungWindowHost();
  }
  if (wanted("races")) Races(raceRuns);
  if (wanted("loaderlock")) LoaderLock();
  if (wanted("restarts")) {
    lumo::IpcLink link;
    const std::string name = "ipc_channel_game_soak" + std::to_string(GetCurrentProcessId());
    if (link.StartIpc(name)) {
      HostRestartGap(link);
      Restarts(link, restarts);
      link.StopIpc();
    }
  }

  size_t width = 0;
  for (const Row& r : g_rows) width = std::max(width, r.figure.size());
  std::printf("\n%-*s  %-16s  %-22s  %s\n", static_cast<int>(width), "figure", "value", "goal", "met");
  bool allMet = true;
  for (const Row& r : g_rows) {
    std::printf("%-*s  %-16s  %-22s  %s\n", static_cast<int>(width), r.figure.c_str(), r.value.c_str(),
                r.goal.c_str(), r.met ? "yes" : "NO");
    allMet = allMet && r.met;
  }
  std::fflush(stdout);
  return allMet ? 0 : 1;
}
