#include "sdk/init.h"

#include <cwchar>

#include "diag/log.h"
#include "ipc/ipc_channel.h"
#include "launch/launch_params.h"
#include "sdk/host_window.h"
#include "sdk/notify.h"
#include "sdk/operations.h"

namespace lumo {

namespace {

// Clears WS_POPUP, WS_VISIBLE, WS_CLIPSIBLINGS, WS_CLIPCHILDREN, the caption,
// system menu, sizing border and the minimise/maximise boxes...
constexpr uint32_t kStyleKeepMask = 0x6930FFFF;
// ...then sets WS_POPUP, WS_VISIBLE, WS_CLIPSIBLINGS and WS_CLIPCHILDREN.
constexpr uint32_t kStyleSet = 0x96000000;
// WS_EX_DLGMODALFRAME, WS_EX_TOPMOST, WS_EX_TOOLWINDOW, WS_EX_WINDOWEDGE.
constexpr uint32_t kExStyleClear = 0x189;

// A host whose window thread does not answer within this gets no embedding.
constexpr DWORD kHostAnswerMs = 1000;
// Upper bound for SetParent into the host. Generous: under Wine re-parenting
// a shown window alone can take about 2 s (the X server confirming the unmap).
constexpr DWORD kReparentBoundMs = 5000;

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

bool EmbedGameWindow(HWND game, HWND host) {
  if (game == nullptr || !IsWindow(game) || host == nullptr || !IsWindow(host)) return false;
  // A hung host would hold the game's thread inside SetParent for as long as
  // it hangs; such a host gets no embedding, and nothing is changed.
  if (!WindowAnswers(host, kHostAnswerMs)) {
    SdkLog(L"EmbedGameWindow host window does not answer in %lu ms",
           static_cast<unsigned long>(kHostAnswerMs));
    return false;
  }

  const LONG_PTR oldStyle = GetWindowLongPtrW(game, GWL_STYLE);
  const LONG_PTR oldExStyle = GetWindowLongPtrW(game, GWL_EXSTYLE);
  const uint32_t style = static_cast<uint32_t>(oldStyle);
  SetWindowLongPtrW(game, GWL_STYLE, static_cast<LONG_PTR>((style & kStyleKeepMask) | kStyleSet));
  SetWindowLongPtrW(game, GWL_EXSTYLE, oldExStyle & ~static_cast<LONG_PTR>(kExStyleClear));
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

SdkError Init(SdkContext& ctx) {
  if (ctx.initialised) {
    SdkLog(L"Init already OK");
    return SdkError_Ok;
  }
  if (!EnsureLaunchParamsLoaded(ctx)) {
    SdkLog(L"EnsureLaunchParamsLoaded failed err=%d (LaunchParamsFailed)", SdkError_LaunchParamsFailed);
    return SdkError_LaunchParamsFailed;
  }

  GameWindowSearch search = {GetCurrentThreadId(), nullptr};
  EnumThreadWindows(search.threadId, &FindGameWindowProc, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr || !IsWindow(search.found)) {
    SdkLog(L"Init failed err=%d (GameWindowNotFound)", SdkError_GameWindowNotFound);
    return SdkError_GameWindowNotFound;
  }
  ctx.gameWnd = search.found;
  ctx.gameThreadId = GetCurrentThreadId();

  if (!StartIpc(ctx.ipc, std::string(ctx.launchParams.channelName))) {
    SdkLog(L"Init failed err=%d (IpcGameStartFailed)", SdkError_IpcGameStartFailed);
    return SdkError_IpcGameStartFailed;
  }

  if (ctx.launchParams.parentValid != 0 && !EmbedGameWindow(ctx.gameWnd, ctx.launchParams.parentWnd)) {
    SdkLog(L"Init failed err=%d (EmbedAttachFailed)", SdkError_EmbedAttachFailed);
    return SdkError_EmbedAttachFailed;
  }

  const SdkError notified = NotifyHostWndReady(ctx);
  if (notified != SdkError_Ok) return notified;

  ctx.initialised = true;
  SdkLog(L"Init success");
  return SdkError_Ok;
}

}  // namespace lumo
