#include <windows.h>

#include <thread>

#include "diag/log.h"
#include "ipc/ipc_channel.h"
#include "sdk/host_window.h"
#include "sdk/module_pin.h"
#include "sdk/operations.h"

namespace lumo {

namespace {

constexpr DWORD kExitDelayMs = 3000;
// Together under 2 s, so that Uninit returns in time with a hung host.
constexpr DWORD kHostAnswerMs = 500;
constexpr DWORD kDetachBoundMs = 1000;

void DelayedExit() {
  Sleep(kExitDelayMs);
  ExitProcess(0);
}

// Armed before any step that can wait on the host, so the process ends on
// time whatever the host does.
void ArmDelayedExit() {
  // The timer thread runs our code until the process ends.
  PinModule();
  try {
    std::thread(DelayedExit).detach();
  } catch (...) {
    // Without the timer the game would never be ended: end it now.
    ExitProcess(0);
  }
}

// Makes the game window top level again. A host that does not answer, or
// hangs during the detach, is left behind: the process ends shortly anyway.
void DetachFromHost(HWND gameWnd) {
  if (!WindowAnswers(GetAncestor(gameWnd, GA_PARENT), kHostAnswerMs)) {
    SdkLog(L"Uninit host window does not answer in %lu ms, game window not detached",
           static_cast<unsigned long>(kHostAnswerMs));
    return;
  }
  switch (BoundedSetParent(gameWnd, nullptr, kDetachBoundMs, LateReparent::Keep)) {
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

}  // namespace

void Uninit(SdkContext& ctx) {
  if (!ctx.initialised) return;
  if (ctx.ipc.ipcStarted) StopIpc(ctx.ipc);
  ArmDelayedExit();

  if (ctx.launchParams.parentValid != 0 && ctx.gameWnd != nullptr && IsWindow(ctx.gameWnd)) {
    DetachFromHost(ctx.gameWnd);
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
}

}  // namespace lumo
