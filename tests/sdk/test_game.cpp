// Test game: a Win32 program that drives the SDK exports in the order its
// command line gives and prints what it sees, one "[game] ..." line each.
//
//   test_game [--class=<wnd class>] [--title=<text>] [--steps=<s1,s2,...>]
//             [--early=<steps>] [--after-loop-ms=<ms>] [--dpi-awareness=<mode>]
//             [host options...]
//
// --early steps run before the game window exists; --steps run from the
// game's message loop once it does. Host options (--parent= and the rest)
// are read by the SDK itself. Steps:
//   init login info infohex pay:<hex of text> paynull uninit
//   paylong:<n> (a text of n double quotes)
//   uninit-thread (lumoGameUninit on a new thread, while the loop runs on)
//   state (window style, ex-style, parent and rect) wait:<event name>
//   exit:<code> (return from main now) exitprocess:<code> sleep:<ms>
//   payburst:<n> (n payment requests "b0".."b<n-1>" back to back; prints
//   how many were taken, the first refused and the slowest call)
//   payrace:<threads>:<ms> (that many threads request payments without
//   pause; after <ms> this thread calls lumoGameUninit while they go on;
//   prints what the calls answered after it returned)
//   plugin:<modes> (load lumo_test_plugin.dll with LUMO_TEST_PLUGIN=<modes>,
//   '+' between modes; prints how long LoadLibrary took) plugin-free
//   (FreeLibrary of it, timed) atexit-uninit (lumoGameUninit from an atexit
//   handler) dtor-uninit (from the destructor of a global object of the
//   game) uninit-2threads (from two threads at once; prints the slower)
//   counts (threads and handles of the process)
// init and uninit also print how long the call took ("[game] init-ms=<n>"),
// login when it began and ended ("[game] login-span=<tick>-<tick>",
// GetTickCount64).
// --dpi-awareness=unaware|system|permonitor sets the window thread's DPI
// awareness before the window is made ("[game] dpi-awareness=<mode> set" or
// "refused").
// A WM_APP + 2 posted to the game window prints "[game] pong" once the
// loop gets it (proof that the window thread pumps again); with a non-zero
// wParam the game then returns that code from main.
// After the message loop ends the game "runs on" for --after-loop-ms
// (default 30000) and then returns 7, so a test can tell that the SDK
// ended the process.
#include <windows.h>
#include <imm.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LumoGameSDK.h"
#include "support/process_counts.h"
#include "support/text_codec.h"

namespace {

const UINT kRunSteps = WM_APP + 1;
const UINT kPing = WM_APP + 2;
std::vector<std::string> g_steps;
DWORD g_afterLoopMs = 30000;
bool g_exitRequested = false;
int g_exitCode = 0;

void Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

HMODULE g_plugin = nullptr;
bool g_uninitInDestructor = false;

ULONGLONG TimedUninit() {
  const ULONGLONG start = GetTickCount64();
  lumoGameUninit();
  return GetTickCount64() - start;
}

void UninitAtExit() { Print("[game] atexit uninit-ms=%llu\n", TimedUninit()); }

struct UninitOnDestruction {
  ~UninitOnDestruction() {
    if (g_uninitInDestructor) Print("[game] dtor uninit-ms=%llu\n", TimedUninit());
  }
} g_uninitOnDestruction;

double NowMs() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

void PayBurst(int count) {
  int taken = 0;
  int firstRefused = -1;
  int firstRefusedCode = 0;
  double slowestMs = 0;
  for (int i = 0; i < count; ++i) {
    const std::string text = "b" + std::to_string(i);
    const double start = NowMs();
    const int result = lumoShowPay(text.c_str());
    const double took = NowMs() - start;
    if (took > slowestMs) slowestMs = took;
    if (result == 0) {
      ++taken;
    } else if (firstRefused < 0) {
      firstRefused = i;
      firstRefusedCode = result;
    }
  }
  Print("[game] payburst taken=%d first-refused=%d code=%d slowest-ms=%.3f\n", taken, firstRefused,
        firstRefusedCode, slowestMs);
}

// Threads keep requesting payments while this thread shuts the SDK down.
// Every call that starts after lumoGameUninit returned must answer -6.
void PayRace(int threads, int ms) {
  struct Shared {
    std::atomic<bool> uninitDone{false};
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0};
    std::atomic<long> lateCalls{0};
    std::atomic<long> lateNotMinus6{0};
  };
  auto shared = std::make_shared<Shared>();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([shared, t] {
      for (long i = 0; !shared->stop.load(); ++i) {
        const bool late = shared->uninitDone.load();
        const std::string text = "r" + std::to_string(t) + "-" + std::to_string(i);
        const int result = lumoShowPay(text.c_str());
        ++shared->calls;
        if (late) {
          ++shared->lateCalls;
          if (result != -6) ++shared->lateNotMinus6;
        }
      }
    });
  }
  Sleep(static_cast<DWORD>(ms));
  const double start = NowMs();
  lumoGameUninit();
  const double took = NowMs() - start;
  shared->uninitDone.store(true);
  Sleep(200);
  shared->stop.store(true);
  for (std::thread& w : workers) w.join();
  Print("[game] payrace uninit-ms=%.1f calls=%ld late-calls=%ld late-not-minus6=%ld\n", took, shared->calls.load(),
        shared->lateCalls.load(), shared->lateNotMinus6.load());
}

