#include "sdk/game_window.h"

#include <cwchar>

#include "diag/log.h"
#include "sdk/host_window.h"

namespace lumo {

namespace {

// A host whose window thread does not answer within this gets no embedding.
constexpr DWORD kHostAnswerMs = 1000;
// Upper bound for SetParent into the host. Generous: under Wine re-parenting
// a shown window alone can take about 2 s (the X server confirming the unmap).
constexpr DWORD kReparentBoundMs = 5000;
// At shutdown, together under the time Uninit may take with a hung host.
constexpr DWORD kDetachHostAnswerMs = 300;
constexpr DWORD kDetachBoundMs = 800;

// Makes a style change take effect without moving, sizing, re-ordering or
// activating the window.
void ApplyFrameChange(HWND wnd) {
  SetWindowPos(wnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// SetParent(game, host) within kReparentBoundMs. When it does not finish in
// time the window goes back to top level once it does, so a failed Init
// never leaves it embedded.
bool ReparentIntoHost(HWND game, HWND host) {
  switch (BoundedSetParent(game, host, kReparentBoundMs, LateReparent::BackToTopLevel)) {
    case ReparentResult::Done:
      return true;
    case ReparentResult::TimedOut:
      SdkLog(L"EmbedGameWindow re-parenting not done in %lu ms, left to finish; the window goes back to top level then",
             static_cast<unsigned long>(kReparentBoundMs));
      return false;
    case ReparentResult::NoThread:
    default:
      SdkLog(L"EmbedGameWindow cannot start the re-parenting thread");
      return false;
  }
}

}  // namespace

BOOL CALLBACK FindGameWindowProc(HWND wnd, LPARAM param) {
  auto* search = reinterpret_cast<GameWindowSearch*>(param);
  if (GetWindowThreadProcessId(wnd, nullptr) != search->threadId) return TRUE;
  if (GetParent(wnd) != nullptr) return TRUE;
  if (!IsWindow(wnd)) return TRUE;
  wchar_t className[256] = {};
  GetClassNameW(wnd, className, 256);
  if (std::wcsstr(className, L"UnityWndClass") != nullptr || std::wcsstr(className, L"Unreal") != nullptr) {
    search->found = wnd;
    return FALSE;
  }
  if (GetWindowTextLengthW(wnd) <= 0) return TRUE;
  search->found = wnd;
  return FALSE;
}

HWND FindGameWindow(uint32_t threadId) {
  GameWindowSearch search = {threadId, nullptr};
  EnumThreadWindows(threadId, &FindGameWindowProc, reinterpret_cast<LPARAM>(&search));
  return (search.found != nullptr && IsWindow(search.found)) ? search.found : nullptr;
}

bool EmbedGameWindow(HWND game, HWND host) {
  if (game == nullptr || !IsWindow(game) || host == nullptr || !IsWindow(host)) return false;
  // A hung host would hold the game's thread inside SetParent for as long as
  // it hangs; such a host gets no embedding, and nothing is changed.
  if (!WindowAnswers(host, kHostAnswerMs)) {
    SdkLog(L"EmbedGameWindow host window does not answer in %lu ms", static_cast<unsigned long>(kHostAnswerMs));
    return false;
  }

  const LONG_PTR oldStyle = GetWindowLongPtrW(game, GWL_STYLE);
  const LONG_PTR oldExStyle = GetWindowLongPtrW(game, GWL_EXSTYLE);
  const uint32_t style = static_cast<uint32_t>(oldStyle);
  SetWindowLongPtrW(game, GWL_STYLE, static_cast<LONG_PTR>((style & ~kEmbedStyleClear) | kEmbedStyleSet));
  SetWindowLongPtrW(game, GWL_EXSTYLE, oldExStyle & ~static_cast<LONG_PTR>(kEmbedExStyleClear));
  ApplyFrameChange(game);
  if (!ReparentIntoHost(game, host)) {
    // The game keeps its own window: frame and all.
    SetWindowLongPtrW(game, GWL_STYLE, oldStyle);
    SetWindowLongPtrW(game, GWL_EXSTYLE, oldExStyle);
    ApplyFrameChange(game);
    return false;
  }

  RECT client = {};
  GetClientRect(host, &client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  MoveWindow(game, 0, 0, width, height, FALSE);
  const LPARAM size = static_cast<LPARAM>((static_cast<uint32_t>(height & 0xFFFF) << 16) |
                                          static_cast<uint32_t>(width & 0xFFFF));
  SendMessageW(game, WM_SIZE, SIZE_RESTORED, size);
  UpdateWindow(game);
  return true;
}

void DetachGameWindow(HWND game) {
  if (game == nullptr || !IsWindow(game)) return;
  // A host that does not answer, or hangs during the detach, is left
  // behind: the process ends shortly anyway.
  if (!WindowAnswers(GetAncestor(game, GA_PARENT), kDetachHostAnswerMs)) {
    SdkLog(L"Uninit host window does not answer in %lu ms, game window not detached",
           static_cast<unsigned long>(kDetachHostAnswerMs));
    return;
  }
  switch (BoundedSetParent(game, nullptr, kDetachBoundMs, LateReparent::Keep)) {
    case ReparentResult::Done:
      return;
    case ReparentResult::TimedOut:
      SdkLog(L"Uninit detach not done in %lu ms, left to finish", static_cast<unsigned long>(kDetachBoundMs));
      return;
    case ReparentResult::NoThread:
    default:
      SdkLog(L"Uninit cannot start the detach thread, game window not detached");
      return;
  }
}

}  // namespace lumo
