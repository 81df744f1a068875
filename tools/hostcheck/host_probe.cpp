#include "hostcheck/host_probe.h"

#include "hostcheck/clock.h"
#include "nbase/system_library.h"

namespace hostcheck {

double ProbeWindow(HWND wnd, DWORD timeoutMs) {
  if (wnd == nullptr || !IsWindow(wnd)) return -1;
  const double start = NowMs();
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(wnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs, &result)) return -1;
  return NowMs() - start;
}

DWORD WindowProcess(HWND wnd) {
  DWORD pid = 0;
  if (wnd != nullptr && IsWindow(wnd)) GetWindowThreadProcessId(wnd, &pid);
  return pid;
}

bool ProcessRuns(DWORD pid) {
  if (pid == 0) return false;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return false;
  const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return runs;
}

std::string WindowClassName(HWND wnd) {
  char name[256] = {};
  if (wnd == nullptr || GetClassNameA(wnd, name, sizeof(name)) == 0) return std::string();
  return name;
}

SIZE ClientSize(HWND wnd) {
  RECT r = {};
  GetClientRect(wnd, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

SIZE WindowSize(HWND wnd) {
  RECT r = {};
  GetWindowRect(wnd, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

std::string SizeText(SIZE s) { return std::to_string(s.cx) + "x" + std::to_string(s.cy); }

long long MappingSize(const char* name) {
  // SECTION_BASIC_INFORMATION of the native API.
  struct SectionBasicInformation {
    void* base;
    ULONG attributes;
    LARGE_INTEGER size;
  };
  using NtQuerySectionFn = LONG(WINAPI*)(HANDLE, int, void*, SIZE_T, SIZE_T*);
  static const NtQuerySectionFn query = nbase::LoadedFunction<NtQuerySectionFn>(L"ntdll.dll", "NtQuerySection");
  if (query == nullptr) return -1;
  HANDLE mapping = OpenFileMappingA(SECTION_QUERY | FILE_MAP_READ, FALSE, name);
  if (mapping == nullptr) return -1;
  SectionBasicInformation info = {};
  const LONG status = query(mapping, 0, &info, sizeof(info), nullptr);
  CloseHandle(mapping);
  return status == 0 ? info.size.QuadPart : -1;
}

}  // namespace hostcheck
