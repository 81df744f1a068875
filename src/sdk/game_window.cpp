#include "sdk/game_window.h"

#include <cwchar>

namespace lumo {

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

  const uint32_t style = static_cast<uint32_t>(GetWindowLongPtrW(game, GWL_STYLE));
  SetWindowLongPtrW(game, GWL_STYLE, static_cast<LONG_PTR>((style & ~kEmbedStyleClear) | kEmbedStyleSet));
  const LONG_PTR exStyle = GetWindowLongPtrW(game, GWL_EXSTYLE);
  SetWindowLongPtrW(game, GWL_EXSTYLE, exStyle & ~static_cast<LONG_PTR>(kEmbedExStyleClear));
  SetWindowPos(game, nullptr, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  SetParent(game, host);

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
  if (game != nullptr && IsWindow(game)) SetParent(game, nullptr);
}

}  // namespace lumo
