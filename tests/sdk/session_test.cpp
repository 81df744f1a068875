// Whole sessions in real processes: lumo-devhost as the launcher,
// test_game.exe as the game, the local HTTPS verify server for the login.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "LumoGameSDK.h"
#include "ipc/shm_endpoint.h"
#include "login/verify_control.h"
#include "support/session.h"
#include "support/test_host.h"

using lumo_test::DevhostCommand;
using lumo_test::GameCommand;
using lumo_test::Session;
using lumo_test::ToHex;

namespace {

const char kVerifyOk[] =
    "{\"code\":0,\"data\":{\"uid\":123,\"appid\":\"a1\",\"sid\":\"s1\",\"time\":1000,\"utype\":2}}";

// The test game's window before the SDK touches it.
constexpr uint32_t kGameStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
constexpr uint32_t kGameExStyle = WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME;

struct WindowState {
  uint32_t style = 0, exStyle = 0;
  unsigned long long parent = 0;
  int x = 0, y = 0, width = 0, height = 0;
};

WindowState ParseState(const std::string& line) {
  WindowState s;
  unsigned long style = 0, exStyle = 0;
  std::sscanf(line.c_str(), "[game] state style=%lx exstyle=%lx parent=%llu rect=%d,%d,%d,%d", &style, &exStyle,
              &s.parent, &s.x, &s.y, &s.width, &s.height);
  s.style = static_cast<uint32_t>(style);
  s.exStyle = static_cast<uint32_t>(exStyle);
  return s;
}

// The two strings of a body the SDK sent, after both levels of unescaping.
std::vector<std::string> BodyStrings(const std::string& envelope, std::string* msg = nullptr) {
  const nlohmann::json outer = nlohmann::json::parse(envelope);
  if (msg) *msg = outer.at("msg").get<std::string>();
  return nlohmann::json::parse(outer.at("body").get<std::string>()).get<std::vector<std::string>>();
}

std::string LoginInfoHex(int64_t uid, const wchar_t* appid, const wchar_t* sid, int64_t time, int32_t utype) {
  LoginInfo info;
  std::memset(&info, 0, sizeof(info));
  info.size = 288;
  info.uid = uid;
  wcsncpy(info.appid, appid, 63);
  wcsncpy(info.sid, sid, 63);
  info.time = time;
  info.utype = utype;
  return ToHex(std::string(reinterpret_cast<const char*>(&info), sizeof(info)));
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lumo_test::SetVerifyAnswer(200, kVerifyOk)) << "run the tests through scripts/test.sh";
  }
};

