// lumo-hostcheck: a stand-in game for launcher developers. The launcher
// starts it as it starts a game; it checks the host contract clause by
// clause and prints a report. See kHelpText (options.cpp) for usage.
//
// Threads: the main thread owns the game window and pumps its messages (the
// launcher embeds it); a check thread runs the clauses (CheckRun) and asks
// the window thread for lumoGameInit and lumoGameUninit. The main thread
// prints the report and ends the process before the library's own exit,
// which comes 3 s after lumoGameUninit.
#include <windows.h>
#include <imm.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "LumoGameSDK.h"
#include "diag/utf8.h"
#include "hostcheck/check_run.h"
#include "hostcheck/dpi_mode_trial.h"
#include "hostcheck/options.h"
#include "hostcheck/report.h"
#include "nbase/system_library.h"
#include "nbase/thread.h"

namespace {

constexpr DWORD kRunBoundMs = 120000;

LRESULT CALLBACK GameWndProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case hostcheck::kCallInit:
      return lumoGameInit();
    case hostcheck::kCallUninit:
      lumoGameUninit();
      return 0;
    case WM_CLOSE:
      // Sent by the library at shutdown; the window stays for the last
      // checks, and the process ends right after them.
      return 0;
    default:
      return DefWindowProcW(wnd, message, wParam, lParam);
  }
}

// The channel is polled about once a millisecond: asks for a 1 ms timer.
// winmm.dll is not one of the system's KnownDLLs: imported, the loader would
// look for it in the tool's folder first (a launcher's folder, when the
// launcher starts the tool from there). So it comes from the system folder at
// run time, the way the library loads it. Without it the polls keep the
// default resolution.
void AskForMillisecondTimer() {
  HMODULE winmm = nbase::LoadSystemLibrary(L"winmm.dll");
  if (winmm == nullptr) return;
  using TimeBeginPeriod = UINT(WINAPI*)(UINT);
  const auto begin = nbase::FunctionFrom<TimeBeginPeriod>(winmm, "timeBeginPeriod");
  if (begin != nullptr) begin(1);
  // winmm stays loaded for the life of the process, and its period with it.
}

HWND CreateGameWindow() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = GameWndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"LumoHostcheckGameWnd";
  if (!RegisterClassW(&wc)) return nullptr;
  // Titled and top-level: the library takes it for the game's window.
  return CreateWindowExW(0, wc.lpszClassName, L"lumo-hostcheck", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 40, 640,
                         480, nullptr, nullptr, wc.hInstance, nullptr);
}

std::vector<std::wstring> AllArguments() {
  int argc = 0;
  std::vector<std::wstring> args;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; argv && i < argc; ++i) args.emplace_back(argv[i]);
  if (argv) LocalFree(argv);
  wchar_t env[4096];
  const DWORD n = GetEnvironmentVariableW(L"LUMO_HOSTCHECK_OPTIONS", env, 4096);
  if (n > 0 && n < 4096) {
    for (const std::wstring& a : hostcheck::SplitArguments(env)) args.push_back(a);
  }
  return args;
}

void Write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

[[noreturn]] void Exit(UINT code) {
  std::fflush(stdout);
  std::fflush(stderr);
  ExitProcess(code);
}

// Pumps the window thread's messages until `done` is set or `boundMs` passes.
// The library's quit message is not ours: the checks decide when to stop.
bool PumpUntil(HANDLE done, DWORD boundMs) {
  const ULONGLONG deadline = GetTickCount64() + boundMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    const DWORD r = MsgWaitForMultipleObjects(1, &done, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) return true;
    if (r == WAIT_FAILED) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

}  // namespace

int main() {
  hostcheck::Options options;
  std::string error;
  if (!hostcheck::ParseOptions(AllArguments(), options, error)) {
    std::fprintf(stderr, "lumo-hostcheck: %s (see --help)\n", error.c_str());
    Exit(2);
  }
  if (options.help) {
    Write(hostcheck::kHelpText);
    Exit(0);
  }
  if (options.dpiTrial != lumo::DpiAwareness::Unknown) {
    Exit(static_cast<UINT>(hostcheck::RunDpiTrialProcess(options.dpiTrial, options.dpiTrialHost)));
  }
  // Wine gives each GUI thread a titled "Default IME" window, which the
  // library's window search would take for the game's.
  ImmDisableIME(0);
  AskForMillisecondTimer();

  HWND wnd = CreateGameWindow();
  if (wnd == nullptr) {
    std::fprintf(stderr, "lumo-hostcheck: cannot create a window, error %lu\n", GetLastError());
    Exit(2);
  }
  hostcheck::Report report;
  hostcheck::CheckRun run(options, report, wnd);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (done == nullptr) Exit(2);
  nbase::Thread checks;
  if (!checks.Create([&run, done] {
        run.Run();
        SetEvent(done);
      })) {
    std::fprintf(stderr, "lumo-hostcheck: cannot start the checks' thread\n");
    Exit(2);
  }
  if (!PumpUntil(done, kRunBoundMs)) {
    hostcheck::ClauseResult stuck;
    stuck.group = "shutdown";
    stuck.id = "finished";
    stuck.verdict = hostcheck::Verdict::Fail;
    stuck.observation = "the checks did not finish in 120 s; the report holds what was seen until then";
    stuck.section = "keeping-the-game-responsive";
    report.Add(stuck);
    checks.LetGo();  // the process ends after the report, with it
  } else {
    if (!checks.Join()) checks.LetGo();  // its work is done: it returns at once
  }

  Write(report.Text());
  if (!options.jsonPath.empty()) {
    const std::string json =
        report.Json(lumo::Utf16ToUtf8(GetCommandLineW()));
    FILE* f = _wfopen(options.jsonPath.c_str(), L"wb");
    if (f == nullptr || std::fwrite(json.data(), 1, json.size(), f) != json.size()) {
      std::fprintf(stderr, "lumo-hostcheck: cannot write %s\n",
                   lumo::Utf16ToUtf8(options.jsonPath).c_str());
    }
    if (f) std::fclose(f);
  }
  Exit(report.Count(hostcheck::Verdict::Fail) == 0 ? 0 : 1);
}
