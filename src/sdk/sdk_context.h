// SdkContext: the one process-wide state record behind the five exports.
//
// Built on first use by GetSdkContext (safe against concurrent first calls)
// and destroyed at image unload. The exports are meant for the game's window
// thread but may be called from any thread: Init and Uninit run one at a
// time under `lifecycle`; Login takes it only to check and to store, never
// across its request; ShowPay and GetLoginInfo take no lock and read the
// two flags, which change only under `lifecycle`. The launch parameters are
// written before `initialised` is set and are read only after it. The IPC
// threads never call the exports.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "LumoGameSDK.h"
#include "ipc/ipc_link.h"
#include "launch/launch_params.h"
#include "nbase/lock.h"

namespace lumo {

struct SdkContext {
  LaunchParams launchParams{};
  LoginInfo loginInfo{};
  bool launchParamsLoaded = false;
  // launchParams.hostPipe as a string, set once with the launch parameters,
  // so that a message to the host does not build the name each time.
  std::string hostTarget;
  std::atomic<bool> initialised{false};
  std::atomic<bool> loggedIn{false};
  // Counts the sessions ended by Uninit, so that a login whose request
  // outlived its session does not store its answer into the next state.
  std::atomic<uint32_t> sessionsEnded{0};
  HWND gameWnd = nullptr;
  uint32_t gameThreadId = 0;
  nbase::Lock lifecycle;
  IpcLink ipc;
};

SdkContext& GetSdkContext();

// Reads the command line into ctx.launchParams the first time only (under
// ctx.lifecycle); later calls return at once. Reading cannot fail: a missing
// or unusable option leaves its field empty.
void EnsureLaunchParamsLoaded(SdkContext& ctx);

}  // namespace lumo