TEST_F(SessionTest, HappyPathFromWindowReadyToExit) {
  // Quotes, backslashes, control characters and non-ASCII must arrive as given.
  const std::string payText = "{\"item\":\"gem \\\"x\\\"\",\"note\":\"a\\\\b\"}\n\t\x01 caf\xc3\xa9 \xe4\xb8\xad";
  Session s(DevhostCommand(L"--gameid=-42 --token=tok42 --size=1280x720",
                           L"--after-loop-ms=30000 --steps=init,state,login,infohex,pay:" +
                               lumo_test::Widen(ToHex(payText)) +
                               // Back to back: the library waits for the host to take each one.
                               L",paynull,uninit,state,info,login"));
  ASSERT_FALSE(s.WaitLine("[game] uninit done").empty()) << s.Output();
  const ULONGLONG uninitAt = GetTickCount64();
  const DWORD code = s.WaitExit();
  const ULONGLONG exitDelay = GetTickCount64() - uninitAt;
  const std::string out = s.Output();
  ASSERT_EQ(code, 0u) << out;
  // The process ended about 3 s later, long before the game would have.
  EXPECT_GE(exitDelay, 2500u);
  EXPECT_LT(exitDelay, 25000u);
  EXPECT_TRUE(s.Find("[game] still running").empty()) << out;

  const std::string hostWnd = s.WaitLine("[devhost] window=").substr(17);
  const std::string gameWnd = s.WaitLine("[game] window=").substr(14);
  ASSERT_FALSE(hostWnd.empty());
  ASSERT_FALSE(gameWnd.empty());

  // Window ready, byte for byte; then the two payment requests.
  const std::vector<std::string> envelopes = lumo_test::RawEnvelopes(s);
  ASSERT_EQ(envelopes.size(), 3u) << out;
  EXPECT_EQ(envelopes[0], "{\"body\":\"[\\\"-42\\\",\\\"" + gameWnd +
                              "\\\",\\\"ipc_channel_game_tok42\\\"]\",\"msg\":\"IpcMsg_GameSDK_GameWndReady\"}");
  std::string msg;
  EXPECT_EQ(BodyStrings(envelopes[1], &msg), (std::vector<std::string>{"-42", payText}));
  EXPECT_EQ(msg, "IpcMsg_GameSDK_ShowPay");
  EXPECT_EQ(BodyStrings(envelopes[2]), (std::vector<std::string>{"-42", ""}));

  // Restyled, re-parented, placed at 0,0 with the host's client size.
  const std::vector<std::string> states = s.Find("[game] state ");
  ASSERT_EQ(states.size(), 3u) << out;
  const WindowState before = ParseState("[game] state " + states[0]);
  const WindowState embedded = ParseState("[game] state " + states[1]);
  const WindowState after = ParseState("[game] state " + states[2]);
  EXPECT_EQ(before.style & kGameStyle, kGameStyle);
  EXPECT_EQ(embedded.style, (before.style & 0x6930FFFFu) | 0x96000000u);
  EXPECT_EQ(embedded.exStyle, before.exStyle & ~0x189u);
  EXPECT_NE(before.exStyle & kGameExStyle, 0u);
  EXPECT_EQ(std::to_string(embedded.parent), hostWnd);
  EXPECT_EQ(embedded.x, 0);
  EXPECT_EQ(embedded.y, 0);
  EXPECT_EQ(embedded.width, 1280);
  EXPECT_EQ(embedded.height, 720);
  EXPECT_FALSE(s.Find("[game] WM_SIZE wparam=0 lparam=02d00500").empty()) << out;
  EXPECT_EQ(after.parent, 0u);  // detached by uninit

  // Login over TLS into the exact record; gone again after uninit.
  const std::vector<std::string> hex = s.Find("[game] infohex=");
  ASSERT_EQ(hex.size(), 1u);
  EXPECT_EQ(hex[0], LoginInfoHex(123, L"a1", L"s1", 1000, 2));
  const std::vector<std::string> logins = s.Find("[game] login=");
  EXPECT_EQ(logins, (std::vector<std::string>{"0", "-6"}));
  EXPECT_EQ(s.Find("[game] info="), (std::vector<std::string>{"null"}));
  EXPECT_EQ(s.Find("[game] pay="), (std::vector<std::string>{"0", "0"}));
  // WM_CLOSE and the quit reached the game's loop.
  EXPECT_FALSE(s.Find("[game] WM_CLOSE").empty()) << out;
  EXPECT_FALSE(s.Find("[game] loop ended").empty()) << out;
}

struct VariantCase {
  const char* name;
  const wchar_t* hostOptions;
  std::wstring steps;
  DWORD exitCode;
  std::vector<std::string> gameLines;  // "[game] ..." lines expected, in order (a subsequence)
  int envelopes;                       // messages the host receives, -1: not checked
};

class SessionVariants : public SessionTest, public ::testing::WithParamInterface<VariantCase> {};

