// Which window lumo-devhost moves and sizes: test_game.exe, a real game on
// the real DLL, started by a real devhost, whose window this test resizes,
// minimises and restores from outside, as a person would. Embedded, the game
// window follows the client area; with --no-parent (the Editor opt-in) the
// announced window is the game's own top-level window and must stay where
// it is, and a minimised devhost never shrinks the game window. The devhost
// sizes the game window from a thread that owns no window: a game whose
// window thread hangs never holds the devhost's window, and gets the latest
// size once it answers again.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "support/test_support.h"

namespace {

using lumo_test::BinPath;
using lumo_test::Quote;
using lumo_test::Widen;

constexpr UINT kPing = WM_APP + 2;  // test_game prints "[game] pong" (and exits with a non-zero wParam)

std::string UniqueName(const char* tag) {
  static std::atomic<int> counter{0};
  return std::string("lumo_follow_") + tag + "_" + std::to_string(GetCurrentProcessId()) + "_" +
         std::to_string(GetTickCount()) + "_" + std::to_string(counter++);
}

// The rest of the first output line that starts with `prefix`, or "".
std::string After(const std::string& output, const std::string& prefix) {
  for (size_t at = 0; at < output.size(); at = output.find('\n', at) + 1) {
    if (output.compare(at, prefix.size(), prefix) == 0) {
      const size_t end = output.find_first_of("\r\n", at);
      return output.substr(at + prefix.size(), end == std::string::npos ? std::string::npos : end - at - prefix.size());
    }
    if (output.find('\n', at) == std::string::npos) break;
  }
  return "";
}

size_t Count(const std::string& output, const std::string& line) {
  size_t n = 0;
  for (size_t at = output.find(line); at != std::string::npos; at = output.find(line, at + 1)) ++n;
  return n;
}

HWND HandleOf(const std::string& decimal) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(decimal.c_str(), nullptr, 10)));
}

std::string Text(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

RECT WindowRect(HWND wnd) {
  RECT r = {};
  GetWindowRect(wnd, &r);
  return r;
}

SIZE WindowSize(HWND wnd) {
  const RECT r = WindowRect(wnd);
  return {r.right - r.left, r.bottom - r.top};
}

SIZE ClientSize(HWND wnd) {
  RECT r = {};
  GetClientRect(wnd, &r);
  return {r.right - r.left, r.bottom - r.top};
}

// lumo-devhost running test_game.exe, which has called lumoGameInit.
class DevhostSession {
 public:
  // `gameSteps`: test_game's --steps, which begin with init.
  explicit DevhostSession(const std::string& devhostArgs, const std::string& gameSteps = "init") {
    const std::wstring command = Quote(BinPath(L"lumo-devhost.exe")) + L" --capture=none --channel=" +
                                 Widen(UniqueName("host")) + L" --token=" + Widen(UniqueName("tok")) + L" " +
                                 Widen(devhostArgs) + L" " + Quote(BinPath(L"test_game.exe")) + L" --steps=" +
                                 Widen(gameSteps) + L" --after-loop-ms=0";
    if (!devhost_.Start(command)) return;
    for (int i = 0; i < 3000 && After(devhost_.Output(), "[game] init=").empty(); ++i) Sleep(10);
    const std::string out = devhost_.Output();
    init_ = After(out, "[game] init=");
    host_ = HandleOf(After(out, "[devhost] window="));
    game_ = HandleOf(After(out, "[game] window="));
    // The devhost has read the announcement once it names the game's channel.
    for (int i = 0; i < 3000 && After(devhost_.Output(), "[devhost] game channel=").empty(); ++i) Sleep(10);
  }

  ~DevhostSession() {
    if (IsWindow(game_)) PostMessageW(game_, kPing, 3, 0);
    DWORD code = 0;
    if (!devhost_.Wait(30000, &code)) devhost_.Kill();
  }

  bool Ready() const {
    return init_ == "0" && IsWindow(host_) && IsWindow(game_) &&
           !After(devhost_.Output(), "[devhost] game channel=").empty();
  }
  HWND host() const { return host_; }
  HWND game() const { return game_; }
  std::string Output() const { return devhost_.Output(); }

  // Returns once the game's thread has handled what the devhost's window
  // thread asked of it so far: a sent message (an asynchronous SetWindowPos
  // is one under Wine) and a posted one (as it is on Windows), each behind
  // whatever was queued before.
  bool Settle() {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(game_, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result)) return false;
    const size_t pongs = Count(devhost_.Output(), "[game] pong");
    if (!PostMessageW(game_, kPing, 0, 0)) return false;
    for (int i = 0; i < 500; ++i) {
      if (Count(devhost_.Output(), "[game] pong") > pongs) return true;
      Sleep(10);
    }
    return false;
  }

  // Waits (at most `boundMs`) until the game window has the devhost's client
  // size: the devhost's sizing thread, not its window thread, sizes it, so
  // the sizing may reach the game after what Settle waits for.
  void WaitUntilFollowed(DWORD boundMs) const {
    const ULONGLONG end = GetTickCount64() + boundMs;
    while (GetTickCount64() < end) {
      const SIZE game = WindowSize(game_);
      const SIZE client = ClientSize(host_);
      if (game.cx == client.cx && game.cy == client.cy) return;
      Sleep(10);
    }
  }

 private:
  mutable lumo_test::ChildProcess devhost_;  // Output() reads what the pipe brought so far
  std::string init_;
  HWND host_ = nullptr;
  HWND game_ = nullptr;
};

