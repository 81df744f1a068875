#include <windows.h>

#include <thread>

#include "ipc/ipc_channel.h"
#include "sdk/module_pin.h"
#include "sdk/operations.h"

namespace lumo {

namespace {

constexpr DWORD kExitDelayMs = 3000;

void DelayedExit() {
  Sleep(kExitDelayMs);
  ExitProcess(0);
}

}  // namespace

void Uninit(SdkContext& ctx) {
  if (!ctx.initialised) return;
  if (ctx.ipc.ipcStarted) StopIpc(ctx.ipc);

  if (ctx.launchParams.parentValid != 0 && ctx.gameWnd != nullptr && IsWindow(ctx.gameWnd)) {
    SetParent(ctx.gameWnd, nullptr);
  }

  const HWND gameWnd = ctx.gameWnd;
  const uint32_t gameThreadId = ctx.gameThreadId;
  ctx.gameWnd = nullptr;
  ctx.gameThreadId = 0;
  ctx.initialised = false;
  ctx.loggedIn = false;
  ctx.loginInfo = LoginInfo{};

  const DWORD callingThread = GetCurrentThreadId();
  if (gameWnd != nullptr && IsWindow(gameWnd)) PostMessageW(gameWnd, WM_CLOSE, 0, 0);
  if (gameThreadId != 0) {
    if (gameThreadId == callingThread) {
      PostQuitMessage(0);
    } else {
      PostThreadMessageW(gameThreadId, WM_QUIT, 0, 0);
    }
  }

  // The timer thread runs our code until the process ends.
  PinModule();
  try {
    std::thread(DelayedExit).detach();
  } catch (...) {
    // Without the timer the game would never be ended: end it now.
    ExitProcess(0);
  }
}

}  // namespace lumo
