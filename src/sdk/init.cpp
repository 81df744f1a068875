// Init: the work behind lumoGameInit.
#include "diag/log.h"
#include "ipc/ipc_link.h"
#include "sdk/game_window.h"
#include "sdk/host_messages.h"
#include "sdk/operations.h"
#include "sdk/session_lines.h"

namespace lumo {

SdkError Init(SdkContext& ctx) {
  nbase::AutoLock lifecycle(ctx.lifecycle);
  if (ctx.initialised) {
    SdkLog(L"Init already OK");
    return SdkError_Ok;
  }
  EnsureLaunchParamsLoaded(ctx);
  LogFirstInitLines(ctx);

  const HWND gameWnd = FindGameWindow(GetCurrentThreadId());
  if (gameWnd == nullptr) {
    SdkLog(L"Init failed err=%d (GameWindowNotFound)", SdkError_GameWindowNotFound);
    return SdkError_GameWindowNotFound;
  }
  ctx.gameWnd = gameWnd;
  ctx.gameThreadId = GetCurrentThreadId();

  if (!ctx.ipc.StartIpc(std::string(ctx.launchParams.channelName), ctx.launchParams.parentWnd, ctx.hostTarget)) {
    LogChannelRefused(ctx, ctx.ipc.createFailure());
    SdkLog(L"Init failed err=%d (IpcGameStartFailed)", SdkError_IpcGameStartFailed);
    return SdkError_IpcGameStartFailed;
  }

  if (ctx.launchParams.parentValid != 0 && !EmbedGameWindow(ctx.gameWnd, ctx.launchParams.parentWnd)) {
    SdkLog(L"Init failed err=%d (EmbedAttachFailed)", SdkError_EmbedAttachFailed);
    return SdkError_EmbedAttachFailed;
  }
  LogEmbedding(ctx, ctx.launchParams.parentValid != 0);

  const SdkError notified = NotifyHostWndReady(ctx);
  if (notified != SdkError_Ok) return notified;

  ctx.initialised = true;
  SdkLog(L"Init success");
  return SdkError_Ok;
}

}  // namespace lumo
