// The game side of the end-to-end benchmark: one process measures either
// the library (through its import library, as a game uses it) or the floor
// of its design (floor_sdk.h), and writes its figures for the driver.
//
//   e2e_game <lib|floor|both> <out-file> <idle-seconds> <burst> <sparse> --gameid=.. --lumo-pipe=.. --token=..
//   e2e_game flood <out-file> <start-event> <done-event> <count> <tag> --gameid=.. --lumo-pipe=.. --token=..
//
// lib and floor, order: init (resources added, init return time), login,
// bursts and sparse calls of a small and a 1,500-byte text, then the idle
// wake-ups of the threads that init added. The host's wake times come from
// the driver.
// both: the library and the floor side by side in this one process, their
// sparse calls taken in turns, and between them a bare wake-up of a waiting
// thread. A sparse call is mostly one such wake-up, which under Wine moves
// with what the machine does from one second to the next: taken in turns in
// one process, both sides meet the same moments.
// flood: the library only; after init and login it writes "ready", waits
// for the start event (so that several games begin together), makes
// <count> payment calls back to back, each text marked "<tag>=<n>;", and
// shuts down once the done event is set (the driver has counted what the
// host received).
#include <windows.h>
#include <imm.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "LumoGameSDK.h"
#include "e2e_common.h"
#include "floor_sdk.h"
#include "support/process_counts.h"
#include "ipc/host_requests.h"
#include "ipc/ipc_names.h"
#include "launch/launch_params.h"
#include "nbase/thread.h"

namespace {

FILE* g_out = nullptr;

// Under Wine every Windows thread is a Linux thread and this code runs
// natively, so the kernel's per-thread counters tell how often a thread
// woke. Files are opened by wineserver there, so the process is named by its
// Linux pid rather than /proc/self.
long LinuxPid() {
#if defined(__GNUC__) && defined(__x86_64__)
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return 0;
  long result;
  __asm__ volatile("syscall" : "=a"(result) : "a"(39L) : "rcx", "r11", "memory");  // getpid
  return result;
#else
  return 0;
#endif
}

std::string ProcPath(const std::string& rest) { return "Z:\\proc\\" + std::to_string(LinuxPid()) + rest; }

// Linux thread ids of this process and their context switches so far.
std::map<long, long> ThreadSwitches() {
  std::map<long, long> result;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(ProcPath("\\task\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return result;
  do {
    const long tid = std::atol(found.cFileName);
    if (tid <= 0) continue;
    FILE* f = std::fopen(ProcPath(std::string("\\task\\") + found.cFileName + "\\status").c_str(), "r");
    if (f == nullptr) continue;
    char line[256];
    long switches = 0;
    while (std::fgets(line, sizeof(line), f)) {
      long n = 0;
      if (std::sscanf(line, "voluntary_ctxt_switches: %ld", &n) == 1) switches += n;
      if (std::sscanf(line, "nonvoluntary_ctxt_switches: %ld", &n) == 1) switches += n;
    }
    std::fclose(f);
    result[tid] = switches;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return result;
}

long AnonymousKb() {
  FILE* f = std::fopen(ProcPath("\\status").c_str(), "r");
  if (f == nullptr) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof(line), f)) {
    if (std::sscanf(line, "RssAnon: %ld", &kb) == 1) break;
  }
  std::fclose(f);
  return kb;
}

struct Resources {
  std::map<long, long> threads;
  long handles = 0;
  long anonKb = 0;
};

Resources Snapshot() {
  Resources r;
  r.threads = ThreadSwitches();
  r.handles = static_cast<long>(lumo_test::CountProcessHandles());
  r.anonKb = AnonymousKb();
  return r;
}

HWND MakeGameWindow() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"E2eGameWindow";
  RegisterClassW(&wc);
  // Hidden and titled: found by the library's search, never re-parented
  // (no "parent" option), so init costs no window-manager round trips.
  return CreateWindowExW(0, wc.lpszClassName, L"e2e game", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr, nullptr,
                         wc.hInstance, nullptr);
}

std::string Text(size_t size, const std::string& mark) {
  std::string text = mark;
  while (text.size() < size) text.push_back(static_cast<char>('a' + text.size() % 26));
  return text;
}

// A thread that only waits for its event: what one SetEvent that wakes a
// waiting thread costs the caller, with nothing of the library or the floor
// in it.
class WakeControl {
 public:
  bool Start() {
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // Each wait bounded: the stop flag is read at least once a second even
    // if the event that Stop sets were lost.
    return event_ != nullptr && thread_.Create([this] {
      while (!stop_.load()) WaitForSingleObject(event_, 1000);
    });
  }
  double TimedWake() {
    const int64_t start = e2e::Ticks();
    SetEvent(event_);
    return e2e::TicksToUs(e2e::Ticks() - start);
  }
  void Stop() {
    stop_.store(true);
    if (event_ != nullptr) SetEvent(event_);
    // A thread past the bound keeps its event; both are left to the exit.
    if (thread_.Join(1000) && event_ != nullptr) {
      CloseHandle(event_);
      event_ = nullptr;
    }
  }

