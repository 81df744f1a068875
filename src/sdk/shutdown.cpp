// Shutdown: the work behind lumoGameUninit, in one place. The order is the
// contract with the game and the host: refuse further calls, arm the exit
// 3 s from now, stop IPC (bounded), give the window back (bounded), forget
// the session, ask the game to close.
#include <windows.h>

#include "ipc/ipc_link.h"
#include "nbase/monotonic_clock.h"
#include "nbase/system_library.h"
#include "nbase/thread.h"
#include "sdk/game_window.h"
#include "sdk/operations.h"

namespace lumo {

namespace {

constexpr DWORD kExitDelayMs = 3000;
// Uninit's two bounded steps, the IPC link's stop and the window's detach,
// keep it within this (see Uninit and the integration guide).
constexpr DWORD kUninitBoundMs = 2000;
static_assert(kIpcStopBoundMs + kWindowDetachBoundMs < kUninitBoundMs, "Uninit's bounds changed");

void DelayedExit(uint64_t exitAtMs) {
  const uint64_t now = nbase::SteadyNowMs();
  if (now < exitAtMs) Sleep(static_cast<DWORD>(exitAtMs - now));
  ExitProcess(0);
}

// True once the process is ending: ExitProcess has begun (main returned,
// say), the system has ended every other thread and is unloading modules,
// and a call from a DllMain or a DLL's global destructor comes now.
bool ProcessIsEnding() {
  using ShutdownInProgress = BOOLEAN(NTAPI*)();
  static const ShutdownInProgress query =
      nbase::LoadedFunction<ShutdownInProgress>(L"ntdll.dll", "RtlDllShutdownInProgress");
  return query != nullptr && query() != 0;
}

// Armed before any step that can wait on the host, so the process ends on
// time whatever the host does. Counted from the call: a caller holding the
// loader lock (lumoGameUninit inside a DllMain) keeps the timer thread from
// beginning until it lets go, and the exit still comes 3 s after the call.
void ArmDelayedExit() {
  // Ending already, with the game's own exit code: no timer can start now,
  // and ending the process here would cut short the rest of its shutdown.
  if (ProcessIsEnding()) return;
  const uint64_t exitAtMs = nbase::SteadyNowMs() + kExitDelayMs;
  // Let go at once, not waited for: its start has no bound to keep, and a
  // timer that cannot begin yet (the loader lock) begins as soon as it is
  // free and still ends the process on time.
  nbase::Thread timer;
  if (!timer.Create([exitAtMs] { DelayedExit(exitAtMs); })) {
    // Without the timer the game would never be ended: end it now.
    ExitProcess(0);
  }
  timer.LetGo();
}

}  // namespace

void Uninit(SdkContext& ctx) {
  nbase::AutoLock lifecycle(ctx.lifecycle);
  if (!ctx.initialised) return;
  // From here on every other call answers as after shutdown (-6), also on
  // threads that are running alongside this one.
  ctx.loggedIn = false;
  ctx.initialised = false;
  ctx.sessionsEnded.fetch_add(1);
  ArmDelayedExit();

  // Bounded, together under kUninitBoundMs: StopIpc within kIpcStopBoundMs
  // (what is not delivered by then is dropped with a log line), the detach
  // within kWindowDetachBoundMs.
  if (ctx.ipc.started()) ctx.ipc.StopIpc();
  if (ctx.launchParams.parentValid != 0) DetachGameWindow(ctx.gameWnd);

  const HWND gameWnd = ctx.gameWnd;
  const uint32_t gameThreadId = ctx.gameThreadId;
  ctx.gameWnd = nullptr;
  ctx.gameThreadId = 0;
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
