// The styles a game window gets for its place inside the launcher's window,
// and the way back. Shared by the embedding (game_window.cpp) and by
// lumo-hostcheck, whose trial windows must be restyled exactly as a game
// window is. The calls go to the window's thread: call them on the thread
// that made the window.
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
// Cleared from the extended style: no modal frame, tool-window or raised
// edge inside the host. WS_EX_TOPMOST goes too, but not through this mask:
// the bit is a z-order state that only SetWindowPos changes (it clears and
// sets the bit itself), so the style writes leave it as they find it.
constexpr uint32_t kEmbedExStyleClear = WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE;
static_assert(~kEmbedStyleClear == 0x6930FFFFu && kEmbedStyleSet == 0x96000000u &&
                  (kEmbedExStyleClear | WS_EX_TOPMOST) == 0x189u,
              "the host expects exactly these styles");

// The styles a window had before RestyleForHost.
struct SavedStyles {
  LONG_PTR style = 0;
  LONG_PTR exStyle = 0;
};

// Restyles `wnd` as a borderless popup for the host window and applies the
// change without moving, sizing or activating it. A topmost window is first
// taken out of the topmost band (SetWindowPos(HWND_NOTOPMOST), which takes
// the windows it owns along). Returns the styles it had.
SavedStyles RestyleForHost(HWND wnd);

// Puts back the styles RestyleForHost found, and a window that was topmost
// back into the topmost band (SetWindowPos(HWND_TOPMOST)). The windows it
// owns go back with it, as they left with it: a window that a topmost window
// owns is topmost itself, so none is lifted above where it was. (Wine leaves
// them in the band, and then keeps the owner out: docs/windows-and-wine.md.)
void RestoreStyles(HWND wnd, const SavedStyles& saved);

}  // namespace lumo
