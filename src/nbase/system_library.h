// Loading a DLL from the system folder only, so that a copy planted beside
// the game, in the current directory or on PATH is never picked up, and
// taking the functions the library calls without importing them. Both DLLs
// the library loads at run time come this way: winmm.dll for the clock,
// winhttp.dll for the login. Any thread; LoadSystemLibrary never under the
// loader lock (it loads a DLL), and its caller owns the module it gets.
#pragma once

#include <windows.h>

namespace nbase {

// LoadLibraryExW's shape: tests pass a stand-in that refuses as an older
// Windows does.
using LibraryLoader = HMODULE(WINAPI*)(LPCWSTR, HANDLE, DWORD);

// Loads `name` (a file name, "winhttp.dll") with LOAD_LIBRARY_SEARCH_SYSTEM32.
// Windows 7 without update KB2533623 does not know that flag and refuses it
// with ERROR_INVALID_PARAMETER; the DLL is then loaded by its full path in
// the system folder (GetSystemDirectoryW), never by its bare name. Null on
// failure, with the error of the last attempt in GetLastError.
HMODULE LoadSystemLibrary(const wchar_t* name, LibraryLoader load = &::LoadLibraryExW);

// The function `name` of `module` as a `Fn`; null when the module is null or
// does not export it. GetProcAddress hands back a generic function pointer;
// going through void (*)() keeps the conversion to the real type free of
// warnings.
template <typename Fn>
Fn FunctionFrom(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The same from a DLL every process has loaded already (ntdll.dll,
// user32.dll for a GUI thread): looked up, never loaded.
template <typename Fn>
Fn LoadedFunction(const wchar_t* module, const char* name) {
  return FunctionFrom<Fn>(GetModuleHandleW(module), name);
}

}  // namespace nbase
