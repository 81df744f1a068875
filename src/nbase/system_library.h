// Loading a DLL from the system folder only, so that a copy planted beside
// the game, in the current directory or on PATH is never picked up. Both
// DLLs the library loads at run time come this way: winmm.dll for the clock,
// winhttp.dll for the login. Any thread, never under the loader lock (it
// loads a DLL); the caller owns the module it gets.
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

}  // namespace nbase
