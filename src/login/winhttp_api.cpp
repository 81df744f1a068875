#include "login/winhttp_api.h"

#include <atomic>

#include "nbase/system_library.h"

namespace lumo {

namespace {

std::atomic<DWORD> g_loadError{0};

template <typename Fn>
bool Resolve(HMODULE module, const char* name, Fn& out) {
  out = nbase::FunctionFrom<Fn>(module, name);
  return out != nullptr;
}

const WinHttpApi* Load() {
  // System folder only: neither the game's folder nor the current directory
  // nor PATH is searched (on a Windows 7 without the search flag, the full
  // path in the system folder).
  HMODULE module = nbase::LoadSystemLibrary(L"winhttp.dll");
  if (module == nullptr) {
    g_loadError = GetLastError();
    return nullptr;
  }
  static WinHttpApi api;
  const bool all = Resolve(module, "WinHttpCrackUrl", api.CrackUrl) &&
                   Resolve(module, "WinHttpOpen", api.Open) &&
                   Resolve(module, "WinHttpSetTimeouts", api.SetTimeouts) &&
                   Resolve(module, "WinHttpSetOption", api.SetOption) &&
                   Resolve(module, "WinHttpConnect", api.Connect) &&
                   Resolve(module, "WinHttpOpenRequest", api.OpenRequest) &&
                   Resolve(module, "WinHttpSendRequest", api.SendRequest) &&
                   Resolve(module, "WinHttpReceiveResponse", api.ReceiveResponse) &&
                   Resolve(module, "WinHttpQueryHeaders", api.QueryHeaders) &&
                   Resolve(module, "WinHttpQueryDataAvailable", api.QueryDataAvailable) &&
                   Resolve(module, "WinHttpReadData", api.ReadData) &&
                   Resolve(module, "WinHttpCloseHandle", api.CloseHandle) &&
                   Resolve(module, "WinHttpSetStatusCallback", api.SetStatusCallback);
  if (!all) {
    g_loadError = GetLastError();
    FreeLibrary(module);
    return nullptr;
  }
  // Kept loaded for the rest of the process: handles may still be closing.
  return &api;
}

}  // namespace

const WinHttpApi* GetWinHttpApi() {
  static const WinHttpApi* const api = Load();
  return api;
}

DWORD WinHttpLoadError() { return g_loadError.load(); }

}  // namespace lumo