TEST_P(SessionVariants, Behave) {
  const VariantCase& c = GetParam();
  Session s(DevhostCommand(c.hostOptions, L"--after-loop-ms=30000 --steps=" + c.steps));
  const DWORD code = s.WaitExit();
  const std::string out = s.Output();
  EXPECT_EQ(code, c.exitCode) << out;
  // The game's lines, in order. Searched in the whole output rather than line
  // by line: a host line longer than a pipe's atomic write (a 2044-byte
  // envelope in hex) can be split by a game line written meanwhile.
  size_t next = 0;
  for (size_t at = 0; next < c.gameLines.size(); ++next) {
    const size_t found = out.find(c.gameLines[next] + "\r\n", at);
    if (found == std::string::npos) break;
    at = found + c.gameLines[next].size();
  }
  EXPECT_EQ(next, c.gameLines.size()) << "missing \"" << (next < c.gameLines.size() ? c.gameLines[next] : "")
                                      << "\" in\n" << out;
  if (c.envelopes >= 0) {
    EXPECT_EQ(lumo_test::RawEnvelopes(s).size(), static_cast<size_t>(c.envelopes)) << out;
  }
}

const VariantCase kVariants[] = {
    // No host channel: nothing is sent, and a payment has nowhere to go.
    {"NoPipe", L"--no-pipe", L"init,login,pay:7b7d,uninit", 0,
     {"[game] init=0", "[game] login=0", "[game] pay=-5", "[game] uninit done"}, 0},
    // A pay text that is not UTF-8 is refused; the game goes on.
    {"PayTextNotUtf8", L"", L"init,login,pay:ff41,info,uninit", 0,
     {"[game] init=0", "[game] login=0", "[game] pay=-5", "[game] info=set", "[game] uninit done"}, 1},
    // A request too long for the host channel is refused, not silently lost;
    // the longest one that fits (a 2044-byte envelope) still goes out.
    {"PayTextTooLong", L"",
     L"init,login,pay:" + std::wstring(2 * 1991, L'7') + L",pay:" + std::wstring(2 * 1990, L'7') +
         L",uninit",
     0,
     {"[game] init=0", "[game] login=0", "[game] pay=-5", "[game] pay=0", "[game] uninit done"}, 2},
    // Uninit from another thread quits the game thread's loop by WM_QUIT.
    {"UninitFromAnotherThread", L"", L"init,uninit-thread", 0,
     {"[game] init=0", "[game] WM_CLOSE", "[game] loop ended wparam=0"}, 1},
    // A second uninit does nothing more.
    {"UninitTwice", L"", L"init,uninit,uninit,info", 0,
     {"[game] init=0", "[game] uninit done", "[game] uninit done", "[game] info=null"}, 1},
    // Uninit before init does nothing: the game runs on to its own end.
    {"UninitBeforeInit", L"", L"uninit,exit:9", 9, {"[game] uninit done", "[game] returning 9 from main"}, 0},
    // A game that leaves without uninit ends normally with its own code.
    // (Whether the window-ready message left before the exit is up to the race.)
    {"ReturnFromMainWithoutUninit", L"", L"init,exit:5", 5, {"[game] init=0", "[game] returning 5 from main"}, -1},
    {"ExitProcessWithoutUninit", L"", L"init,login,exitprocess:6", 6, {"[game] init=0", "[game] ExitProcess"}, -1},
};

INSTANTIATE_TEST_SUITE_P(Table, SessionVariants, ::testing::ValuesIn(kVariants),
                         [](const ::testing::TestParamInfo<VariantCase>& info) { return info.param.name; });

// No host window on the command line: the game window is left alone.
TEST_F(SessionTest, NoParentLeavesTheWindowUntouched) {
  Session s(DevhostCommand(L"--no-parent", L"--steps=state,init,state,uninit"));
  ASSERT_EQ(s.WaitExit(), 0u) << s.Output();
  const std::vector<std::string> states = s.Find("[game] state ");  // at start, before and after init
  ASSERT_EQ(states.size(), 3u);
  EXPECT_EQ(states[1], states[2]);
  EXPECT_TRUE(s.Find("[game] WM_SIZE wparam=0 lparam=02d00500").empty());
  // The host still hears that the window is ready.
  EXPECT_EQ(lumo_test::RawEnvelopes(s).size(), 1u) << s.Output();
}