 private:
  nbase::Thread thread_;
  HANDLE event_ = nullptr;
  std::atomic<bool> stop_{false};
};

void DrainPause(int messages) {
  // The sender spaces messages sent close together by about 10 ms each.
  Sleep(static_cast<DWORD>(300 + messages * 12));
}

const size_t kSizes[2] = {100, 1500};
const char* const kSizeNames[2] = {"small", "large"};

// Between the turns of the "both" run: each sender has been idle for three
// of them (150 ms, the lib and floor runs' sparse spacing) when it is woken.
constexpr DWORD kTurnGapMs = 50;

// The "both" run: "cost sparse <size> lib <us> floor <us>" per size and
// "control sparse <us>", each a median.
int SideBySide(HWND wnd, int sparse) {
  e2e::FloorSdk floor;
  if (lumoGameInit() != 0 || !floor.Init(1, wnd, std::string(lumo::kChannelGame) + "_floor", lumo::kChannelMain)) {
    return 1;  // what did start ends with the process
  }
  const int login = lumoGameLogin();
  std::fprintf(g_out, "login %d\n", login);
  if (login != 0) return 1;
  Sleep(1500);  // as in the lib and floor runs: the login's client winds down
  WakeControl control;
  if (!control.Start()) return 1;
  std::vector<double> wakes;
  int sequence = 0;
  for (int s = 0; s < 2; ++s) {
    std::vector<double> costs[2];  // library, floor
    for (int i = 0; i < sparse; ++i) {
      // Who goes first changes every round.
      for (int turn = 0; turn < 2; ++turn) {
        const int side = (i + turn) % 2;
        const std::string text = Text(kSizes[s], e2e::Mark("sb", ++sequence));
        const int64_t start = e2e::Ticks();
        if (side == 0) {
          lumoShowPay(text.c_str());
        } else {
          floor.ShowPay(text.c_str());
        }
        costs[side].push_back(e2e::TicksToUs(e2e::Ticks() - start));
        Sleep(kTurnGapMs);
      }
      wakes.push_back(control.TimedWake());
      Sleep(kTurnGapMs);
    }
    std::fprintf(g_out, "cost sparse %s lib %.3f floor %.3f\n", kSizeNames[s], e2e::Median(costs[0]),
                 e2e::Median(costs[1]));
  }
  std::fprintf(g_out, "control sparse %.3f\n", e2e::Median(wakes));
  control.Stop();
  lumoGameUninit();
  floor.Uninit();
  return 0;
}

int Flood(const char* startName, const char* doneName, int count, const char* tag) {
  if (lumoGameInit() != 0) return 1;
  const int login = lumoGameLogin();
  std::fprintf(g_out, "login %d\nready\n", login);
  std::fflush(g_out);
  HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, startName);
  HANDLE done = OpenEventA(SYNCHRONIZE, FALSE, doneName);
  int failed = -1;
  if (login == 0 && start != nullptr && done != nullptr && WaitForSingleObject(start, 120000) == WAIT_OBJECT_0) {
    failed = 0;
    for (int i = 0; i < count; ++i) {
      if (lumoShowPay(Text(kSizes[0], e2e::Mark(tag, i)).c_str()) != 0) ++failed;
    }
    WaitForSingleObject(done, 120000);
  }
  std::fprintf(g_out, "flood failed %d\n", failed);
  if (start != nullptr) CloseHandle(start);
  if (done != nullptr) CloseHandle(done);
  lumoGameUninit();
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) return 2;
  const std::string mode = argv[1];
  const bool lib = mode == "lib";
  g_out = std::fopen(argv[2], "w");
  if (g_out == nullptr) return 2;
  const int idleSeconds = std::atoi(argv[3]);
  const int burst = std::atoi(argv[4]);
  const int sparse = std::atoi(argv[5]);
  ImmDisableIME(0);
  HWND wnd = MakeGameWindow();
  if (mode == "flood" && argc >= 7) {
    const int rc = Flood(argv[3], argv[4], std::atoi(argv[5]), argv[6]);
    DestroyWindow(wnd);
    std::fclose(g_out);
    return rc;
  }
  if (mode == "both") {
    const int rc = SideBySide(wnd, sparse);
    DestroyWindow(wnd);
    std::fclose(g_out);
    return rc;
  }

  e2e::FloorSdk floor;
  const Resources before = Snapshot();
  int init = 0;
  if (lib) {
    init = lumoGameInit();
  } else {
    init = floor.Init(1, wnd, std::string(lumo::kChannelGame) + "_floor", lumo::kChannelMain) ? 0 : -1;
  }
  const int64_t initReturn = e2e::Ticks();
  // What init started may finish starting just after it returns (the first
  // write and its host watch run on the sender thread).
  Sleep(100);
  const Resources after = Snapshot();
  std::fprintf(g_out, "init %d %lld\n", init, static_cast<long long>(initReturn));
  std::fprintf(g_out, "added threads %d handles %ld anon_kb %ld\n",
               static_cast<int>(after.threads.size()) - static_cast<int>(before.threads.size()),
               after.handles - before.handles, after.anonKb - before.anonKb);
  if (init != 0) return 1;
  const int login = lib ? lumoGameLogin() : 0;
  std::fprintf(g_out, "login %d\n", login);
  // The login's HTTPS client winds down on threads of its own for a while;
  // both sides wait the same before the figures that follow.
  Sleep(1500);

  auto pay = [&](const char* text) { return lib ? lumoShowPay(text) : floor.ShowPay(text); };
  int sequence = 0;
  for (int s = 0; s < 2 && login == 0; ++s) {
    // Burst: back to back, each call timed on its own.
    std::vector<std::string> texts;
    for (int i = 0; i < burst; ++i) texts.push_back(Text(kSizes[s], e2e::Mark("b", ++sequence)));
    std::vector<double> costs;
    int failed = 0;
    for (const std::string& text : texts) {
      const int64_t start = e2e::Ticks();
      const int rc = pay(text.c_str());
      costs.push_back(e2e::TicksToUs(e2e::Ticks() - start));
      if (rc != 0) ++failed;
    }
    std::fprintf(g_out, "cost burst %s %.3f failed %d\n", kSizeNames[s], e2e::Median(costs), failed);
    std::vector<double> sorted = costs;
    std::sort(sorted.begin(), sorted.end());
    std::fprintf(g_out, "# burst %s p10 %.2f p50 %.2f p90 %.2f max %.2f\n", kSizeNames[s], sorted[sorted.size() / 10],
                 sorted[sorted.size() / 2], sorted[sorted.size() * 9 / 10], sorted.back());
    {
      // Control: the same envelopes built and queued locally, no library.
      std::vector<double> control;
      std::deque<std::string> local;
      for (const std::string& text : texts) {
        const int64_t start = e2e::Ticks();
        local.push_back(lumo::BuildShowPayEnvelope(1, text.c_str(), text.size()));
        control.push_back(e2e::TicksToUs(e2e::Ticks() - start));
      }
      std::sort(control.begin(), control.end());
      std::fprintf(g_out, "# control %s p50 %.2f p90 %.2f\n", kSizeNames[s], control[control.size() / 2],
                   control[control.size() * 9 / 10]);
    }
    DrainPause(burst);

    // Sparse: the sender is idle before each call and has to be woken. The
    // call's own cost is timed side by side with the floor's ("both").
    for (int i = 0; i < sparse; ++i) {
      const std::string text = Text(kSizes[s], e2e::Mark("sp", ++sequence));
      const int64_t start = e2e::Ticks();
      pay(text.c_str());
      std::fprintf(g_out, "sent sp %d %lld\n", sequence, static_cast<long long>(start));
      Sleep(150);
    }
  }
  if (!lib) {
    // One hop: the game thread announces to the host itself.
    for (int i = 0; i < sparse; ++i) {
      const std::string text = Text(kSizes[0], e2e::Mark("one", ++sequence));
      const int64_t start = e2e::Ticks();
      floor.ShowPayOneHop(text.c_str());
      std::fprintf(g_out, "sent one %d %lld\n", sequence, static_cast<long long>(start));
      Sleep(150);
    }
  }

  // Idle: every thread that init added (whatever started it: the library,
  // the system's thread pool on its behalf), over the whole interval. One
  // that has ended by then counts as idle; one that appears later (the
  // login's HTTPS client) is not init's.
  const std::map<long, long> idleStart = ThreadSwitches();
  Sleep(static_cast<DWORD>(idleSeconds) * 1000);
  const std::map<long, long> idleEnd = ThreadSwitches();
  long wakes = 0;
  int watched = 0;
  for (const auto& added : after.threads) {
    if (before.threads.count(added.first)) continue;
    ++watched;
    const auto start = idleStart.find(added.first);
    const auto entry = idleEnd.find(added.first);
    if (start == idleStart.end() || entry == idleEnd.end()) {
      std::fprintf(g_out, "# idle thread %ld ended before or during the idle interval\n", added.first);
      continue;
    }
    wakes += entry->second - start->second;
    char name[64] = "?";
    if (FILE* f = std::fopen(ProcPath("\\task\\" + std::to_string(entry->first) + "\\comm").c_str(), "r")) {
      if (std::fgets(name, sizeof(name), f)) name[std::strcspn(name, "\n")] = '\0';
      std::fclose(f);
    }
    std::fprintf(g_out, "# idle thread %ld (%s) woke %ld\n", entry->first, name, entry->second - start->second);
  }
  std::fprintf(g_out, "idle threads %d wakes %ld seconds %d\n", watched, wakes, idleSeconds);

  if (lib) {
    lumoGameUninit();
  } else {
    floor.Uninit();
  }
  DestroyWindow(wnd);
  std::fclose(g_out);
  return 0;
}
