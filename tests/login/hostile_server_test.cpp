// Login against verify servers that misbehave the way an attacker on the
// network path or a broken endpoint would. Each row runs lumoGameLogin's
// work on a game window thread of its own, all rows at once: every one must
// end in LoginVerifyFailed within the deadline, leave the record alone and
// give the thread back to its window. Nothing may be left behind: the table
// runs twice, and the second run must not add handles or threads.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "login/http_client.h"
#include "login/login_test_util.h"
#include "sdk/operations.h"
#include "sdk/sdk_context.h"
#include "support/process_counts.h"

namespace {

using lumo_test::ReadLastVerifyRequest;
using lumo_test::VerifyRequestRecord;

const char kSuccess[] =
    "{\"code\":0,\"data\":{\"uid\":77,\"appid\":\"app\",\"sid\":\"sess\",\"time\":5,\"utype\":3}}";
constexpr UINT kPing = WM_APP + 7;
constexpr LRESULT kPong = 0x1234;
// Generous: the machine is shared and Wine is slow to start threads.
constexpr ULONGLONG kMarginMs = 10000;

LRESULT CALLBACK GameWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kPing) return kPong;
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// A game's window thread: makes its window, calls Login once on a context of
// its own as lumoGameLogin would, then serves its window until closed.
class GameThread {
 public:
  explicit GameThread(const std::wstring& token) {
    ctx_.initialised = true;
    ctx_.launchParamsLoaded = true;
    wcsncpy_s(ctx_.launchParams.token, token.c_str(), _TRUNCATE);
    std::memset(&ctx_.loginInfo, 0x5A, sizeof(ctx_.loginInfo));
    earlier_ = ctx_.loginInfo;
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ~GameThread() {
    if (thread_.joinable()) {
      if (hwnd_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
      thread_.join();
    }
    CloseHandle(ready_);
    CloseHandle(done_);
  }

  // Starts the thread and returns once its window exists.
  bool Start() {
    thread_ = std::thread([this] { Run(); });
    return WaitForSingleObject(ready_, 30000) == WAIT_OBJECT_0 && hwnd_ != nullptr;
  }
  bool WaitDone(DWORD ms) { return WaitForSingleObject(done_, ms) == WAIT_OBJECT_0; }
  // The window answers a sent message: its thread is pumping again.
  bool Answers() {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(hwnd_, kPing, 0, 0, SMTO_NORMAL, 5000, &result) != 0 &&
           result == static_cast<DWORD_PTR>(kPong);
  }
  bool Stop() {
    if (!PostMessageW(hwnd_, WM_CLOSE, 0, 0)) return false;
    thread_.join();
    return true;
  }

  SdkError result() const { return result_; }
  ULONGLONG elapsedMs() const { return elapsedMs_; }
  bool RecordUntouched() const {
    return !ctx_.loggedIn && std::memcmp(&ctx_.loginInfo, &earlier_, sizeof(earlier_)) == 0;
  }

 private:
  void Run() {
    hwnd_ = CreateWindowExW(0, L"LumoHostileGame", L"game", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetEvent(ready_);
    if (!hwnd_) return;
    const ULONGLONG start = GetTickCount64();
    result_ = lumo::Login(ctx_);
    elapsedMs_ = GetTickCount64() - start;
    SetEvent(done_);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  }

  lumo::SdkContext ctx_;
  LoginInfo earlier_;
  HANDLE ready_;
  HANDLE done_;
  HWND hwnd_ = nullptr;
  std::thread thread_;
  SdkError result_ = SdkError_Ok;
  ULONGLONG elapsedMs_ = 0;
};

// Idle thread-pool workers leave a while after their last job; wait for the
// counts to come back down (at most about half a minute), then report what
// is left.
void ExpectNothingLeft(DWORD handlesBefore, DWORD threadsBefore) {
  DWORD handles = 0;
  DWORD threads = 0;
  for (int i = 0; i < 60; ++i) {
    handles = lumo_test::CountProcessHandles();
    threads = lumo_test::CountProcessThreads();
    if (handles <= handlesBefore && threads <= threadsBefore) break;
    Sleep(500);
  }
  EXPECT_LE(handles, handlesBefore);
  EXPECT_LE(threads, threadsBefore);
  std::printf("handles %lu -> %lu, threads %lu -> %lu\n", handlesBefore, handles, threadsBefore,
              threads);
}

struct Row {
  const char* name;
  const wchar_t* token;
};

// Tokens the verify server turns into its misbehaviours.
const Row kRows[] = {
    {"answers never after reading the request", L"hostile-silent"},
    {"drips the body, 1 byte every 5 s", L"hostile-drip"},
    {"announces and sends 50 MB", L"hostile-huge"},
    {"sends 50 MB without Content-Length", L"hostile-unannounced"},
    {"closes 100 bytes into a 100000-byte Content-Length", L"hostile-short"},
    {"closes 100 bytes into a 1000-byte Content-Length", L"hostile-cut"},
    {"redirects to another origin that answers success", L"hostile-redirect"},
};

// One run of the whole table, every row at once; checks each row.
void RunTable() {
  ASSERT_TRUE(lumo_test::ResetVerifyServer());
  // Every well-behaved answer is a success, so only the misbehaviour can
  // make a row fail.
  ASSERT_TRUE(lumo_test::SetVerifyAnswer(200, kSuccess));
  VerifyRequestRecord record;
  // Also learns the second listener's port, before anything is armed.
  ASSERT_TRUE(ReadLastVerifyRequest(record, true));
  // A server that accepts the connection but never starts TLS: armed for
  // the next connection, which must be this row's, so the others start only
  // once the server holds it (asked on its second listener, never stalled).
  std::vector<std::unique_ptr<GameThread>> games;
  std::vector<std::string> names;
  ASSERT_TRUE(lumo_test::ArmHandshakeStall());
  games.push_back(std::make_unique<GameThread>(L"hostile-notls"));
  names.push_back("accepts TCP, never does the TLS handshake");
  ASSERT_TRUE(games.back()->Start());
  bool held = false;
  for (int i = 0; i < 200 && !held; ++i) {
    held = ReadLastVerifyRequest(record, true) && record.stalled == 1;
    if (!held) Sleep(50);
  }
  ASSERT_TRUE(held) << "the server never held the handshake-less connection";

  for (const Row& row : kRows) {
    games.push_back(std::make_unique<GameThread>(row.token));
    names.push_back(row.name);
    ASSERT_TRUE(games.back()->Start()) << row.name;
  }

  for (size_t i = 0; i < games.size(); ++i) {
    GameThread& game = *games[i];
    SCOPED_TRACE(names[i]);
    ASSERT_TRUE(game.WaitDone(static_cast<DWORD>(lumo::kHttpDeadlineMs + 60000)));
    EXPECT_EQ(game.result(), SdkError_LoginVerifyFailed);
    EXPECT_LT(game.elapsedMs(), lumo::kHttpDeadlineMs + kMarginMs);
    EXPECT_TRUE(game.RecordUntouched());
    EXPECT_TRUE(game.Answers());
  }
  for (auto& game : games) EXPECT_TRUE(game->Stop());
  games.clear();

  ASSERT_TRUE(ReadLastVerifyRequest(record, true));
  EXPECT_EQ(record.stalled, 1);
  // The stalled row never got as far as a request; every other row did, and
  // the redirect's target was never asked.
  EXPECT_EQ(record.tokens.count("hostile-notls"), 0u);
  for (const Row& row : kRows) {
    EXPECT_EQ(record.tokens[lumo_test::Narrow(row.token)], 1) << row.name;
  }
  EXPECT_EQ(record.tokens.count("redirected"), 0u);
}

TEST(HostileVerifyServer, EveryRowFailsWithinTheDeadlineAndLeavesNothingBehind) {
  ASSERT_TRUE(lumo_test::VerifyServerAnswers());
  WNDCLASSW wc = {};
  wc.lpfnWndProc = GameWndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"LumoHostileGame";
  ASSERT_TRUE(RegisterClassW(&wc));

  // The first run also lets WinHTTP, the TLS code, the thread pool and
  // Wine set up what they keep for the process (connection and session
  // state, the debug-output mutex, this thread's message queue); whatever
  // a second run leaves behind is a leak.
  RunTable();
  if (HasFatalFailure()) return;
  Sleep(500);
  const DWORD handlesBefore = lumo_test::CountProcessHandles();
  const DWORD threadsBefore = lumo_test::CountProcessThreads();
  ASSERT_GT(handlesBefore, 0u);
  ASSERT_GT(threadsBefore, 0u);
  RunTable();
  ExpectNothingLeft(handlesBefore, threadsBefore);
  UnregisterClassW(L"LumoHostileGame", GetModuleHandleW(nullptr));
}

}  // namespace