TEST_F(SessionTest, HostWindowGoneBeforeInitGivesEmbedFailureWithIpcStarted) {
  // The host window exists when the game first reads its command line (the
  // early init, before the game has a window) and is gone at the second init.
  HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(host, nullptr);
  const std::wstring gone = L"lumo-test-host-gone-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring checked = L"lumo-test-ipc-checked-" + std::to_wstring(GetCurrentProcessId());
  HANDLE goneEvent = CreateEventW(nullptr, TRUE, FALSE, gone.c_str());
  HANDLE checkedEvent = CreateEventW(nullptr, TRUE, FALSE, checked.c_str());
  const std::wstring token = L"gone" + std::to_wstring(GetCurrentProcessId());
  Session s(GameCommand(L"--parent=" + std::to_wstring(reinterpret_cast<uintptr_t>(host)) + L" --token=" + token +
                        L" --early=init,wait:" + gone + L" --steps=init,wait:" + checked + L",exit:4"));
  EXPECT_EQ(s.WaitLine("[game] init="), "[game] init=-1") << s.Output();
  DestroyWindow(host);
  SetEvent(goneEvent);
  EXPECT_EQ(s.WaitLine("[game] init=-3"), "[game] init=-3") << s.Output();
  // IPC was started all the same: the game's receive channel exists.
  lumo::ShmEndpoint probe = lumo::ShmEndpoint::Open(("ipc_channel_game_" + lumo_test::Narrow(token)).c_str());
  EXPECT_EQ(probe.status, lumo::ShmStatus::Ok);
  if (probe.status == lumo::ShmStatus::Ok) probe.Close();
  SetEvent(checkedEvent);
  EXPECT_EQ(s.WaitExit(), 4u) << s.Output();
  CloseHandle(goneEvent);
  CloseHandle(checkedEvent);
}

// The launcher's window thread sends to the embedded game window all the
// time (sizing, focus, activation) and waits for the answer: a login, however
// long its request takes, must not keep it waiting.
struct LoginProbeCase {
  const char* name;
  const wchar_t* token;  // the verify server's behaviour for it
  std::string login;     // what lumoGameLogin answers
  ULONGLONG minMs, maxMs;  // how long it takes
};

void PrintTo(const LoginProbeCase& c, std::ostream* os) { *os << c.name; }

class LoginWhileEmbedded : public SessionTest, public ::testing::WithParamInterface<LoginProbeCase> {};

TEST_P(LoginWhileEmbedded, HostWindowThreadKeepsGettingAnswers) {
  const LoginProbeCase& c = GetParam();
  Session s(DevhostCommand(L"--probe-ms=100 --token=" + std::wstring(c.token),
                           L"--after-loop-ms=30000 --steps=init,state,login,uninit"));
  ASSERT_EQ(s.WaitLine("[game] init="), "[game] init=0") << s.Output();
  ASSERT_EQ(s.WaitLine("[game] login=", 90000), "[game] login=" + c.login) << s.Output();
  unsigned long long begin = 0, end = 0;
  ASSERT_EQ(std::sscanf(s.WaitLine("[game] login-span=").c_str(), "[game] login-span=%llu-%llu", &begin, &end), 2)
      << s.Output();
  EXPECT_EQ(s.WaitExit(), 0u) << s.Output();
  const std::string out = s.Output();
  EXPECT_GE(end - begin, c.minMs) << out;
  EXPECT_LT(end - begin, c.maxMs) << out;
  // Embedded: the probes went to a child of the host window.
  const std::vector<std::string> states = s.Find("[game] state ");
  ASSERT_EQ(states.size(), 2u) << out;
  EXPECT_NE(ParseState("[game] state " + states[1]).parent, 0u) << out;

  int during = 0, unanswered = 0;
  double slowest = 0;
  for (const std::string& probe : s.Find("[devhost] probe ")) {
    unsigned long long at = 0;
    double took = 0;
    int answered = 0;
    ASSERT_EQ(std::sscanf(probe.c_str(), "at=%llu took-ms=%lf answered=%d", &at, &took, &answered), 3) << probe;
    if (at < begin || at > end) continue;
    ++during;
    if (!answered) ++unanswered;
    if (took > slowest) slowest = took;
  }
  std::printf("[ login %s ] %d probes during %llu ms of login, slowest answer %.1f ms\n", c.name, during,
              end - begin, slowest);
  // The probe ran all along (a tick every 100 ms; a loaded machine is late).
  EXPECT_GE(during, static_cast<int>((end - begin) / 400)) << out;
  EXPECT_EQ(unanswered, 0) << out;
  // A blocked window thread answers only once the login is over: seconds.
  EXPECT_LT(slowest, 1000.0) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Verify, LoginWhileEmbedded,
    ::testing::Values(
        // Never answers: the request's 15 s deadline ends the login.
        LoginProbeCase{"SilentServer", L"hostile-silent", "-12", 14000, 21000},
        LoginProbeCase{"NormalServer", L"probe-normal", "0", 0, 15000},
        // Answers soundly after 3 s.
        LoginProbeCase{"SlowServer", L"hostile-slow", "0", 2500, 15000}),
    [](const ::testing::TestParamInfo<LoginProbeCase>& info) { return info.param.name; });

