// How many kernel handles and threads this process holds, for checks that a
// run leaves nothing behind. Header-only, so that the benchmark programs,
// which are built without the test support library, use the same counts.
// Any thread.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

namespace lumo_test {

// Open kernel handles of this process; 0 when they cannot be counted. Wine
// answers GetProcessHandleCount with 0, so there the system's handle table
// is read and this process's entries are counted.
inline DWORD CountProcessHandles() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
  struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO
    ULONG ownerPid;
    UCHAR objectType;
    UCHAR flags;
    USHORT value;
    void* object;
    ACCESS_MASK access;
  };
  using QueryFn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  static const QueryFn query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return 0;
  constexpr ULONG kSystemHandleInformation = 16;
  constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<unsigned char> buffer(1 << 20);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch) {
      buffer.resize(buffer.size() * 2 > needed ? buffer.size() * 2 : needed + 4096);
      continue;
    }
    if (status != 0) return 0;
    const ULONG entries = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entry = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
    for (ULONG i = 0; i < entries; ++i) {
      if (entry[i].ownerPid == GetCurrentProcessId()) ++count;
    }
    return count;
  }
  return 0;
}

// Threads of this process.
inline DWORD CountProcessThreads() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return 0;
  DWORD count = 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL ok = Thread32First(snap, &entry); ok; ok = Thread32Next(snap, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snap);
  return count;
}

}  // namespace lumo_test
