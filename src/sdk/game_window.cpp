#include "sdk/game_window.h"

#include <cwchar>
#include <string>

#include "diag/log.h"
#include "ipc/host_process.h"
#include "ipc/integrity_level.h"
#include "sdk/dpi_awareness.h"
#include "sdk/dpi_embedding_rules.h"
#include "sdk/elevated_game.h"
#include "sdk/embed_style.h"
#include "sdk/host_window.h"

namespace lumo {

namespace {

// Upper bound for SetParent into the host. Generous: under Wine re-parenting
// a shown window alone can take about 2 s (the X server confirming the unmap).
constexpr DWORD kReparentBoundMs = 5000;

// The DPI values of both sides, read before the re-parenting (the host
// window may be gone after it).
struct DpiPair {
  DpiReadings game;
  DpiAwareness host;
  DpiHosting hosting;
};

// The game window's awareness and the calling thread's: Init runs on the
// game's window thread, whose awareness the game's drawing follows.
DpiReadings ReadGameDpi(HWND game) { return {WindowDpiAwareness(game), ThreadDpiAwareness()}; }

DpiPair ReadDpiPair(HWND game, HWND host) {
  return {ReadGameDpi(game), WindowDpiAwareness(host), WindowDpiHosting(host)};
}

// A guess only: whether Windows resets the awareness shows after the
// re-parenting (LogDpiResetIfAny).
void WarnIfDpiMayReset(const DpiPair& dpi) {
  if (JudgeDpiEmbedding(dpi.game.window, dpi.host, dpi.hosting) != DpiEmbedVerdict::MayResetOrRefuse) return;
  SdkLog(L"EmbedGameWindow warning: the game window is %ls and the host window is %ls with %ls DPI hosting; "
         L"Windows may reset the game's DPI awareness or refuse the embedding: %ls",
         DpiAwarenessName(dpi.game.window), DpiAwarenessName(dpi.host), DpiHostingName(dpi.hosting),
         DpiEmbeddingCure(dpi.game.window, dpi.host, dpi.hosting).c_str());
}

// Windows re-parents a game window into a launcher window of another
// awareness and resets the game process's awareness instead of refusing;
// only reading it again tells.
void LogDpiResetIfAny(HWND game, const DpiPair& dpi) {
  const DpiReadings after = ReadGameDpi(game);
  if (after == dpi.game) return;
  SdkLog(L"%ls", DpiResetLine(dpi.game, after, dpi.host, dpi.hosting).c_str());
}

void WarnIfGameAboveLauncher(HWND host) {
  const std::wstring warning = GameAboveLauncherWarning(LauncherAndGameLevels(WindowProcessId(host)));
  if (!warning.empty()) SdkLog(L"%ls", warning.c_str());
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
    case ERROR_TIMEOUT:
      return L"timed out";
    default:
      return L"see the system's error list";
  }
}

// Why `window` did not answer, from the error of the probe. The probe does
// not set an error on every failure: 0 is a failure it named no cause for.
// An access denied is a message blocked on its way up the integrity levels,
// explained as every access denied by the launcher is, with both levels.
std::wstring NoAnswerCause(HWND window, DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
      return HigherIntegrityHint(LauncherAndGameLevels(WindowProcessId(window)));
    case ERROR_INVALID_WINDOW_HANDLE:
      return L"the window is gone";
    case 0:
      return L"the call failed without naming a cause";
    default:
      return L"its thread did not answer (hung or busy)";
  }
}

// "<what> host window does not answer in <n> ms (error <e>, <name>: <cause>)<tail>"
void LogNoAnswer(const wchar_t* what, HWND window, DWORD timeoutMs, DWORD error, const wchar_t* tail) {
  SdkLog(L"%ls host window does not answer in %lu ms (error %lu, %ls: %ls)%ls", what,
         static_cast<unsigned long>(timeoutMs), static_cast<unsigned long>(error), ErrorName(error),
         NoAnswerCause(window, error).c_str(), tail);
}

// What either side can do about a refused re-parenting, the likeliest cause
// first. Another DPI awareness does not refuse a game window (Windows resets
// the game's awareness instead), so the causes are the host window's end and
// integrity levels.
std::wstring RefusalAdvice(HWND host, DWORD error) {
  if (!IsWindow(host)) {
    return L"the host window was destroyed before the game could be embedded: the launcher must keep it open "
           L"until the game has sent GameWndReady";
  }
  if (error == ERROR_ACCESS_DENIED) {
    return HigherIntegrityHint(LauncherAndGameLevels(WindowProcessId(host)));
  }
  return L"the launcher must keep its window open until the game has sent GameWndReady, and not run at a "
         L"higher integrity level than the game";
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
  // Windows refuses re-parentings that Wine allows (an elevated launcher);
  // only the window's place tells.
  if (GetAncestor(game, GA_PARENT) == host) return true;
  SdkLog(L"EmbedGameWindow the game window is not inside the host window after SetParent (error %lu, %ls); "
         L"game window: %ls, host window: %ls, host DPI hosting: %ls; %ls",
         static_cast<unsigned long>(error), ErrorName(error), DpiAwarenessName(dpi.game.window),
         DpiAwarenessName(dpi.host), DpiHostingName(dpi.hosting), RefusalAdvice(host, error).c_str());
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
  DWORD probeError = 0;
  if (!WindowAnswers(host, kHostAnswerMs, &probeError)) {
    LogNoAnswer(L"EmbedGameWindow", host, kHostAnswerMs, probeError, L"");
    return false;
  }

  const DpiPair dpi = ReadDpiPair(game, host);
  WarnIfDpiMayReset(dpi);
  WarnIfGameAboveLauncher(host);

  const SavedStyles saved = RestyleForHost(game);
  if (!ReparentIntoHost(game, host, dpi)) {
    // The game keeps its own window: frame, topmost place and all.
    RestoreStyles(game, saved);
    return false;
  }
  LogDpiResetIfAny(game, dpi);

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
  DWORD probeError = 0;
  const HWND host = GetAncestor(game, GA_PARENT);
  if (!WindowAnswers(host, kDetachHostAnswerMs, &probeError)) {
    LogNoAnswer(L"Uninit", host, kDetachHostAnswerMs, probeError, L", game window not detached");
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