// A launcher whose window thread stops pumping while its process and channel
// go on (lumo-devhost --hang) must neither freeze nor trap the game.
constexpr UINT kGamePing = WM_APP + 2;  // test_game answers "[game] pong"

HWND GameWindow(Session& s) {
  const std::string line = s.WaitLine("[game] window=");
  return line.empty() ? nullptr : reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(line.substr(14))));
}

unsigned long long Millis(Session& s, const std::string& prefix) {
  const std::string line = s.WaitLine(prefix);
  return line.empty() ? ~0ull : std::stoull(line.substr(prefix.size()));
}

TEST_F(SessionTest, HungHostGetsNoEmbeddingAndTheGameRunsOn) {
  const std::wstring token = L"hung" + std::to_wstring(GetCurrentProcessId());
  // The host stops pumping right after starting the game, until the game ends.
  Session s(DevhostCommand(L"--hang=launch --token=" + token, L"--steps=state,init,state"));
  ASSERT_EQ(s.WaitLine("[game] init="), "[game] init=-3") << s.Output();
  // Without a bound the call would not return before the game ends.
  EXPECT_LT(Millis(s, "[game] init-ms="), 5000u) << s.Output();
  ASSERT_FALSE(s.WaitLine("[devhost] hang").empty()) << s.Output();

  // The game's window thread is back in its loop while the host still hangs.
  const HWND game = GameWindow(s);
  ASSERT_NE(game, nullptr);
  ASSERT_TRUE(PostMessageW(game, kGamePing, 0, 0));
  ASSERT_FALSE(s.WaitLine("[game] pong", 20000).empty()) << s.Output();
  EXPECT_TRUE(s.Find("[devhost] hang over").empty()) << s.Output();

  // It keeps its own window, untouched (states at start, before and after init).
  const std::vector<std::string> states = s.Find("[game] state ");
  ASSERT_EQ(states.size(), 3u) << s.Output();
  EXPECT_EQ(states[1], states[2]);
  EXPECT_EQ(ParseState("[game] state " + states[2]).parent, 0u);

  // IPC is up as before: the game's receive channel exists.
  lumo::ShmEndpoint probe = lumo::ShmEndpoint::Open(("ipc_channel_game_" + lumo_test::Narrow(token)).c_str());
  EXPECT_EQ(probe.status, lumo::ShmStatus::Ok);
  if (probe.status == lumo::ShmStatus::Ok) probe.Close();

  ASSERT_TRUE(PostMessageW(game, kGamePing, 5, 0));  // the game leaves with 5, the host follows
  EXPECT_EQ(s.WaitExit(), 5u) << s.Output();
}

