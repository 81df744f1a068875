// The embedding's restyle and its way back, on real windows of the test's
// thread: a topmost window changes band only through SetWindowPos, before
// the styles are written, and no style write asks for a change of the
// topmost bit (Windows ignores such a change without saying so). A window
// the game window owns ends where it began.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "sdk/embed_style.h"

namespace {

// The WS_EX_TOPMOST bit before and after each extended-style write.
struct ExStyleWrite {
  bool oldTopmost;
  bool newTopmost;
};
std::vector<ExStyleWrite> g_writes;

LRESULT CALLBACK RecordingProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_STYLECHANGING && static_cast<int>(wParam) == GWL_EXSTYLE) {
    const auto* change = reinterpret_cast<const STYLESTRUCT*>(lParam);
    g_writes.push_back({(change->styleOld & WS_EX_TOPMOST) != 0, (change->styleNew & WS_EX_TOPMOST) != 0});
  }
  return DefWindowProcW(wnd, message, wParam, lParam);
}

bool Topmost(HWND wnd) { return (GetWindowLongPtrW(wnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

size_t BandChangingWrites() {
  size_t n = 0;
  for (const ExStyleWrite& write : g_writes) n += write.oldTopmost != write.newTopmost ? 1 : 0;
  return n;
}

struct StyleCase {
  const char* name;
  bool topmost;
  // The game window owns a window. Wine then keeps the owned window in the
  // topmost band when its owner leaves it, and keeps the owner from coming
  // back (SetWindowPos(HWND_TOPMOST) succeeds, the bit stays clear): the
  // game window's band after the restore is not checked here.
  bool owns;
};

void PrintTo(const StyleCase& c, std::ostream* os) { *os << c.name; }

class EmbedStyle : public ::testing::TestWithParam<StyleCase> {};

TEST_P(EmbedStyle, TheBandMovesOnlyThroughSetWindowPosAndComesBackWithTheWindowsItOwns) {
  const StyleCase& c = GetParam();
  WNDCLASSW wc = {};
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = L"EmbedStyleTest";
  RegisterClassW(&wc);
  const LONG_PTR exStyle = WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE | WS_EX_APPWINDOW |
                           (c.topmost ? WS_EX_TOPMOST : 0);
  HWND game = CreateWindowExW(static_cast<DWORD>(exStyle), wc.lpszClassName, L"game", WS_OVERLAPPEDWINDOW, 0, 0,
                              200, 150, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(game, nullptr);
  // A dialog of the game: a window a topmost window owns is topmost itself.
  HWND owned = c.owns ? CreateWindowExW(0, wc.lpszClassName, L"owned", WS_POPUP, 0, 0, 50, 50, game, nullptr,
                                        nullptr, nullptr)
                      : nullptr;
  ASSERT_EQ(owned != nullptr, c.owns);
  const LONG_PTR style = GetWindowLongPtrW(game, GWL_STYLE);
  const LONG_PTR exBefore = GetWindowLongPtrW(game, GWL_EXSTYLE);
  ASSERT_EQ(Topmost(game), c.topmost);
  const bool ownedBefore = c.owns && Topmost(owned);

  g_writes.clear();
  const lumo::SavedStyles saved = lumo::RestyleForHost(game);
  EXPECT_EQ(saved.style, style);
  EXPECT_EQ(saved.exStyle, exBefore);
  EXPECT_FALSE(g_writes.empty());
  EXPECT_EQ(BandChangingWrites(), 0u) << "a style write asked to change the topmost bit";
  EXPECT_FALSE(Topmost(game));
  EXPECT_EQ(GetWindowLongPtrW(game, GWL_STYLE),
            static_cast<LONG_PTR>((static_cast<uint32_t>(style) & ~lumo::kEmbedStyleClear) | lumo::kEmbedStyleSet));
  EXPECT_EQ(GetWindowLongPtrW(game, GWL_EXSTYLE), exBefore & ~static_cast<LONG_PTR>(0x189));

  g_writes.clear();
  lumo::RestoreStyles(game, saved);
  EXPECT_FALSE(g_writes.empty());
  EXPECT_EQ(BandChangingWrites(), 0u) << "a style write asked to change the topmost bit";
  EXPECT_EQ(GetWindowLongPtrW(game, GWL_STYLE), style);
  const LONG_PTR exAfter = GetWindowLongPtrW(game, GWL_EXSTYLE);
  EXPECT_EQ(exAfter & ~static_cast<LONG_PTR>(WS_EX_TOPMOST), exBefore & ~static_cast<LONG_PTR>(WS_EX_TOPMOST));
  if (c.owns) {
    EXPECT_EQ(Topmost(owned), ownedBefore) << "the owned window is not in the band it was in";
  } else {
    EXPECT_EQ(Topmost(game), c.topmost);
  }

  DestroyWindow(game);  // and the window it owns
  UnregisterClassW(wc.lpszClassName, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Windows, EmbedStyle,
                         ::testing::Values(StyleCase{"Topmost", true, false}, StyleCase{"NotTopmost", false, false},
                                           StyleCase{"TopmostOwningAWindow", true, true}),
                         [](const ::testing::TestParamInfo<StyleCase>& info) { return info.param.name; });

}  // namespace
