#include "sdk/init.h"

#include <cwchar>

#include "diag/log.h"
#include "ipc/ipc_link.h"
#include "launch/launch_params.h"
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

  const uint32_t style = static_cast<uint32_t>(GetWindowLongPtrW(game, GWL_STYLE));
  SetWindowLongPtrW(game, GWL_STYLE, static_cast<LONG_PTR>((style & kStyleKeepMask) | kStyleSet));
  const LONG_PTR exStyle = GetWindowLongPtrW(game, GWL_EXSTYLE);
  SetWindowLongPtrW(game, GWL_EXSTYLE, exStyle & ~static_cast<LONG_PTR>(kExStyleClear));
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

SdkError Init(SdkContext& ctx) {
  nbase::AutoLock lifecycle(ctx.lifecycle);
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

  if (!ctx.ipc.StartIpc(std::string(ctx.launchParams.channelName))) {
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