TEST_F(SessionTest, UninitDuringHostHangReturnsAndEndsTheProcessOnTime) {
  const std::wstring go = L"lumo-test-uninit-go-" + std::to_wstring(GetCurrentProcessId());
  HANDLE goEvent = CreateEventW(nullptr, TRUE, FALSE, go.c_str());
  ASSERT_NE(goEvent, nullptr);
  // Embedded while the host answers; it stops pumping once the window-ready
  // message arrives, and the game calls uninit only then.
  Session s(DevhostCommand(L"--hang=ready", L"--after-loop-ms=30000 --steps=init,state,wait:" + go + L",uninit,state"));
  ASSERT_EQ(s.WaitLine("[game] init="), "[game] init=0") << s.Output();
  ASSERT_FALSE(s.WaitLine("[devhost] hang").empty()) << s.Output();
  const ULONGLONG calledAt = GetTickCount64();
  SetEvent(goEvent);

  EXPECT_LT(Millis(s, "[game] uninit-ms="), 2000u) << s.Output();
  const DWORD code = s.WaitExit();
  const ULONGLONG exitDelay = GetTickCount64() - calledAt;
  const std::string out = s.Output();
  EXPECT_EQ(code, 0u) << out;
  // About 3 s after the call, long before the game would have ended itself.
  EXPECT_GE(exitDelay, 2500u) << out;
  EXPECT_LT(exitDelay, 25000u) << out;
  EXPECT_TRUE(s.Find("[game] still running").empty()) << out;
  // The close still reached the game's loop. (Its own DestroyWindow of a
  // window inside the hung host may then wait on the host: that is why the
  // exit is armed first.)
  EXPECT_FALSE(s.Find("[game] WM_CLOSE").empty()) << out;
  // The window stays in the host that does not answer.
  const std::vector<std::string> states = s.Find("[game] state ");
  ASSERT_EQ(states.size(), 3u) << out;
  EXPECT_NE(ParseState("[game] state " + states[1]).parent, 0u);
  EXPECT_EQ(ParseState("[game] state " + states[2]).parent, ParseState("[game] state " + states[1]).parent);
  CloseHandle(goEvent);
}

}  // namespace

namespace {

// The game's "[game] state" lines once `count` have been printed.
std::vector<std::string> States(Session& s, size_t count) {
  for (int i = 0; i < 200 && s.Find("[game] state ").size() < count; ++i) Sleep(50);
  return s.Find("[game] state ");
}

std::wstring HostArgs(HWND host, const std::string& pipe, const std::wstring& token) {
  return L"--parent=" + std::to_wstring(reinterpret_cast<uintptr_t>(host)) + L" --lumo-pipe=" +
         lumo_test::Widen(pipe) + L" --gameid=9 --token=" + token;
}

// The host window goes away the moment the library has checked that it
// answers (it destroys itself on that WM_NULL): the re-parenting finds no
// window. Init answers -3, the game keeps its framed top-level window and
// the host hears nothing; a game against a live host window embeds as usual.
TEST(EmbedSession, HostWindowDestroyedAtEmbeddingGivesEmbedFailureAndNoReady) {
  const std::string pipe = "lumo_test_gone_at_embed_" + std::to_string(GetCurrentProcessId());
  lumo_test::HostChannelReader hostChannel(pipe);
  ASSERT_TRUE(hostChannel.ok());
  lumo_test::HostWindowThread vanishing(lumo_test::HostWindowThread::OnNull::Destroy);
  lumo_test::HostWindowThread live;
  ASSERT_NE(vanishing.hwnd(), nullptr);
  ASSERT_NE(live.hwnd(), nullptr);

  Session first(GameCommand(HostArgs(vanishing.hwnd(), pipe, L"gone1_" + std::to_wstring(GetCurrentProcessId())) + L" --steps=state,init,state"));
  ASSERT_EQ(first.WaitLine("[game] init="), "[game] init=-3") << first.Output();
  const std::vector<std::string> states = States(first, 3);  // at start, before and after init
  ASSERT_EQ(states.size(), 3u) << first.Output();
  EXPECT_EQ(states[2], states[1]);
  EXPECT_EQ(ParseState("[game] state " + states[2]).parent, 0u);
  EXPECT_FALSE(IsWindow(vanishing.hwnd()));

  Session second(GameCommand(HostArgs(live.hwnd(), pipe, L"gone2_" + std::to_wstring(GetCurrentProcessId())) + L" --steps=init,state"));
  ASSERT_EQ(second.WaitLine("[game] init="), "[game] init=0") << second.Output();
  const std::vector<std::string> embedded = States(second, 2);
  ASSERT_EQ(embedded.size(), 2u) << second.Output();
  EXPECT_EQ(ParseState("[game] state " + embedded[1]).parent,
            static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(live.hwnd())));

