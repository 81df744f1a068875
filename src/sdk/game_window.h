// The game's own window: finding it among the game thread's windows,
// embedding it into the launcher's window at init, and giving it back its
// top-level status at shutdown. The calls go to the window's thread, so they
// run on the game's window thread (the search only sees the calling
// thread's windows).
#pragma once

#include <windows.h>

#include <cstdint>

namespace lumo {

// How long the host window's thread has to answer before the embedding
// (EmbedGameWindow): a host that does not answer gets no embedding.
constexpr DWORD kHostAnswerMs = 1000;

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

// Restyles `game` as a borderless popup (out of the topmost band),
// re-parents it into `host` and sizes it to the host's client area. False,
// changing nothing, when either window is missing or the host's window
// thread does not answer within 1 s. Also false, with the styles (and a
// topmost place) put back and one log line that says why, when the game
// window is not inside `host` afterwards (Windows refused: an elevated
// launcher, the host window gone) or the re-parenting does not finish within
// 5 s (the host hung after answering; the window goes back to top level
// should it finish later).
// Warnings first when the two windows' DPI awareness differ (Windows may
// reset the game's awareness) and when the game runs at a higher integrity
// level than the launcher. After a re-parenting that took, one log line when
// the game window's or the calling thread's DPI awareness changed; the
// embedding still counts as done.
bool EmbedGameWindow(HWND game, HWND host);

// DetachGameWindow's parts: the host window answering (a window thread that
// pumps answers within a millisecond or two), then the detach itself.
constexpr DWORD kDetachHostAnswerMs = 100;
constexpr DWORD kDetachBoundMs = 800;
constexpr DWORD kWindowDetachBoundMs = kDetachHostAnswerMs + kDetachBoundMs;

// Makes an embedded `game` a top-level window again (its styles stay as the
// embedding left them). Nothing when the window is gone. Returns within about
// kWindowDetachBoundMs: a host that does not answer in kDetachHostAnswerMs is
// left as it is, a detach not done in kDetachBoundMs is left to finish; one
// log line each.
void DetachGameWindow(HWND game);

}  // namespace lumo
