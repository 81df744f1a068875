// Test helper: logs through the library's log facility as a game would.
//   log_probe hello              one line "hello"
//   log_probe lines <n> <tag> [<event>]
//                                n lines "<tag> <i>"; with an event name,
//                                first waits (at most 60 s) until it is set
//   log_probe units <n>          one message of n 'x' units
//   log_probe rawline <n>        one raw line whose message holds n 'y' units
//   log_probe unicode            one line with characters outside most code pages
//   log_probe mutex              prints mutex-before=<0|1> mutex-after=<0|1>
//   log_probe linkseam <command...>
//                                runs the command with the library reading
//                                every folder named LumoGameSDK as a junction
//                                (Wine cannot make one)
//   log_probe exepath <path> <command...>
//                                runs the command with the library taking
//                                <path> for the executable's (Wine starts no
//                                program from a path of 260 units or more)
//   log_probe debugout <command...>
//                                runs the command, then prints each string the
//                                process gave the debugger output, as
//                                "debug: <text>" lines
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "diag/link_guard.h"
#include "diag/log.h"

namespace {

// What this process hands OutputDebugString, seen by a vectored handler
// before the system goes on as usual: the narrow form, or the wide one that
// Windows 10 raises first.
std::vector<std::string>* g_debugStrings = nullptr;
bool g_skipNarrow = false;

LONG CALLBACK OnDebugPrint(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* rec = info->ExceptionRecord;
  if (g_debugStrings == nullptr || rec->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  const size_t length = static_cast<size_t>(rec->ExceptionInformation[0]);
  if (rec->ExceptionCode == 0x40010006) {  // DBG_PRINTEXCEPTION_C
    const char* text = reinterpret_cast<const char*>(rec->ExceptionInformation[1]);
    if (text != nullptr && !g_skipNarrow) g_debugStrings->emplace_back(text, length > 0 ? length - 1 : 0);
    g_skipNarrow = false;
  } else if (rec->ExceptionCode == 0x4001000A) {  // DBG_PRINTEXCEPTION_WIDE_C
    const wchar_t* text = reinterpret_cast<const wchar_t*>(rec->ExceptionInformation[1]);
    if (text != nullptr) {
      char narrow[4096] = {};
      WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, sizeof(narrow) - 1, nullptr, nullptr);
      g_debugStrings->push_back(narrow);
    }
    // The system passes the narrow form on as well: keep one of the two.
    g_skipNarrow = true;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// GetFileInformationByHandle, with a folder named LumoGameSDK reported as a
// reparse point.
BOOL WINAPI ReportJunction(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  if (!GetFileInformationByHandle(file, info)) return FALSE;
  wchar_t path[1024] = {};
  const DWORD n = GetFinalPathNameByHandleW(file, path, 1024, 0);
  const std::wstring name = L"\\LumoGameSDK";
  if (n >= name.size() && n < 1024 && _wcsicmp(path + n - name.size(), name.c_str()) == 0) {
    info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return TRUE;
}

bool MutexExists() {
  wchar_t name[MAX_PATH] = {};
  lumo::MakeLogMutexName(lumo::ExecutablePath().c_str(), name);
  HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, name);
  if (h) CloseHandle(h);
  return h != nullptr;
}

}  // namespace

int Run(int argc, wchar_t** argv);

int wmain(int argc, wchar_t** argv) {
  if (argc >= 4 && std::wstring(argv[1]) == L"exepath") {
    lumo::SetExecutablePathForTesting(argv[2]);
    argc -= 2;
    argv += 2;
  }
  if (argc >= 3 && std::wstring(argv[1]) == L"debugout") {
    std::vector<std::string> strings;
    void* handler = AddVectoredExceptionHandler(1, &OnDebugPrint);
    g_debugStrings = &strings;
    const int code = Run(argc - 1, argv + 1);
    g_debugStrings = nullptr;
    RemoveVectoredExceptionHandler(handler);
    for (const std::string& s : strings) std::printf("debug: %s", s.c_str());
    return code;
  }
  return Run(argc, argv);
}

int Run(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring cmd = argv[1];
  if (cmd == L"linkseam") {
    lumo::SetFileInformationCallForTesting(&ReportJunction);
    return Run(argc - 1, argv + 1);
  }
  if (cmd == L"hello") {
    lumo::SdkLog(L"hello");
  } else if (cmd == L"lines" && (argc == 4 || argc == 5)) {
    if (argc == 5) {
      HANDLE gate = OpenEventW(SYNCHRONIZE, FALSE, argv[4]);
      if (gate == nullptr) return 3;
      const DWORD waited = WaitForSingleObject(gate, 60000);
      CloseHandle(gate);
      if (waited != WAIT_OBJECT_0) return 4;
    }
    const int n = _wtoi(argv[2]);
    for (int i = 0; i < n; ++i) lumo::SdkLog(L"%ls %d", argv[3], i);
  } else if (cmd == L"units" && argc == 3) {
    lumo::SdkLog(std::wstring(static_cast<size_t>(_wtoi(argv[2])), L'x').c_str());
  } else if (cmd == L"rawline" && argc == 3) {
    lumo::LoadLogSwitch();
    const std::wstring text(static_cast<size_t>(_wtoi(argv[2])), L'y');
    lumo::WriteLogLine(lumo::GetLogSink(), L"%ls", text.c_str());
  } else if (cmd == L"unicode") {
    lumo::SdkLog(L"caf\u00e9 \u4e2d code=%d", -5);
  } else if (cmd == L"mutex") {
    const bool before = MutexExists();
    lumo::SdkLog(L"probe");
    std::printf("mutex-before=%d mutex-after=%d\n", before ? 1 : 0, MutexExists() ? 1 : 0);
  } else {
    return 2;
  }
  return 0;
}