unsigned long long Handle(HWND wnd) { return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(wnd)); }

void PrintState(HWND wnd) {
  RECT rc = {};
  GetWindowRect(wnd, &rc);
  // GetParent names the owner of a popup; the embedding parent is the ancestor.
  HWND parent = GetAncestor(wnd, GA_PARENT);
  if (parent == GetDesktopWindow()) parent = nullptr;
  if (parent) MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rc), 2);
  Print("[game] state style=%08lx exstyle=%08lx parent=%llu rect=%ld,%ld,%ld,%ld\n",
        static_cast<unsigned long>(GetWindowLongPtrW(wnd, GWL_STYLE)),
        static_cast<unsigned long>(GetWindowLongPtrW(wnd, GWL_EXSTYLE)), Handle(parent), rc.left, rc.top,
        rc.right - rc.left, rc.bottom - rc.top);
}

// Runs one step; false stops the script (the game is leaving).
bool RunStep(const std::string& step, HWND wnd) {
  const size_t colon = step.find(':');
  const std::string name = step.substr(0, colon);
  const std::string arg = colon == std::string::npos ? std::string() : step.substr(colon + 1);
  if (name == "init") {
    const ULONGLONG start = GetTickCount64();
    const int result = lumoGameInit();
    const ULONGLONG took = GetTickCount64() - start;
    Print("[game] init=%d\n", result);
    Print("[game] init-ms=%llu\n", took);
  } else if (name == "login") {
    const ULONGLONG start = GetTickCount64();
    const int result = lumoGameLogin();
    const ULONGLONG end = GetTickCount64();
    Print("[game] login=%d\n", result);
    Print("[game] login-span=%llu-%llu\n", start, end);
  } else if (name == "info") {
    Print("[game] info=%s\n", lumoGetLoginInfo() ? "set" : "null");
  } else if (name == "infohex") {
    const LoginInfo* info = lumoGetLoginInfo();
    const std::string hex =
        info ? lumo_test::ToHex(std::string(reinterpret_cast<const char*>(info), sizeof(LoginInfo))) : "";
    Print("[game] infohex=%s\n", info ? hex.c_str() : "null");
  } else if (name == "pay") {
    Print("[game] pay=%d\n", lumoShowPay(lumo_test::FromHex(arg).c_str()));
  } else if (name == "paynull") {
    Print("[game] pay=%d\n", lumoShowPay(nullptr));
  } else if (name == "paylong") {
    // Quotes: each would take four bytes once escaped for the envelope.
    Print("[game] pay=%d\n", lumoShowPay(std::string(std::strtoul(arg.c_str(), nullptr, 10), '"').c_str()));
  } else if (name == "payburst") {
    PayBurst(std::atoi(arg.c_str()));
  } else if (name == "payrace") {
    const size_t colon = arg.find(':');
    PayRace(std::atoi(arg.c_str()), colon == std::string::npos ? 100 : std::atoi(arg.c_str() + colon + 1));
  } else if (name == "uninit") {
    const ULONGLONG start = GetTickCount64();
    lumoGameUninit();
    const ULONGLONG took = GetTickCount64() - start;
    Print("[game] uninit done\n");
    Print("[game] uninit-ms=%llu\n", took);
  } else if (name == "uninit-thread") {
    // The game thread goes back to its loop meanwhile: re-parenting the
    // window from another thread needs it to answer.
    std::thread([] {
      lumoGameUninit();
      Print("[game] uninit done\n");
    }).detach();
  } else if (name == "plugin") {
    std::string modes = arg;
    for (char& c : modes) {
      if (c == '+') c = ',';
    }
    SetEnvironmentVariableA("LUMO_TEST_PLUGIN", modes.c_str());
    const ULONGLONG start = GetTickCount64();
    g_plugin = LoadLibraryW(L"lumo_test_plugin.dll");
    Print("[game] plugin-load=%s ms=%llu\n", g_plugin ? "ok" : "failed", GetTickCount64() - start);
  } else if (name == "plugin-free") {
    const ULONGLONG start = GetTickCount64();
    const BOOL freed = g_plugin ? FreeLibrary(g_plugin) : FALSE;
    g_plugin = nullptr;
    Print("[game] plugin-free=%d ms=%llu\n", freed ? 1 : 0, GetTickCount64() - start);
  } else if (name == "atexit-uninit") {
    std::atexit(UninitAtExit);
  } else if (name == "dtor-uninit") {
    g_uninitInDestructor = true;
  } else if (name == "uninit-2threads") {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ULONGLONG took[2] = {};
    std::thread a([&] { WaitForSingleObject(go, 10000); took[0] = TimedUninit(); });
    std::thread b([&] { WaitForSingleObject(go, 10000); took[1] = TimedUninit(); });
    SetEvent(go);
    a.join();
    b.join();
    CloseHandle(go);
    Print("[game] uninit done\n");
    Print("[game] uninit-2threads slowest-ms=%llu\n", took[0] > took[1] ? took[0] : took[1]);
  } else if (name == "counts") {
    Print("[game] counts threads=%lu handles=%lu\n", lumo_test::CountProcessThreads(),
          lumo_test::CountProcessHandles());
  } else if (name == "state") {
    if (wnd) PrintState(wnd);
  } else if (name == "wait") {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, arg.c_str());
    if (event) {
      WaitForSingleObject(event, 60000);
      CloseHandle(event);
    }
    Print("[game] waited %s\n", event ? "ok" : "missing");
  } else if (name == "sleep") {
    Sleep(static_cast<DWORD>(std::atoi(arg.c_str())));
  } else if (name == "exit") {
    g_exitRequested = true;
    g_exitCode = std::atoi(arg.c_str());
    return false;
  } else if (name == "exitprocess") {
    Print("[game] ExitProcess\n");
    ExitProcess(static_cast<UINT>(std::atoi(arg.c_str())));
  } else {
    Print("[game] unknown step %s\n", step.c_str());
  }
  return true;
}

LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kRunSteps:
      for (const std::string& step : g_steps) {
        if (!RunStep(step, wnd)) {
          PostQuitMessage(0);
          break;
        }
      }
      return 0;
    case kPing:
      Print("[game] pong\n");
      if (wp != 0) {
        g_exitRequested = true;
        g_exitCode = static_cast<int>(wp);
        PostQuitMessage(0);
      }
      return 0;
    case WM_SIZE:
      Print("[game] WM_SIZE wparam=%llu lparam=%08llx\n", static_cast<unsigned long long>(wp),
            static_cast<unsigned long long>(lp));
      return 0;
    case WM_CLOSE:
      Print("[game] WM_CLOSE\n");
      DestroyWindow(wnd);
      return 0;
    default:
      return DefWindowProcW(wnd, msg, wp, lp);
  }
}

// The thread's DPI awareness for the windows it makes from now on, through
// the system's call where it has one (looked up: older systems lack it).
bool SetThreadDpiAwareness(const std::string& mode) {
  using SetContextFn = HANDLE(WINAPI*)(HANDLE);
  const auto set = reinterpret_cast<SetContextFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
  // DPI_AWARENESS_CONTEXT_UNAWARE, _SYSTEM_AWARE and _PER_MONITOR_AWARE.
  const INT_PTR context = mode == "unaware" ? -1 : mode == "system" ? -2 : mode == "permonitor" ? -3 : 0;
  return set != nullptr && context != 0 && set(reinterpret_cast<HANDLE>(context)) != nullptr;
}

std::wstring Widen(const std::string& s) {
  std::wstring out(s.size() + 1, L'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &out[0], static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string windowClass = "TestGameWnd";
  std::string title = "Test Game";
  std::vector<std::string> early;
  std::string dpiAwareness;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--class=", 0) == 0) windowClass = a.substr(8);
    else if (a.rfind("--title=", 0) == 0) title = a.substr(8);
    else if (a.rfind("--steps=", 0) == 0) g_steps = lumo_test::SplitList(a.substr(8), ',');
    else if (a.rfind("--early=", 0) == 0) early = lumo_test::SplitList(a.substr(8), ',');
    else if (a.rfind("--after-loop-ms=", 0) == 0) g_afterLoopMs = static_cast<DWORD>(std::atoi(a.c_str() + 16));
    else if (a.rfind("--dpi-awareness=", 0) == 0) dpiAwareness = a.substr(16);
  }
  if (!dpiAwareness.empty()) {
    Print("[game] dpi-awareness=%s %s\n", dpiAwareness.c_str(), SetThreadDpiAwareness(dpiAwareness) ? "set" : "refused");
  }
  // Wine gives the thread an ownerless, titled input-method window, which
  // the SDK's window search would take for the game's window.
  ImmDisableIME(0);

  for (const std::string& step : early) {
    if (!RunStep(step, nullptr)) return g_exitCode;
  }

  const std::wstring cls = Widen(windowClass);
  WNDCLASSW wc = {};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = cls.c_str();
  RegisterClassW(&wc);
  HWND wnd = CreateWindowExW(WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME, cls.c_str(), Widen(title).c_str(),
                             WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30, 640, 480, nullptr, nullptr,
                             wc.hInstance, nullptr);
  Print("[game] window=%llu\n", Handle(wnd));
  PrintState(wnd);
  PostMessageW(wnd, kRunSteps, 0, 0);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (g_exitRequested) {
    Print("[game] returning %d from main\n", g_exitCode);
    return g_exitCode;
  }
  Print("[game] loop ended wparam=%llu\n", static_cast<unsigned long long>(msg.wParam));
  Sleep(g_afterLoopMs);
  Print("[game] still running\n");
  return 7;
}
