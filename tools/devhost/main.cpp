// lumo-devhost: a development host that plays the launcher's part for a
// game built with LumoGameSDK.dll. See kHelpText (options.cpp) for usage.
//
// Threads: the main thread owns the host window and pumps its messages (the
// game re-parents its window into it); it makes the window with the DPI
// awareness asked for and, unless told not to, with mixed DPI hosting, so a
// game window of another awareness can be embedded. A reader thread serves
// the host channel; a sizer thread, which owns no window, sizes the embedded
// game window (GameWindowSizer); GameProcess runs the game's waiter/debugger
// and capture threads; an optional stdin thread feeds messages to the
// sender. With --hang the main thread stops pumping for a while, as a hung
// launcher would; with --channel-late-ms a helper thread creates the channel
// after the game has started, as a launcher that breaks the order would;
// with --probe-ms it sends the embedded game window a message at that
// interval and waits for the answer, as a launcher's window thread does for
// the messages it sends the game window itself.
#include <windows.h>
#include <shellapi.h>

#include <atomic>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "devhost/game_process.h"
#include "devhost/game_window_sizer.h"
#include "devhost/host_link.h"
#include "devhost/host_window_dpi.h"
#include "devhost/options.h"
#include "devhost/output.h"
#include "diag/utf8.h"
#include "ipc/shm_endpoint.h"
#include "nbase/thread.h"

namespace {

using devhost::PrintLine;

constexpr UINT kGameEndedMessage = WM_APP + 1;
constexpr UINT kHangMessage = WM_APP + 2;
constexpr UINT_PTR kProbeTimer = 1;
constexpr UINT kProbeTimeoutMs = 5000;

struct HostState {
  devhost::GameProcess game;
  bool gameRunning = false;
  DWORD exitCode = 0;
  unsigned long hangMs = 0;
  const devhost::HostChannelReader* reader = nullptr;
  devhost::GameWindowSizer sizer;
};

HostState* g_state = nullptr;

// Blocks the host window's thread without pumping, until the game ends or
// the --hang time has passed. The reader thread and the channel go on.
void Hang(HostState& state) {
  PrintLine("hang");
  WaitForSingleObject(state.game.process(), state.hangMs == 0 ? INFINITE : static_cast<DWORD>(state.hangMs));
  PrintLine("hang over");
}

// One round trip to the embedded game window, if there is one.
void Probe(HWND host) {
  HWND game = GetWindow(host, GW_CHILD);
  if (game == nullptr) return;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  const ULONGLONG at = GetTickCount64();
  QueryPerformanceCounter(&start);
  DWORD_PTR result = 0;
  const bool answered = SendMessageTimeoutW(game, WM_NULL, 0, 0, SMTO_NORMAL, kProbeTimeoutMs, &result) != 0;
  QueryPerformanceCounter(&end);
  const double tookMs = static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
  char line[128];
  std::snprintf(line, sizeof(line), "probe at=%llu took-ms=%.1f answered=%d", at, tookMs, answered ? 1 : 0);
  PrintLine(line);
}

LRESULT CALLBACK HostWndProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kProbeTimer) {
        Probe(wnd);
        return 0;
      }
      return DefWindowProcW(wnd, message, wParam, lParam);
    case WM_CLOSE:
      // The host window goes only after the game: closing it ends the game.
      if (g_state && g_state->gameRunning) {
        PrintLine("window closed, ending game");
        g_state->game.Terminate(1);
        return 0;
      }
      DestroyWindow(wnd);
      return 0;
    case kGameEndedMessage:
      if (g_state) {
        g_state->gameRunning = false;
        g_state->exitCode = g_state->game.Finish();
      }
      // The window is left to the process exit: destroying a shown window
      // makes Wine's X11 driver wait up to 2 s for it to be withdrawn.
      PostQuitMessage(0);
      return 0;
    case WM_SIZE: {
      // The game window follows the client area only while it is embedded
      // here: with --no-parent the announced window is the game's own (or an
      // Editor's) top-level window, which the devhost must leave where it is;
      // a minimised host has no client area to follow. Sized by the sizer's
      // thread: the window thread never waits on the game's thread.
      HWND game = g_state && g_state->reader ? g_state->reader->gameWindow() : nullptr;
      if (game && wParam != SIZE_MINIMIZED && GetAncestor(game, GA_PARENT) == wnd) {
        g_state->sizer.Request(game, LOWORD(lParam), HIWORD(lParam));
      }
      return DefWindowProcW(wnd, message, wParam, lParam);
    }
    case kHangMessage:
      if (g_state) Hang(*g_state);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(wnd, message, wParam, lParam);
  }
}

HWND CreateHostWindow(const devhost::Options& o) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = HostWndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = o.windowClass.c_str();
  if (!RegisterClassExW(&wc)) return nullptr;
  const DWORD style = (o.fixedSize ? WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX : WS_OVERLAPPEDWINDOW) |
                      WS_CLIPCHILDREN;
  RECT r = {0, 0, o.clientWidth, o.clientHeight};
  AdjustWindowRect(&r, style, FALSE);
  HWND wnd = CreateWindowExW(0, o.windowClass.c_str(), L"Lumo devhost", style, CW_USEDEFAULT, CW_USEDEFAULT,
                             r.right - r.left, r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
  if (wnd) ShowWindow(wnd, SW_SHOWNORMAL);
  return wnd;
}

