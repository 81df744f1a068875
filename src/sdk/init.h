// Pieces of Init that tests drive on their own windows. Game thread.
#pragma once

#include <windows.h>

#include <cstdint>

namespace lumo {

// The record EnumThreadWindows hands to FindGameWindowProc.
struct GameWindowSearch {
  uint32_t threadId;
  HWND found;
};

// Picks the first parentless window of the thread that is an engine window
// (class containing "UnityWndClass" or "Unreal") or has a title.
BOOL CALLBACK FindGameWindowProc(HWND wnd, LPARAM search);

// Restyles `game` as a borderless popup, re-parents it into `host` and sizes
// it to the host's client area. False, changing nothing, when either window
// is missing or the host's window thread does not answer. Also false when the
// re-parenting does not finish within its bound (the host hung after
// answering): the styles are put back then, and the window goes back to top
// level should the re-parenting finish later.
bool EmbedGameWindow(HWND game, HWND host);

}  // namespace lumo
