// Test plugin: a DLL that calls the SDK from the places where engine and
// mod-loader plugins call an SDK, chosen by the environment variable
// LUMO_TEST_PLUGIN (a comma-separated list, read when the DLL is loaded):
//   init-attach    lumoGameInit from DllMain(DLL_PROCESS_ATTACH)
//   login-attach   lumoGameLogin from DllMain(DLL_PROCESS_ATTACH)
//   uninit-detach  lumoGameUninit from DllMain(DLL_PROCESS_DETACH), on
//                  FreeLibrary and at process exit alike
//   uninit-dtor    lumoGameUninit from the destructor of a global object
// Each call prints "[plugin] <what>=<result> ms=<time>" straight to the
// standard output handle (no C runtime state is needed inside DllMain).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "LumoGameSDK.h"

namespace {

bool g_initAttach = false;
bool g_loginAttach = false;
bool g_uninitDetach = false;
bool g_uninitDtor = false;

void Say(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

void TimedUninit(const char* where) {
  const ULONGLONG start = GetTickCount64();
  lumoGameUninit();
  char line[128];
  std::snprintf(line, sizeof(line), "[plugin] uninit-%s done ms=%llu\n", where, GetTickCount64() - start);
  Say(line);
}

struct UninitOnDestruction {
  ~UninitOnDestruction() {
    if (g_uninitDtor) TimedUninit("dtor");
  }
} g_uninitOnDestruction;

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t modes[128] = {};
    GetEnvironmentVariableW(L"LUMO_TEST_PLUGIN", modes, 128);
    g_initAttach = std::wcsstr(modes, L"init-attach") != nullptr;
    g_loginAttach = std::wcsstr(modes, L"login-attach") != nullptr;
    g_uninitDetach = std::wcsstr(modes, L"uninit-detach") != nullptr;
    g_uninitDtor = std::wcsstr(modes, L"uninit-dtor") != nullptr;
    if (g_initAttach) {
      const ULONGLONG start = GetTickCount64();
      const int result = lumoGameInit();
      char line[128];
      std::snprintf(line, sizeof(line), "[plugin] init-attach=%d ms=%llu\n", result, GetTickCount64() - start);
      Say(line);
    }
    if (g_loginAttach) {
      const ULONGLONG start = GetTickCount64();
      const int result = lumoGameLogin();
      char line[128];
      std::snprintf(line, sizeof(line), "[plugin] login-attach=%d ms=%llu\n", result, GetTickCount64() - start);
      Say(line);
    }
  } else if (reason == DLL_PROCESS_DETACH && g_uninitDetach) {
    TimedUninit(reserved != nullptr ? "detach-exit" : "detach-free");
  }
  return TRUE;
}
