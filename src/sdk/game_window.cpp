#include "sdk/game_window.h"

#include <cwchar>
#include <string>

#include "diag/log.h"
#include "ipc/host_process.h"
#include "ipc/integrity_level.h"
#include "sdk/dpi_awareness.h"
#include "sdk/dpi_embedding_rules.h"
#include "sdk/host_window.h"

namespace lumo {

namespace {

// A host whose window thread does not answer within this gets no embedding.
constexpr DWORD kHostAnswerMs = 1000;
// Upper bound for SetParent into the host. Generous: under Wine re-parenting
// a shown window alone can take about 2 s (the X server confirming the unmap).
constexpr DWORD kReparentBoundMs = 5000;
// At shutdown; with the IPC stop they keep Uninit under 2 s (shutdown.cpp).
// A window thread that pumps answers within a millisecond or two.
constexpr DWORD kDetachHostAnswerMs = 100;
constexpr DWORD kDetachBoundMs = 800;

// Makes a style change take effect without moving, sizing, re-ordering or
// activating the window.
void ApplyFrameChange(HWND wnd) {
  SetWindowPos(wnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// The DPI values that decide whether Windows lets the game window into the
// host window, read before the re-parenting (the host window may be gone
// after it).
struct DpiPair {
  DpiAwareness game;
  DpiAwareness host;
  DpiHosting hosting;
};

DpiPair ReadDpiPair(HWND game, HWND host) {
  return {WindowDpiAwareness(game), WindowDpiAwareness(host), WindowDpiHosting(host)};
}

// A guess only: the outcome of the re-parenting decides.
void WarnIfDpiMayRefuse(const DpiPair& dpi) {
  if (JudgeDpiEmbedding(dpi.game, dpi.host, dpi.hosting) != DpiEmbedVerdict::MayBeRefused) return;
  SdkLog(L"EmbedGameWindow warning: the game window is %ls and the host window is %ls with %ls DPI hosting; "
         L"Windows 10 1703 and later may refuse to embed it: %ls",
         DpiAwarenessName(dpi.game), DpiAwarenessName(dpi.host), DpiHostingName(dpi.hosting),
         DpiEmbeddingCure(dpi.game, dpi.host, dpi.hosting).c_str());
}

const wchar_t* ErrorName(DWORD error) {
  switch (error) {
    case 0:
      return L"none set";
    case ERROR_ACCESS_DENIED:
      return L"access denied";
    case ERROR_INVALID_WINDOW_HANDLE:
      return L"invalid window handle";
    case ERROR_INVALID_PARAMETER:
      return L"invalid parameter";
    default:
      return L"see the system's error list";
  }
}

// What either side can do about a refused re-parenting, the likeliest cause
// first.
std::wstring RefusalAdvice(HWND host, DWORD error, const DpiPair& dpi) {
  std::wstring advice;
  if (!IsWindow(host)) {
    advice = L"the host window was destroyed before the game could be embedded: the launcher must keep it open "
             L"until the game has sent GameWndReady";
  } else if (error == ERROR_ACCESS_DENIED) {
    advice = HigherIntegrityHint(ProcessIntegrityLevel(WindowProcessId(host)), OwnIntegrityLevel());
  }
  const std::wstring cure = DpiEmbeddingCure(dpi.game, dpi.host, dpi.hosting);
  if (!cure.empty()) advice += (advice.empty() ? L"" : L"; also, ") + cure;
  if (advice.empty()) {
    advice = L"the launcher must create its window with mixed DPI hosting, at the game's integrity level, and "
             L"keep it open until the game has sent GameWndReady";
  }
  return advice;
}

// SetParent(game, host) within kReparentBoundMs, then a look at where the
// window is: true only when the host window is now its parent. When the
// re-parenting does not finish in time the window goes back to top level
// once it does, so a failed Init never leaves it embedded.
bool ReparentIntoHost(HWND game, HWND host, const DpiPair& dpi) {
  DWORD error = 0;
  switch (BoundedSetParent(game, host, kReparentBoundMs, LateReparent::BackToTopLevel, &error)) {
    case ReparentResult::Done:
      break;
    case ReparentResult::TimedOut:
      SdkLog(L"EmbedGameWindow re-parenting not done in %lu ms, left to finish; the window goes back to top level then",
             static_cast<unsigned long>(kReparentBoundMs));
      return false;
    case ReparentResult::NoThread:
    default:
      SdkLog(L"EmbedGameWindow cannot start the re-parenting thread");
      return false;
  }
  // Windows refuses re-parentings that Wine allows (another DPI awareness, an
  // elevated launcher); only the window's place tells.
  if (GetAncestor(game, GA_PARENT) == host) return true;
  SdkLog(L"EmbedGameWindow the game window is not inside the host window after SetParent (error %lu, %ls); "
         L"game window: %ls, host window: %ls, host DPI hosting: %ls; %ls",
         static_cast<unsigned long>(error), ErrorName(error), DpiAwarenessName(dpi.game), DpiAwarenessName(dpi.host),
         DpiHostingName(dpi.hosting), RefusalAdvice(host, error, dpi).c_str());
  return false;
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

  const DpiPair dpi = ReadDpiPair(game, host);
  WarnIfDpiMayRefuse(dpi);

  const LONG_PTR oldStyle = GetWindowLongPtrW(game, GWL_STYLE);
  const LONG_PTR oldExStyle = GetWindowLongPtrW(game, GWL_EXSTYLE);
  const uint32_t style = static_cast<uint32_t>(oldStyle);
  SetWindowLongPtrW(game, GWL_STYLE, static_cast<LONG_PTR>((style & ~kEmbedStyleClear) | kEmbedStyleSet));
  SetWindowLongPtrW(game, GWL_EXSTYLE, oldExStyle & ~static_cast<LONG_PTR>(kEmbedExStyleClear));
  ApplyFrameChange(game);
  if (!ReparentIntoHost(game, host, dpi)) {
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