// Lines "<msg>:<body>" from stdin, until end of file.
void StdinMain(devhost::GameSender* sender) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  std::string pending;
  char buffer[4096];
  DWORD got = 0;
  auto handleLine = [sender](std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return;
    std::string msg, body;
    if (!devhost::SplitMessageArg(line, msg, body)) {
      PrintLine("error stdin line is not <msg>:<body>: " + line);
      return;
    }
    sender->Send(msg, body);
  };
  while (in && in != INVALID_HANDLE_VALUE && ReadFile(in, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    pending.append(buffer, got);
    size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos) {
      handleLine(pending.substr(0, nl));
      pending.erase(0, nl + 1);
    }
  }
  handleLine(pending);
}

const char* ModeName(devhost::CaptureMode mode) {
  switch (mode) {
    case devhost::CaptureMode::Dbwin:
      return "dbwin";
    case devhost::CaptureMode::Debugger:
      return "debugger";
    default:
      return "none";
  }
}

[[noreturn]] void Exit(DWORD code) {
  std::fflush(stdout);
  std::fflush(stderr);
  // Straight out: the stdin thread may still sit in ReadFile.
  ExitProcess(code);
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args;
  for (int i = 1; argv && i < argc; ++i) args.emplace_back(argv[i]);
  if (argv) LocalFree(argv);

  devhost::Options options;
  std::string error;
  if (!devhost::ParseOptions(args, options, error)) {
    std::fprintf(stderr, "lumo-devhost: %s (see --help)\n", error.c_str());
    Exit(2);
  }
  if (options.help) {
    std::fputs(devhost::kHelpText, stdout);
    Exit(0);
  }

  // Read from the moment the channel exists: a game may write at once.
  lumo::ShmEndpoint channel{};
  devhost::GameSender sender;
  for (const auto& s : options.sends) sender.Send(s.first, s.second);
  devhost::HostChannelReader reader;
  static std::atomic<HWND> hostWindow{nullptr};  // set once the window exists
  std::function<void()> onGameReady;
  if (options.hang == devhost::HangPoint::Ready) {
    // Reader thread; only the first announcement hangs the window thread.
    onGameReady = [posted = false]() mutable {
      if (posted || hostWindow.load() == nullptr) return;
      posted = true;
      PostMessageW(hostWindow.load(), kHangMessage, 0, 0);
    };
  }
  auto openChannel = [&]() -> bool {
    channel = lumo::ShmEndpoint::Create(options.channel.c_str());
    if (channel.status != lumo::ShmStatus::Ok) {
      PrintLine("error cannot create channel " + options.channel +
                " status=" + std::to_string(static_cast<int>(channel.status)));
      return false;
    }
    if (!reader.Start(&channel, &sender, options.printRaw, options.readDelayMs, onGameReady)) {
      PrintLine("error cannot start the channel reader");
      return false;
    }
    return true;
  };
  if (options.channelLateMs == 0 && !openChannel()) Exit(3);

  HostState state;
  state.hangMs = options.hangMs;
  state.reader = &reader;
  g_state = &state;
  if (!state.sizer.Start()) PrintLine("error cannot start the sizing thread; the game window keeps its size");
  const std::vector<std::string> dpiRefused = devhost::PrepareWindowThreadDpi(options);
  HWND wnd = CreateHostWindow(options);
  if (!wnd) {
    PrintLine("error cannot create the host window, error " + std::to_string(GetLastError()));
    Exit(3);
  }
  hostWindow.store(wnd);
  PrintLine("window=" + std::to_string(reinterpret_cast<uintptr_t>(wnd)));
  PrintLine("channel=" + options.channel);
  for (const std::string& line : dpiRefused) PrintLine(line);
  PrintLine(devhost::DescribeWindowDpi(wnd));

  const std::wstring commandLine =
      devhost::BuildGameCommandLine(options, std::to_wstring(reinterpret_cast<uintptr_t>(wnd)));
  if (!state.game.Start(commandLine, options.capture, wnd, kGameEndedMessage, error)) {
    PrintLine("error cannot start the game: " + error);
    Exit(3);
  }
  state.gameRunning = true;
  PrintLine(std::string("capture=") + ModeName(state.game.activeMode()));
  PrintLine("launch " + lumo::Utf16ToUtf8(commandLine));
  PrintLine("game pid=" + std::to_string(state.game.pid()));
  if (options.readStdin) {
    // Blocked in a read of stdin until the process ends: let go, never joined.
    nbase::Thread stdinReader;
    if (stdinReader.Create([&sender] { StdinMain(&sender); })) stdinReader.LetGo();
  }
  nbase::Thread lateChannel;
  if (options.channelLateMs != 0) {
    lateChannel.Create([&]() {
      if (WaitForSingleObject(state.game.process(), options.channelLateMs) != WAIT_TIMEOUT) return;
      if (openChannel()) PrintLine("channel created");
    });
  }
  if (options.probeMs != 0) SetTimer(wnd, kProbeTimer, options.probeMs, nullptr);
  if (options.hang == devhost::HangPoint::Launch) Hang(state);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // Its wait for the game is bounded by the option itself.
  if (!lateChannel.Join(static_cast<DWORD>(options.channelLateMs) + nbase::kThreadJoinBoundMs)) lateChannel.LetGo();
  state.sizer.Stop(nbase::kThreadJoinBoundMs);
  // Messages the game signalled before it ended are printed before its end.
  reader.Stop();
  PrintLine("game exited code=" + devhost::ExitCodeText(state.exitCode));
  Exit(state.exitCode);
}
