// Reading LumoGameSDK.ini, the library's settings file beside the game's
// executable, with Windows' profile reader.
//
// Windows' reader knows ANSI and UTF-16 files; a file saved as "UTF-8 with
// BOM" (Notepad's and PowerShell 5's UTF-8) has its byte-order mark read as
// part of the first line, so the first section is not found. Such a file is
// read through a copy without the mark in the temporary folder, made for the
// read and deleted after it, and the debugger output says once per process
// how to save it instead. A file whose path is longer than the reader takes
// (MAX_PATH - 1 units) is read through such a copy too; where no copy can be
// made, the debugger output says once that it was not read. The copy is
// written only through the handle that created it, in a temporary folder
// opened as itself (diag/link_guard.h). Any thread.
#pragma once

#include <windows.h>

#include <cstddef>

namespace lumo {

// The most of the file a copy holds; the library's keys are a few lines.
constexpr size_t kSdkIniCopyBytes = 64 * 1024;

// True when `bytes` begin with the UTF-8 byte-order mark EF BB BF.
bool StartsWithUtf8Bom(const char* bytes, size_t size);

// `key` of `section` into `out` (`units` UTF-16 units, longer values cut),
// `fallback` when the file, section or key is missing.
void ReadSdkIniString(const wchar_t* section, const wchar_t* key, const wchar_t* fallback, wchar_t* out,
                      DWORD units);

}  // namespace lumo
