// The game-window search, on real windows of a thread of the test's own.
#include <windows.h>
#include <imm.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sdk/game_window.h"
#include "sdk/operations.h"

namespace {

struct WindowCase {
  const wchar_t* className;
  const wchar_t* title;
  bool owned;  // a popup owned by the thread's first window
};

// Creates the windows on a fresh thread, runs the search there and returns
// the index of the window it chose (-1 for none), plus the thread's own
// enumeration order of the windows.
int Search(const std::vector<WindowCase>& windows, std::vector<int>* order = nullptr,
           const std::function<void(std::vector<HWND>&)>& before = nullptr) {
  int chosen = -2;
  std::thread([&] {
    ImmDisableIME(0);  // Wine's input-method window would be a titled candidate
    std::vector<HWND> wnds;
    for (const WindowCase& window : windows) {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = DefWindowProcW;
      wc.lpszClassName = window.className;
      RegisterClassW(&wc);
      HWND owner = window.owned && !wnds.empty() ? wnds[0] : nullptr;
      const DWORD style = owner ? WS_POPUP | WS_CAPTION : WS_OVERLAPPEDWINDOW;
      wnds.push_back(CreateWindowExW(0, window.className, window.title, style, 0, 0, 100, 100, owner,
                                     nullptr, nullptr, nullptr));
    }
    if (before) before(wnds);
    lumo::GameWindowSearch search = {GetCurrentThreadId(), nullptr};
    EnumThreadWindows(search.threadId, &lumo::FindGameWindowProc, reinterpret_cast<LPARAM>(&search));
    chosen = -1;
    for (size_t i = 0; i < wnds.size(); ++i) {
      if (wnds[i] == search.found) chosen = static_cast<int>(i);
    }
    if (order) {
      struct Ctx { std::vector<HWND>* wnds; std::vector<int>* order; } ctx{&wnds, order};
      EnumThreadWindows(GetCurrentThreadId(), [](HWND w, LPARAM p) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(p);
        for (size_t i = 0; i < c->wnds->size(); ++i) {
          if ((*c->wnds)[i] == w) c->order->push_back(static_cast<int>(i));
        }
        return TRUE;
      }, reinterpret_cast<LPARAM>(&ctx));
    }
    for (HWND w : wnds) DestroyWindow(w);
  }).join();
  return chosen;
}

struct ChoiceCase {
  const char* name;
  std::vector<WindowCase> windows;
  int expected;
};

class WindowChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(WindowChoice, PicksTheGameWindow) { EXPECT_EQ(Search(GetParam().windows), GetParam().expected); }

const ChoiceCase kChoiceCases[] = {
    {"EngineWindowWithoutTitle", {{L"AuxWnd", L"", false}, {L"UnityWndClass", L"", false}}, 1},
    {"UnrealSubstring", {{L"UnrealWindow", L"", false}}, 0},
    {"EngineMatchIsCaseSensitive", {{L"GameunrealWnd", L"", false}}, -1},
    {"OtherClassNeedsATitle", {{L"MyEngineWnd", L"", false}}, -1},
    {"OtherClassWithTitle", {{L"MyEngineWnd", L"My Game", false}}, 0},
    {"OwnedWindowsAreSkipped", {{L"AuxWnd", L"", false}, {L"OwnedTitled", L"Dialog", true}}, -1},
    {"NoWindows", {}, -1},
};

INSTANTIATE_TEST_SUITE_P(Table, WindowChoice, ::testing::ValuesIn(kChoiceCases),
                         [](const ::testing::TestParamInfo<ChoiceCase>& info) { return info.param.name; });

TEST(WindowSearch, FirstCandidateInEnumerationOrderWins) {
  // A titled splash and an untitled engine window: both qualify, and the one
  // the system enumerates first is taken, with no preference for the engine.
  std::vector<int> order;
  const int chosen = Search({{L"SplashWnd", L"Loading", false}, {L"UnityWndClass", L"", false}}, &order);
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(chosen, order[0]);
}

TEST(WindowSearch, AWindowFoundOnceItHasATitle) {
  EXPECT_EQ(Search({{L"LateTitleWnd", L"", false}}, nullptr,
                   [](std::vector<HWND>& w) { SetWindowTextW(w[0], L"Now titled"); }),
            0);
}

TEST(WindowSearch, InitOnAThreadWithoutWindowsFindsNothing) {
  lumo::SdkContext ctx;
  SdkError result = SdkError_Ok;
  std::thread([&] { result = lumo::Init(ctx); }).join();
  EXPECT_EQ(result, SdkError_GameWindowNotFound);
  EXPECT_FALSE(ctx.initialised);
  EXPECT_EQ(ctx.gameWnd, nullptr);
  EXPECT_FALSE(ctx.ipc.started());
}

}  // namespace
