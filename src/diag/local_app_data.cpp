#include "diag/local_app_data.h"

#include <windows.h>

#include <atomic>
#include <cwchar>

namespace lumo {

namespace {

// {F1B32785-6FBA-4FCF-9D55-7B8E7F157091}, spelt here so that nothing links
// the shell's GUID library.
const GUID kFolderIdLocalAppData = {0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};

using GetKnownFolderPath = HRESULT(WINAPI*)(const GUID& id, DWORD flags, HANDLE token, wchar_t** path);
using FreeTaskMemory = void(WINAPI*)(void* memory);

// The known folder, written once by the first thread that finds it:
// 0 not asked, 1 being asked, 2 found, 3 not to be had.
std::atomic<int> g_knownState{0};
wchar_t g_knownFolder[MAX_PATH] = {};

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
  // GetProcAddress hands back a generic function pointer; going through
  // void (*)() keeps the conversion free of warnings.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// shell32 and ole32 from the system folder only, kept for the process.
HMODULE LoadSystemDll(const wchar_t* name) {
  if (HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
  // Windows 7 without KB2533623 refuses the flag: the full path does the same.
  wchar_t path[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  if (wcscat_s(path, L"\\") != 0 || wcscat_s(path, name) != 0) return nullptr;
  return LoadLibraryW(path);
}

bool AskShell(wchar_t (&out)[MAX_PATH]) {
  HMODULE shell = LoadSystemDll(L"shell32.dll");
  HMODULE ole = LoadSystemDll(L"ole32.dll");
  if (shell == nullptr || ole == nullptr) return false;
  const auto get = Lookup<GetKnownFolderPath>(shell, "SHGetKnownFolderPath");
  const auto release = Lookup<FreeTaskMemory>(ole, "CoTaskMemFree");
  if (get == nullptr || release == nullptr) return false;
  wchar_t* path = nullptr;
  // KF_FLAG_DONT_VERIFY (0x4000): the path even when the folder is missing.
  const HRESULT hr = get(kFolderIdLocalAppData, 0x00004000, nullptr, &path);
  const bool fits = SUCCEEDED(hr) && path != nullptr && wcscpy_s(out, path) == 0;
  if (path != nullptr) release(path);
  return fits;
}

bool EnvironmentFolder(wchar_t (&out)[MAX_PATH]) {
  const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", out, MAX_PATH);
  return n > 0 && n < MAX_PATH;
}

}  // namespace

// GCC takes NtCurrentTeb's read of the thread's segment for an access
// outside an array of size 0.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
bool HoldsLoaderLock() {
#if defined(_M_X64) || defined(__x86_64__)
  // The loader lock is the critical section the process environment block
  // points to at offset 0x110 on x64 (the layout every Windows since XP x64
  // and Wine keep); its owner field holds the owning thread's id.
  const BYTE* peb = *reinterpret_cast<const BYTE* const*>(reinterpret_cast<const BYTE*>(NtCurrentTeb()) + 0x60);
  const auto* lock = *reinterpret_cast<const CRITICAL_SECTION* const*>(peb + 0x110);
  return lock != nullptr &&
         static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(lock->OwningThread)) == GetCurrentThreadId();
#else
  return true;  // unknown layout: never load
#endif
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

void PrepareLocalAppDataFolder() {
  if (g_knownState.load() != 0) return;
  wchar_t env[MAX_PATH] = {};
  if (EnvironmentFolder(env) || HoldsLoaderLock()) return;
  int expected = 0;
  if (!g_knownState.compare_exchange_strong(expected, 1)) return;
  g_knownState.store(AskShell(g_knownFolder) ? 2 : 3);
}

std::wstring LocalAppDataFolder() {
  wchar_t env[MAX_PATH] = {};
  if (EnvironmentFolder(env)) return env;
  if (g_knownState.load() == 2) return g_knownFolder;
  return std::wstring();
}

}  // namespace lumo
