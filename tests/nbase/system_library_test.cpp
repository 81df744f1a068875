// Loading the system folder's DLLs where Windows 7 lacks the search flag
// (no update KB2533623): LoadLibraryExW refuses LOAD_LIBRARY_SEARCH_SYSTEM32
// with ERROR_INVALID_PARAMETER there. Wine knows the flag, so a stand-in
// loader refuses it as that Windows does.
#include "nbase/system_library.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

struct LoadCall {
  std::wstring name;
  DWORD flags;
};
std::vector<LoadCall> g_calls;
DWORD g_refusal = 0;  // what the search flag is refused with; 0: taken

HMODULE WINAPI OlderWindowsLoader(LPCWSTR name, HANDLE file, DWORD flags) {
  g_calls.push_back({name, flags});
  if ((flags & LOAD_LIBRARY_SEARCH_SYSTEM32) != 0 && g_refusal != 0) {
    SetLastError(g_refusal);
    return nullptr;
  }
  return LoadLibraryExW(name, file, flags);
}

std::wstring SystemFolder() {
  wchar_t path[MAX_PATH] = {};
  const UINT units = GetSystemDirectoryW(path, MAX_PATH);
  return std::wstring(path, units);
}

TEST(SystemLibrary, WhereTheSearchFlagIsRefusedTheFullSystemPathIsLoaded) {
  const struct {
    const char* dll;
    const wchar_t* name;
    const char* function;
  } dlls[] = {{"winhttp", L"winhttp.dll", "WinHttpOpen"}, {"winmm", L"winmm.dll", "timeGetTime"}};
  for (const auto& dll : dlls) {
    SCOPED_TRACE(dll.dll);
    g_refusal = ERROR_INVALID_PARAMETER;
    g_calls.clear();
    HMODULE module = nbase::LoadSystemLibrary(dll.name, &OlderWindowsLoader);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddress(module, dll.function), nullptr);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].name, dll.name);
    EXPECT_EQ(g_calls[0].flags, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
    // Never the bare name without the flag: that would search the game's folder.
    EXPECT_EQ(g_calls[1].name, SystemFolder() + L"\\" + dll.name);
    EXPECT_EQ(g_calls[1].flags, static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH));
    FreeLibrary(module);
  }
}

TEST(SystemLibrary, OtherwiseTheFirstAnswerStands) {
  const struct {
    const char* what;
    DWORD refusal;
    const wchar_t* name;
    bool loads;
    DWORD error;
  } rows[] = {
      {"flag taken", 0, L"winhttp.dll", true, 0},
      // Not in the system folder: no second try anywhere else.
      {"not there", 0, L"lumo_no_such_library.dll", false, ERROR_MOD_NOT_FOUND},
      {"refused for another reason", ERROR_ACCESS_DENIED, L"winhttp.dll", false, ERROR_ACCESS_DENIED},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    g_refusal = row.refusal;
    g_calls.clear();
    HMODULE module = nbase::LoadSystemLibrary(row.name, &OlderWindowsLoader);
    const DWORD error = GetLastError();
    EXPECT_EQ(module != nullptr, row.loads);
    if (!row.loads) {
      EXPECT_EQ(error, row.error);
    }
    EXPECT_EQ(g_calls.size(), 1u);
    if (module != nullptr) FreeLibrary(module);
  }
  g_refusal = 0;
}

}  // namespace