// Grows the devhost's window by (dx, dy), as dragging its frame does; the
// call returns once the devhost's window thread has handled the change.
void Grow(HWND host, int dx, int dy) {
  const SIZE size = WindowSize(host);
  SetWindowPos(host, nullptr, 0, 0, size.cx + dx, size.cy + dy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TEST(DevhostFollow, WithoutAParentTheGameWindowStaysWhereItIs) {
  DevhostSession session("--no-parent");
  ASSERT_TRUE(session.Ready()) << session.Output();
  ASSERT_NE(GetAncestor(session.game(), GA_PARENT), session.host());
  const RECT before = WindowRect(session.game());

  Grow(session.host(), 120, 80);
  ASSERT_TRUE(session.Settle());
  EXPECT_EQ(Text(WindowRect(session.game())), Text(before)) << "after a resize of the devhost\n" << session.Output();

  ShowWindow(session.host(), SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(session.host()));
  ASSERT_TRUE(session.Settle());
  EXPECT_EQ(Text(WindowRect(session.game())), Text(before)) << "after minimising the devhost\n" << session.Output();

  ShowWindow(session.host(), SW_RESTORE);
  ASSERT_TRUE(session.Settle());
  EXPECT_EQ(Text(WindowRect(session.game())), Text(before)) << "after restoring the devhost\n" << session.Output();
}

TEST(DevhostFollow, EmbeddedTheGameWindowFollowsTheClientAreaButNotAMinimise) {
  DevhostSession session("--size=640x400");
  ASSERT_TRUE(session.Ready()) << session.Output();
  ASSERT_EQ(GetAncestor(session.game(), GA_PARENT), session.host());

  Grow(session.host(), 120, 80);
  const SIZE grown = ClientSize(session.host());
  ASSERT_EQ(grown.cx, 760);
  ASSERT_TRUE(session.Settle());
  session.WaitUntilFollowed(5000);
  SIZE game = WindowSize(session.game());
  EXPECT_EQ(game.cx, grown.cx) << session.Output();
  EXPECT_EQ(game.cy, grown.cy) << session.Output();

  ShowWindow(session.host(), SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(session.host()));
  ASSERT_TRUE(session.Settle());
  game = WindowSize(session.game());
  EXPECT_EQ(game.cx, grown.cx) << "a minimised devhost sized the game window\n" << session.Output();
  EXPECT_EQ(game.cy, grown.cy) << "a minimised devhost sized the game window\n" << session.Output();

  ShowWindow(session.host(), SW_RESTORE);
  ASSERT_TRUE(session.Settle());
  session.WaitUntilFollowed(5000);
  game = WindowSize(session.game());
  const SIZE restored = ClientSize(session.host());
  EXPECT_EQ(game.cx, restored.cx) << session.Output();
  EXPECT_EQ(game.cy, restored.cy) << session.Output();
}

// The game's window thread sleeps (it pumps no messages) while the devhost's
// window is resized twice: the devhost's window answers at once, and once
// the game pumps again its window has the second size.
TEST(DevhostFollow, AHungGameNeverHoldsTheDevhostsWindowAndGetsTheLatestSizeAfterwards) {
  DevhostSession session("--size=640x400", "init,sleep:4000");
  ASSERT_TRUE(session.Ready()) << session.Output();
  ASSERT_EQ(GetAncestor(session.game(), GA_PARENT), session.host());
  DWORD_PTR result = 0;
  ASSERT_EQ(SendMessageTimeoutW(session.game(), WM_NULL, 0, 0, SMTO_NORMAL, 200, &result), 0)
      << "the game's window thread must be asleep for this test\n" << session.Output();

  const ULONGLONG start = GetTickCount64();
  Grow(session.host(), 120, 80);
  Grow(session.host(), 40, 20);
  const bool answered = SendMessageTimeoutW(session.host(), WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) != 0;
  const ULONGLONG tookMs = GetTickCount64() - start;
  const bool gameStillAsleep = SendMessageTimeoutW(session.game(), WM_NULL, 0, 0, SMTO_NORMAL, 10, &result) == 0;
  EXPECT_TRUE(answered) << session.Output();
  EXPECT_LT(tookMs, 1500u) << "the devhost's window waited on the hung game\n" << session.Output();
  ASSERT_TRUE(gameStillAsleep) << "the game woke before the devhost was checked; the check proves nothing";

  const SIZE latest = ClientSize(session.host());
  ASSERT_EQ(latest.cx, 800);
  session.WaitUntilFollowed(15000);
  const SIZE game = WindowSize(session.game());
  EXPECT_EQ(game.cx, latest.cx) << session.Output();
  EXPECT_EQ(game.cy, latest.cy) << session.Output();
}

}  // namespace