  // One window-ready message in all, the second game's: the first sent none.
  ASSERT_TRUE(hostChannel.WaitFor("IpcMsg_GameSDK_GameWndReady", 20000));
  Sleep(300);
  const std::vector<std::string> messages = hostChannel.Messages();
  ASSERT_EQ(messages.size(), 1u);
  const HWND secondWindow = GameWindow(second);
  EXPECT_EQ(BodyStrings(messages[0])[1], std::to_string(reinterpret_cast<uintptr_t>(secondWindow)));

  ASSERT_TRUE(PostMessageW(GameWindow(first), kGamePing, 4, 0));
  EXPECT_EQ(first.WaitExit(), 4u) << first.Output();
  ASSERT_TRUE(PostMessageW(secondWindow, kGamePing, 5, 0));
  EXPECT_EQ(second.WaitExit(), 5u) << second.Output();
}

// A system aware launcher window without mixed hosting and an unaware game
// window: Windows embeds the game and resets its process's awareness; Wine
// embeds it and gives the game window the host window's awareness (the
// thread keeps its own). The game answers 0; its log warns beforehand,
// naming both modes and both outcomes, and names the change after; the
// devhost prints the game window's awareness beside its own. The game runs
// on until the devhost has printed it: its window-ready message goes out on
// the sender thread after Init returns, and a game that ends at once may end
// before it is sent.
TEST(EmbedSession, DpiMismatchIsWarnedAndTheChangeLogged) {
  lumo_test::ProbeFolder folder({L"test_game.exe", L"LumoGameSDK.dll"});
  const std::wstring seenName = L"lumo-test-dpi-seen-" + std::to_wstring(GetCurrentProcessId());
  HANDLE seenEvent = CreateEventW(nullptr, TRUE, FALSE, seenName.c_str());
  ASSERT_NE(seenEvent, nullptr);
  Session s(DevhostCommand(L"--dpi-awareness=system --no-mixed-hosting",
                           L"--dpi-awareness=unaware --steps=init,state,wait:" + seenName + L",exit:3",
                           folder.Path(L"test_game.exe")));
  ASSERT_EQ(s.WaitLine("[game] dpi-awareness="), "[game] dpi-awareness=unaware set") << s.Output();
  ASSERT_EQ(s.WaitLine("[game] init="), "[game] init=0") << s.Output();
  // Read after the window-ready message, so after the embedding.
  const std::string seen = s.WaitLine("[devhost] game dpi awareness=");
  SetEvent(seenEvent);
  EXPECT_EQ(seen.rfind("[devhost] game dpi awareness=", 0), 0u) << s.Output();
  EXPECT_NE(seen.find(" host=system aware"), std::string::npos) << s.Output();
  EXPECT_EQ(s.WaitExit(), 3u) << s.Output();
  CloseHandle(seenEvent);
  const std::string log = folder.Log(L"test_game.exe");
  EXPECT_NE(log.find("EmbedGameWindow warning: the game window is unaware and the host window is system aware with "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Windows may reset the game's DPI awareness or refuse the embedding: launcher: create the host "
                     "window on a thread with mixed DPI hosting"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("game: set its engine's DPI awareness setting (or its manifest) to system aware"),
            std::string::npos)
      << log;
  // What the devhost read is what the library logged as the window's value after.
  const std::string after = seen.substr(seen.find('=') + 1, seen.find(" host=") - seen.find('=') - 1);
  EXPECT_NE(log.find("EmbedGameWindow the embedding changed the game's DPI awareness (Windows resets the awareness "
                     "of a game embedded into a window of another awareness): game window unaware -> " +
                     after + ", game thread unaware -> "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Init success"), std::string::npos) << log;
}

}  // namespace
