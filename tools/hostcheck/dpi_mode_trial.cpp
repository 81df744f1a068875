#include "hostcheck/dpi_mode_trial.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "diag/text_convert.h"
#include "sdk/embed_style.h"

namespace hostcheck {

namespace {

using Outcome = DpiTrialResult::Outcome;

// How long an ended trial process is given to go away.
constexpr DWORD kEndBoundMs = 1000;

// The awareness a game of this mode has: set for the whole process, as its
// manifest or start-up code would; where that is refused (the awareness
// fixed already, or a system without the call), for the window's thread.
bool SetTrialAwareness(lumo::DpiAwareness mode) {
  return lumo::SetProcessDpiAwareness(mode) || lumo::SetThreadDpiAwareness(mode);
}

HWND MakeTrialWindow() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"LumoHostcheckDpiTrial";
  RegisterClassW(&wc);
  // A game's window: top-level, framed, shown.
  HWND wnd = CreateWindowExW(0, wc.lpszClassName, L"lumo-hostcheck DPI trial", WS_OVERLAPPEDWINDOW, 0, 0, 160, 120,
                             nullptr, nullptr, wc.hInstance, nullptr);
  if (wnd != nullptr) ShowWindow(wnd, SW_SHOWNOACTIVATE);
  return wnd;
}

DpiTrialResult RunTrial(lumo::DpiAwareness mode, HWND host) {
  DpiTrialResult r;
  r.outcome = Outcome::NotMade;
  if (!SetTrialAwareness(mode)) return r;
  HWND wnd = MakeTrialWindow();
  if (wnd == nullptr) return r;
  r.made = lumo::WindowDpiAwareness(wnd);
  // A mode the window does not really have is not judged; a system that
  // cannot tell (Unknown) is taken at its word.
  if (r.made != mode && r.made != lumo::DpiAwareness::Unknown) {
    DestroyWindow(wnd);
    return r;
  }
  lumo::RestyleForHost(wnd);
  // The process's awareness, as the thread that set none reads it (or the
  // thread's own where only that could be set). Not the window's: Wine gives
  // a re-parented window its new parent's awareness, the process keeps its.
  r.before = lumo::ThreadDpiAwareness();
  SetLastError(0);
  SetParent(wnd, host);
  const DWORD error = GetLastError();
  if (GetAncestor(wnd, GA_PARENT) != host) {
    r.outcome = Outcome::Refused;
    r.error = error;
    DestroyWindow(wnd);
    return r;
  }
  r.after = lumo::ThreadDpiAwareness();
  r.outcome = r.after != r.before ? Outcome::Reset : Outcome::Kept;
  // Destroyed where it is: taking a shown window out again costs as long as
  // putting it in (seconds under Wine).
  DestroyWindow(wnd);
  return r;
}

// Reads what is left in the pipe once the writer has gone.
std::string Drain(HANDLE read) {
  std::string out;
  char buffer[512];
  DWORD got = 0;
  while (out.size() < 64 * 1024 && ReadFile(read, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    out.append(buffer, got);
  }
  return out;
}

// lumo-hostcheck --dpi-trial=<mode> --dpi-trial-host=<hwnd>, waited for at
// most `boundMs`, its standard output read once it has ended.
DpiTrialResult RunTrialProcess(lumo::DpiAwareness mode, HWND host, DWORD boundMs) {
  DpiTrialResult r;  // NoResult
  wchar_t exe[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return r;
  std::wstring commandLine = L"\"" + std::wstring(exe) + L"\" --dpi-trial=" +
                            lumo::Utf8ToWide(DpiTrialModeName(mode), -1) +
                            L" --dpi-trial-host=" + std::to_wstring(reinterpret_cast<uintptr_t>(host));

  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return r;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write;
  si.hStdError = write;
  PROCESS_INFORMATION pi = {};
  const BOOL started = CreateProcessW(exe, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                      nullptr, &si, &pi);
  CloseHandle(write);  // the trial's copy is the only writer now
  if (!started) {
    CloseHandle(read);
    return r;
  }
  CloseHandle(pi.hThread);
  if (WaitForSingleObject(pi.hProcess, boundMs) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, kEndBoundMs);
    r.outcome = Outcome::TimedOut;
  } else if (!ParseDpiTrialOutput(Drain(read), r)) {
    r.outcome = Outcome::NoResult;
  }
  CloseHandle(pi.hProcess);
  CloseHandle(read);
  return r;
}

}  // namespace

std::vector<DpiModeTrial> TryDpiModes(HWND host, DWORD boundMs) {
  std::vector<DpiModeTrial> trials;
  for (lumo::DpiAwareness mode : {lumo::DpiAwareness::Unaware, lumo::DpiAwareness::SystemAware,
                                  lumo::DpiAwareness::PerMonitorAwareV2}) {
    DpiModeTrial t;
    t.requested = mode;
    t.result = RunTrialProcess(mode, host, boundMs);
    if (t.result.outcome == Outcome::NotMade && mode == lumo::DpiAwareness::PerMonitorAwareV2) {
      t.hasStandIn = true;
      t.standIn = RunTrialProcess(lumo::DpiAwareness::PerMonitorAware, host, boundMs);
    }
    trials.push_back(t);
  }
  return trials;
}

int RunDpiTrialProcess(lumo::DpiAwareness mode, HWND host) {
  const DpiTrialResult r = RunTrial(mode, host);
  const std::string line = FormatDpiTrialLine(r) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
  return 0;
}

}  // namespace hostcheck
