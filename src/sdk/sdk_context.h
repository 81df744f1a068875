// SdkContext: the one process-wide state record behind the five exports.
//
// Built on first use by GetSdkContext (safe against concurrent first calls)
// and destroyed at image unload. The exports use it from the game's window
// thread only and take no lock; the IPC threads never call the exports.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <thread>

#include "LumoGameSDK.h"

namespace lumo {

class CIPCChannel;

// Values read from the command line by LoadLaunchParams.
struct LaunchParams {
  HWND parentWnd;        // host window ("parent")
  int32_t parentValid;   // 1 when parentWnd named an existing window when read
  int64_t gameId;        // "gameid"
  char hostPipe[256];    // "lumo-pipe", UTF-8; where messages to the host go
  char channelName[256]; // the library's own receive channel
  wchar_t token[64];     // "token", at most 63 units
};

// The block that Init hands to StartIpc and Uninit empties.
struct IpcBlock {
  IpcBlock() = default;
  IpcBlock(const IpcBlock&) = delete;
  IpcBlock& operator=(const IpcBlock&) = delete;
  // Runs with IPC still started only at process exit (the module is pinned
  // while IPC runs): the system has ended the IPC threads already, and
  // joining or stopping them now, under the loader lock, would abort or hang
  // the exit. The game's own exit code stands; the system reclaims the rest.
  ~IpcBlock();

  std::shared_ptr<CIPCChannel> channel;
  std::thread receiveThread;
  bool ipcStarted = false;
};

struct SdkContext {
  LaunchParams launchParams{};
  LoginInfo loginInfo{};
  bool launchParamsLoaded = false;
  bool initialised = false;
  bool loggedIn = false;
  HWND gameWnd = nullptr;
  uint32_t gameThreadId = 0;
  IpcBlock ipc;
};

SdkContext& GetSdkContext();

}  // namespace lumo
