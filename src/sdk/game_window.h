// The game's own window: finding it among the game thread's windows,
// embedding it into the launcher's window at init, and giving it back its
// top-level status at shutdown. The calls go to the window's thread, so they
// run on the game's window thread (the search only sees the calling
// thread's windows).
#pragma once

#include <windows.h>

#include <cstdint>

namespace lumo {

// What the embedding changes. Cleared from the game window's style: the
// frame, caption, system menu, sizing border and minimise/maximise boxes
// (and the four flags set below, which are set again)...
constexpr uint32_t kEmbedStyleClear = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION |
                                      WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
// ...set: a visible popup that clips its siblings and children.
constexpr uint32_t kEmbedStyleSet = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
// Cleared from the extended style: no modal frame, topmost, tool-window or
// raised edge inside the host.
constexpr uint32_t kEmbedExStyleClear = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE;
static_assert(~kEmbedStyleClear == 0x6930FFFFu && kEmbedStyleSet == 0x96000000u && kEmbedExStyleClear == 0x189u,
              "the host expects exactly these styles");

// The record EnumThreadWindows hands to FindGameWindowProc.
struct GameWindowSearch {
  uint32_t threadId;
  HWND found;
};

// Picks the first parentless window of the thread that is an engine window
// (class containing "UnityWndClass" or "Unreal") or has a title.
BOOL CALLBACK FindGameWindowProc(HWND wnd, LPARAM search);

// The game window among the windows of thread `threadId`, or null.
HWND FindGameWindow(uint32_t threadId);

// Restyles `game` as a borderless popup, re-parents it into `host` and sizes
// it to the host's client area. False, changing nothing, when either window
// is missing or the host's window thread does not answer within 1 s. Also
// false, with the styles put back and one log line that says why, when the
// game window is not inside `host` afterwards (Windows refused: another DPI
// awareness, an elevated launcher, the host window gone) or the
// re-parenting does not finish within 5 s (the host hung after answering;
// the window goes back to top level should it finish later). Logs a warning
// first when the two windows' DPI awareness may make Windows refuse.
bool EmbedGameWindow(HWND game, HWND host);

// Makes an embedded `game` a top-level window again (its styles stay as the
// embedding left them). Nothing when the window is gone. Returns within about
// 0.9 s: a host that does not answer in 100 ms is left as it is, a detach not
// done in 800 ms is left to finish; one log line each.
void DetachGameWindow(HWND game);

}  // namespace lumo
