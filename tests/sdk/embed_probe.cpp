// Embedding probe: Init in a process of its own (linked with the library's
// parts, not the DLL) against a host window and host channel of its own, with
// the re-parenting's outcome chosen on the command line. Windows refuses
// re-parentings that Wine allows; this reaches those paths here.
//
//   embed_probe took|access-denied|invalid-handle|host-gone|host-busy [topmost] [system-aware]
//
// host-busy: the host window's thread holds the game's 1 s check (the
// re-parenting is never tried).
// topmost: the game window is made topmost. system-aware: the game thread is
// system aware before it makes its window (the host window keeps the
// process's awareness).
//
// Prints "[probe] dpi game=<a> thread=<a> host=<a>" before Init and
// "[probe] dpi-after game=<a> thread=<a>" after it, "[probe] state ..." before and
// after Init, "[probe] init=<code>",
// and after a failed Init: a marker sent to the host, then a second Init
// with the real re-parenting against a live host window ("[probe] retry=").
// Last: "[probe] host-got=<msg>,<msg>..." in the order the host read them.
#include <windows.h>
#include <imm.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "sdk/dpi_awareness.h"
#include "sdk/dpi_embedding_rules.h"
#include "sdk/host_window.h"
#include "sdk/operations.h"
#include "support/test_host.h"

namespace {

HWND WINAPI RefuseAccessDenied(HWND, HWND) {
  SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}

HWND WINAPI RefuseInvalidHandle(HWND, HWND) {
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return nullptr;
}

// The host window goes away between the library's check and its call.
HWND WINAPI HostGoneFirst(HWND child, HWND parent) {
  SendMessageW(parent, WM_CLOSE, 0, 0);
  return SetParent(child, parent);
}

std::string Name(lumo::DpiAwareness awareness) {
  const std::wstring name = lumo::DpiAwarenessName(awareness);
  return std::string(name.begin(), name.end());
}

void PrintState(const char* when, HWND wnd) {
  HWND parent = GetAncestor(wnd, GA_PARENT);
  if (parent == GetDesktopWindow()) parent = nullptr;
  std::printf("[probe] state %s style=%08lx exstyle=%08lx parent=%llu\n", when,
              static_cast<unsigned long>(GetWindowLongPtrW(wnd, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongPtrW(wnd, GWL_EXSTYLE)),
              static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(parent)));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  bool topmost = false, systemAware = false;
  for (int i = 2; i < argc; ++i) {
    topmost = topmost || std::strcmp(argv[i], "topmost") == 0;
    systemAware = systemAware || std::strcmp(argv[i], "system-aware") == 0;
  }
  lumo::ReparentCall call = nullptr;
  if (mode == "access-denied") {
    call = RefuseAccessDenied;
  } else if (mode == "invalid-handle") {
    call = RefuseInvalidHandle;
  } else if (mode == "host-gone") {
    call = HostGoneFirst;
  } else if (mode != "took" && mode != "host-busy") {
    return 2;
  }
  ImmDisableIME(0);  // Wine's titled input-method window is no game window

  const std::string pid = std::to_string(GetCurrentProcessId());
  auto host = std::make_unique<lumo_test::HostWindowThread>(mode == "host-busy"
                                                                ? lumo_test::HostWindowThread::OnNull::Hang
                                                                : lumo_test::HostWindowThread::OnNull::Answer);
  lumo_test::HostChannelReader hostChannel("lumo_test_embed_host_" + pid);
  if (host->hwnd() == nullptr || !hostChannel.ok()) return 3;

  if (systemAware && !lumo::SetThreadDpiAwareness(lumo::DpiAwareness::SystemAware)) return 4;
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"EmbedProbeGame";
  RegisterClassW(&wc);
  const DWORD exStyle = WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME | (topmost ? WS_EX_TOPMOST : 0);
  HWND game = CreateWindowExW(exStyle, wc.lpszClassName, L"embed probe game",
                              WS_OVERLAPPEDWINDOW, 40, 30, 320, 240, nullptr, nullptr, wc.hInstance, nullptr);

  lumo::SdkContext& ctx = lumo::GetSdkContext();
  ctx.launchParams.parentWnd = host->hwnd();
  ctx.launchParams.parentValid = 1;
  ctx.launchParams.gameId = 7;
  std::snprintf(ctx.launchParams.hostPipe, sizeof(ctx.launchParams.hostPipe), "lumo_test_embed_host_%s",
                pid.c_str());
  std::snprintf(ctx.launchParams.channelName, sizeof(ctx.launchParams.channelName), "ipc_channel_game_embed%s",
                pid.c_str());
  ctx.hostTarget = ctx.launchParams.hostPipe;
  ctx.launchParamsLoaded = true;

  std::printf("[probe] dpi game=%s thread=%s host=%s\n", Name(lumo::WindowDpiAwareness(game)).c_str(),
              Name(lumo::ThreadDpiAwareness()).c_str(), Name(lumo::WindowDpiAwareness(host->hwnd())).c_str());
  PrintState("before", game);
  lumo::SetReparentCallForTesting(call);
  const int result = lumo::Init(ctx);
  lumo::SetReparentCallForTesting(nullptr);
  std::printf("[probe] init=%d\n", result);
  std::printf("[probe] dpi-after game=%s thread=%s\n", Name(lumo::WindowDpiAwareness(game)).c_str(),
              Name(lumo::ThreadDpiAwareness()).c_str());
  PrintState("after", game);

  if (result != 0) {
    // Whatever the failed Init sent would reach the host before this.
    ctx.ipc.Send(ctx.hostTarget, "{\"body\":\"[]\",\"msg\":\"marker\"}");
    if (!IsWindow(host->hwnd()) || mode == "host-busy") host = std::make_unique<lumo_test::HostWindowThread>();
    ctx.launchParams.parentWnd = host->hwnd();
    std::printf("[probe] retry=%d\n", lumo::Init(ctx));
    PrintState("retry", game);
  }
  hostChannel.WaitFor("IpcMsg_GameSDK_GameWndReady", 10000);
  Sleep(200);  // a second window-ready message would follow within this
  std::string got;
  for (const std::string& message : hostChannel.Messages()) {
    std::string name = "?";
    try {
      name = nlohmann::json::parse(message).at("msg").get<std::string>();
    } catch (...) {
    }
    got += (got.empty() ? "" : ",") + name;
  }
  std::printf("[probe] host-got=%s\n", got.c_str());
  std::fflush(stdout);
  // The library's threads and the host's end with the process.
  ExitProcess(0);
}
