// End-to-end benchmark: the driver owns the host channel (a hidden window of
// the host's class makes it the host process the library watches) and
// timestamps every wake of its reader with the performance counter, which
// all processes share. It runs e2e_game.exe alternately against the library
// and against the floor of its design, then once with both side by side
// (their sparse calls taken in turns), then one and two games bursting into
// the one host channel together, and e2e_load.exe on the library and
// on a bare DLL, then prints each figure beside its floor: the median over
// the repetitions, min-max, and the ratio. Every wait has a bound: a game
// or loader that does not end in time is ended and becomes a row that says
// so.
//
//   e2e_bench [--reps N] [--idle-seconds N] [--burst N] [--sparse N]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_common.h"
#include "ipc/ipc_names.h"
#include "ipc/shm_endpoint.h"
#include "nbase/thread.h"

namespace {

struct Wake {
  int64_t ticks;
  std::string payload;
};

// The host side: one reader on the host channel, as a launcher has it.
class Host : private nbase::Thread {
 public:
  ~Host() override { Join(0); }  // Stop has ended the reader
  bool Start() {
    channel_ = lumo::ShmEndpoint::Create(lumo::kChannelMain);
    if (channel_.status != lumo::ShmStatus::Ok) return false;
    InitializeCriticalSection(&lock_);
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return Create();
  }
  // False when the reader did not end within the bound: it still uses the
  // channel, which is then left to the process exit.
  bool Stop() {
    SetEvent(stop_);
    if (!Join(5000)) return false;
    channel_.Close();
    return true;
  }
  std::vector<Wake> Take() {
    EnterCriticalSection(&lock_);
    std::vector<Wake> wakes;
    wakes.swap(wakes_);
    LeaveCriticalSection(&lock_);
    return wakes;
  }

 private:
  void Run() override {
    HANDLE waits[2] = {stop_, channel_.serverEvent.handle};
    for (;;) {
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
      Wake wake;
      wake.ticks = e2e::Ticks();
      channel_.Read(wake.payload);
      EnterCriticalSection(&lock_);
      wakes_.push_back(std::move(wake));
      LeaveCriticalSection(&lock_);
    }
  }

  lumo::ShmEndpoint channel_{};
  CRITICAL_SECTION lock_;
  HANDLE stop_ = nullptr;
  std::vector<Wake> wakes_;
};

std::wstring ExeDir() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

// Dispatches this thread's messages (the host window lives here) until
// `done` says so; false when it did not within `timeoutMs`.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (!done()) {
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  return true;
}

// Starts a command line, its standard output into `stdoutFile` when given;
// the process handle, or null.
HANDLE StartProcess(const std::wstring& commandLine, const std::wstring& stdoutFile = L"") {
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  HANDLE out = INVALID_HANDLE_VALUE;
  if (!stdoutFile.empty()) {
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    out = CreateFileW(stdoutFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  }
  PROCESS_INFORMATION pi = {};
  std::wstring cmd = commandLine;
  const BOOL started = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (!started) return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

// Waits for the processes, pumping messages meanwhile; those still running
// after `timeoutMs` are ended. False when one was, or one did not start.
bool WaitAll(const std::vector<HANDLE>& processes, DWORD timeoutMs) {
  bool allStarted = true;
  for (HANDLE p : processes) allStarted = allStarted && p != nullptr;
  const bool ended = PumpUntil(
      [&processes] {
        for (HANDLE p : processes) {
          if (p != nullptr && WaitForSingleObject(p, 0) != WAIT_OBJECT_0) return false;
        }
        return true;
      },
      timeoutMs);
  for (HANDLE p : processes) {
    if (p == nullptr) continue;
    if (!ended) TerminateProcess(p, 1);
    CloseHandle(p);
  }
  return allStarted && ended;
}

// Runs a command line, pumping this thread's messages meanwhile; false when
// it did not end within `timeoutMs`.
bool Run(const std::wstring& commandLine, DWORD timeoutMs, const std::wstring& stdoutFile = L"") {
  return WaitAll({StartProcess(commandLine, stdoutFile)}, timeoutMs);
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  FILE* f = _wfopen(path.c_str(), L"r");
  if (f == nullptr) return lines;
  char line[512];
  while (std::fgets(line, sizeof(line), f)) lines.emplace_back(line);
  std::fclose(f);
  return lines;
}

// What a figure should come to: the library's median exactly `value`
// (Exact), or at most `value` times the floor's median (AtMostFloorTimes).
struct Goal {
  enum Kind { None, Exact, AtMostFloorTimes } kind = None;
  double value = 0;
};

constexpr char kWakeControl[] = "bare wake-up of a waiting thread, sparse";
constexpr char kInitFloor[] = "bare init, 2 threads, clock timer";
constexpr char kInitFloorFirstWrite[] = "bare init, 2 threads, clock timer, first write";

// One figure's values per repetition, for the library and for its floor.
struct Figure {
  std::string name, unit, floorName;
  std::vector<double> lib, floor;
  Goal goal;
};

class Table {
 public:
  Figure& Get(const std::string& name, const std::string& unit, const std::string& floorName, Goal goal = Goal()) {
    for (Figure& f : figures_) {
      if (f.name == name) return f;
    }
    figures_.push_back(Figure{name, unit, floorName, {}, {}, goal});
    return figures_.back();
  }
  // A run that could not be measured: printed as a row of its own.
  void AddUnfinished(const std::string& what, const std::string& why) { unfinished_.push_back(what + ": " + why); }
  // False when a figure with a goal misses it.
  bool Print() const {
    bool allMet = true;
    std::printf("\n%-48s %-26s %-26s %-7s %-22s %s\n", "end to end (median, min-max)", "library", "floor", "ratio",
                "goal", "floor is");
    for (const Figure& f : figures_) {
      const std::string goal = GoalCell(f, &allMet);
      std::printf("%-48s %-26s %-26s %-7s %-22s %s\n", (f.name + " [" + f.unit + "]").c_str(), Cell(f.lib).c_str(),
                  Cell(f.floor).c_str(), Ratio(f).c_str(), goal.c_str(), f.floorName.c_str());
    }
    for (const std::string& row : unfinished_) std::printf("did not finish: %s\n", row.c_str());
    std::printf(
        "\nsparse rows: the library's and the floor's calls taken in turns in one process, 50 ms apart. Most of\n"
        "each is the one wake-up of the sender thread, a wineserver round trip under Wine (the bare wake-up row,\n"
        "timed between them), which moves with what the machine does; the calls' own work is the burst rows.\n");
    return allMet;
  }

 private:
  static std::string GoalCell(const Figure& f, bool* allMet) {
    if (f.goal.kind == Goal::None) return "";
    char buf[64];
    bool met = false;
    if (f.goal.kind == Goal::Exact) {
      met = !f.lib.empty() && e2e::Median(f.lib) == f.goal.value;
      std::snprintf(buf, sizeof(buf), "= %g", f.goal.value);
    } else {
      met = !f.lib.empty() && !f.floor.empty() && e2e::Median(f.lib) <= f.goal.value * e2e::Median(f.floor);
      std::snprintf(buf, sizeof(buf), "<= %gx floor", f.goal.value);
    }
    if (!met) *allMet = false;
    return std::string(buf) + (met ? " met" : " MISSED");
  }

  static std::string Cell(const std::vector<double>& v) {
    if (v.empty()) return "-";
    double lo = v[0], hi = v[0];
    for (double x : v) {
      lo = x < lo ? x : lo;
      hi = x > hi ? x : hi;
    }
    char buf[96];
    std::snprintf(buf, sizeof(buf), "%.4g (%.4g-%.4g)", e2e::Median(v), lo, hi);
    return buf;
  }
  static std::string Ratio(const Figure& f) {
    if (f.lib.empty() || f.floor.empty()) return "-";
    const double floor = e2e::Median(f.floor);
    const double lib = e2e::Median(f.lib);
    if (floor == 0) return lib == 0 ? "1.00" : "inf";
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.2f", lib / floor);
    return buf;
  }
  std::deque<Figure> figures_;  // references stay valid as it grows
  std::vector<std::string> unfinished_;
};

int MarkOf(const std::string& payload, const std::string& tag) {
  const std::string key = tag + "=";
  const size_t at = payload.find(key);
  if (at == std::string::npos) return -1;
  return std::atoi(payload.c_str() + at + key.size());
}

struct Options {
  int reps = 5;
  int idleSeconds = 10;
  int burst = 100;
  int sparse = 24;
};

constexpr DWORD kGameBoundMs = 180000;

std::string SizeText(const std::string& size) { return size == "small" ? "100 B" : "1,500 B"; }
constexpr DWORD kLoadBoundMs = 60000;

// One game process; its figures go into the library's or the floor's column.
bool RunGame(Host& host, Table& table, bool lib, const Options& o, const std::wstring& dir, int rep) {
  const std::wstring outFile = dir + (lib ? L"e2e_lib.txt" : L"e2e_floor.txt");
  host.Take();
  const std::wstring cmd = L"\"" + dir + L"e2e_game.exe\" " + (lib ? L"lib " : L"floor ") + L"\"" + outFile + L"\" " +
                           std::to_wstring(o.idleSeconds) + L" " + std::to_wstring(o.burst) + L" " +
                           std::to_wstring(o.sparse) + L" --gameid=1 --lumo-pipe=" + L"ipc_channel_main" +
                           L" --token=benchtoken";
  if (!Run(cmd, kGameBoundMs)) {
    std::fprintf(stderr, "e2e: the %s game did not finish\n", lib ? "library" : "floor");
    table.AddUnfinished(std::string(lib ? "library" : "floor") + " game, repetition " + std::to_string(rep + 1),
                        "still running after " + std::to_string(kGameBoundMs / 1000) +
                            " s, ended; the repetitions stop here");
    return false;
  }
  Sleep(50);
  const std::vector<Wake> wakes = host.Take();
  auto column = [&](Figure& f) -> std::vector<double>& { return lib ? f.lib : f.floor; };

  std::map<std::string, std::map<int, int64_t>> sent;  // tag -> sequence -> call start
  for (const std::string& line : ReadLines(outFile)) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    if (word == "init") {
      int rc = 0;
      long long returned = 0;
      in >> rc >> returned;
      if (rc != 0) {
        std::fprintf(stderr, "e2e: %s init failed: %d\n", lib ? "library" : "floor", rc);
        return false;
      }
      for (const Wake& w : wakes) {
        if (w.payload.find(lumo::kMsgGameWndReady) == std::string::npos) continue;
        column(table.Get("init return -> host has ready", "us", kInitFloorFirstWrite))
            .push_back(e2e::TicksToUs(w.ticks - returned));
        break;
      }
    } else if (word == "added") {
      std::string key;
      double threads = 0, handles = 0, anonKb = 0;
      in >> key >> threads >> key >> handles >> key >> anonKb;
      // The library names two threads; nothing else may come with them.
      column(table.Get("threads added by init", "n", kInitFloor, Goal{Goal::Exact, 2})).push_back(threads);
      column(table.Get("handles added by init", "n", kInitFloor, Goal{Goal::AtMostFloorTimes, 1.1}))
          .push_back(handles);
      column(table.Get("anonymous memory added by init", "KB", kInitFloor,
                       Goal{Goal::AtMostFloorTimes, 1.1}))
          .push_back(anonKb);
    } else if (word == "login") {
      int rc = 0;
      in >> rc;
      if (rc != 0) std::fprintf(stderr, "e2e: login failed (%d): no payment rows\n", rc);
    } else if (word == "cost") {
      std::string kind, size;
      double us = 0;
      in >> kind >> size >> us;
      column(table.Get("lumoShowPay cost, " + SizeText(size) + ", " + kind, "us", "lock + signal when empty"))
          .push_back(us);
    } else if (word == "sent") {
      std::string tag;
      int sequence = 0;
      long long start = 0;
      in >> tag >> sequence >> start;
      sent[tag][sequence] = start;
    } else if (word == "idle") {
      std::string key;
      double threads = 0, wakeCount = 0;
      in >> key >> threads >> key >> wakeCount;
      column(table.Get("idle: threads init added, all watched", "n", kInitFloor, Goal{Goal::Exact, 2}))
          .push_back(threads);
      column(table.Get("idle: their wake-ups / " + std::to_string(o.idleSeconds) + " s", "n", kInitFloor,
                       Goal{Goal::Exact, 0}))
          .push_back(wakeCount);
    }
  }
  // Call -> host wake, per tag: "sp" through the sender, "one" directly.
  for (const auto& tag : sent) {
    std::vector<double> latencies;
    for (const Wake& w : wakes) {
      const int sequence = MarkOf(w.payload, tag.first);
      const auto it = tag.second.find(sequence);
      if (sequence >= 0 && it != tag.second.end()) latencies.push_back(e2e::TicksToUs(w.ticks - it->second));
    }
    if (latencies.empty()) continue;
    if (tag.first == "sp") {
      column(table.Get("call -> host has it, sparse, two hops", "us", "queue + sender thread"))
          .push_back(e2e::Median(latencies));
    } else {
      // One hop has no library column: beside the library's two-hop figure.
      Figure& f = table.Get("call -> host has it, sparse, one hop", "us", "game thread writes itself");
      f.floor.push_back(e2e::Median(latencies));
    }
  }
  return true;
}

// The library and the floor in one game process, their sparse calls taken
// in turns ("both"): the sparse cost rows and the bare wake-up between them.
bool RunSideBySide(Table& table, const Options& o, const std::wstring& dir, int rep) {
  const std::wstring outFile = dir + L"e2e_both.txt";
  // Twice the sparse calls of the other runs: the medians of the most noisy
  // rows steady, in about the same time (the turns are closer).
  const std::wstring cmd = L"\"" + dir + L"e2e_game.exe\" both \"" + outFile + L"\" 0 1 " +
                           std::to_wstring(2 * o.sparse) +
                           L" --gameid=1 --lumo-pipe=ipc_channel_main --token=benchtoken";
  if (!Run(cmd, kGameBoundMs)) {
    std::fprintf(stderr, "e2e: the side-by-side game did not finish\n");
    table.AddUnfinished("side-by-side game, repetition " + std::to_string(rep + 1),
                        "still running after " + std::to_string(kGameBoundMs / 1000) +
                            " s, ended; the repetitions stop here");
    return false;
  }
  for (const std::string& line : ReadLines(outFile)) {
    std::istringstream in(line);
    std::string word, kind, size, key;
    in >> word;
    if (word == "cost") {
      double lib = 0, floor = 0;
      in >> kind >> size >> key >> lib >> key >> floor;
      Figure& f = table.Get("lumoShowPay cost, " + SizeText(size) + ", sparse", "us",
                            "lock + signal when empty, in turns", Goal{Goal::AtMostFloorTimes, 1.15});
      f.lib.push_back(lib);
      f.floor.push_back(floor);
    } else if (word == "control") {
      double us = 0;
      in >> kind >> us;
      // Nothing of either side in it: beside the floor, as the one-hop row.
      table.Get(kWakeControl, "us", "one SetEvent waking a waiting thread").floor.push_back(us);
    } else if (word == "login") {
      int rc = 0;
      in >> rc;
      if (rc != 0) std::fprintf(stderr, "e2e: side-by-side login failed (%d): no sparse rows\n", rc);
    }
  }
  return true;
}

bool HasLine(const std::wstring& path, const std::string& word) {
  for (const std::string& line : ReadLines(path)) {
    if (line.compare(0, word.size(), word) == 0) return true;
  }
  return false;
}

// `games` game processes on the one host channel, all starting their burst
// of o.burst payment calls at one moment: the messages per second the host
// received from them together (first wake to last), and how many were lost
// or came twice.
bool RunFlood(Host& host, Table& table, int games, const Options& o, const std::wstring& dir, int rep) {
  const std::wstring events = L"lumo-e2e-flood-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(rep) + L"-" + std::to_wstring(games);
  HANDLE start = CreateEventW(nullptr, TRUE, FALSE, (events + L"-start").c_str());
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, (events + L"-done").c_str());
  std::vector<HANDLE> processes;
  std::vector<std::wstring> outFiles;
  for (int g = 1; g <= games; ++g) {
    outFiles.push_back(dir + L"e2e_flood" + std::to_wstring(g) + L".txt");
    DeleteFileW(outFiles.back().c_str());
    processes.push_back(StartProcess(L"\"" + dir + L"e2e_game.exe\" flood \"" + outFiles.back() + L"\" " + events +
                                     L"-start " + events + L"-done " + std::to_wstring(o.burst) + L" f" +
                                     std::to_wstring(g) + L" --gameid=" + std::to_wstring(g) +
                                     L" --lumo-pipe=ipc_channel_main --token=flood" + std::to_wstring(g)));
  }
  const bool ready = PumpUntil(
      [&outFiles] {
        for (const std::wstring& f : outFiles) {
          if (!HasLine(f, "ready")) return false;
        }
        return true;
      },
      60000);
  host.Take();
  SetEvent(start);
  // Host wakes carrying a flood mark, per game: sequence -> times seen.
  std::vector<std::map<int, int>> seen(static_cast<size_t>(games));
  int64_t first = 0, last = 0;
  size_t received = 0;
  const size_t expected = static_cast<size_t>(games) * static_cast<size_t>(o.burst);
  const bool all = ready && PumpUntil(
                                [&] {
                                  for (const Wake& w : host.Take()) {
                                    for (int g = 1; g <= games; ++g) {
                                      const int sequence = MarkOf(w.payload, "f" + std::to_string(g));
                                      if (sequence < 0) continue;
                                      ++seen[static_cast<size_t>(g - 1)][sequence];
                                      if (received++ == 0) first = w.ticks;
                                      last = w.ticks;
                                    }
                                  }
                                  return received >= expected;
                                },
                                60000);
  Sleep(300);  // a repeat would show up now
  for (const Wake& w : host.Take()) {
    for (int g = 1; g <= games; ++g) {
      const int sequence = MarkOf(w.payload, "f" + std::to_string(g));
      if (sequence >= 0) ++seen[static_cast<size_t>(g - 1)][sequence];
    }
  }
  SetEvent(done);
  const bool ended = WaitAll(processes, kGameBoundMs);
  CloseHandle(start);
  CloseHandle(done);
  if (!ready || !ended) {
    table.AddUnfinished(std::to_string(games) + " game(s) bursting into one channel, repetition " +
                            std::to_string(rep + 1),
                        !ready ? "a game did not log in within 60 s" : "a game did not end in time, ended");
    return false;
  }
  long lost = 0, repeated = 0;
  size_t distinct = 0;
  for (const std::map<int, int>& game : seen) {
    distinct += game.size();
    for (const auto& entry : game) repeated += entry.second - 1;
  }
  lost = static_cast<long>(expected - distinct);
  const double spanUs = e2e::TicksToUs(last - first);
  const double rate = all && spanUs > 0 ? static_cast<double>(received - 1) * 1e6 / spanUs : 0;
  Figure& f = table.Get("2 games bursting into one channel, together", "msg/s", "1 game bursting alone, same channel");
  (games == 2 ? f.lib : f.floor).push_back(rate);
  Figure& loss = table.Get("2 games into one channel: lost + repeated", "n", "1 game alone",
                           Goal{Goal::Exact, 0});
  (games == 2 ? loss.lib : loss.floor).push_back(static_cast<double>(lost + repeated));
  if (lost + repeated != 0) {
    std::fprintf(stderr, "e2e: %d game(s) into one channel: %ld lost, %ld repeated\n", games, lost, repeated);
  }
  return true;
}

enum class Dll { Library, Bare, BareWithImports };

void RunLoad(Table& table, Dll which, const std::wstring& dir, int rep) {
  const std::wstring outFile = dir + L"e2e_load.txt";
  const wchar_t* const names[] = {L"LumoGameSDK.dll", L"bare_dll.dll", L"bare_dll_imports.dll"};
  if (!Run(L"\"" + dir + L"e2e_load.exe\" \"" + dir + names[static_cast<int>(which)] + L"\"", kLoadBoundMs, outFile)) {
    char name[64];
    std::snprintf(name, sizeof(name), "%ls", names[static_cast<int>(which)]);
    table.AddUnfinished(std::string("loading ") + name + ", repetition " + std::to_string(rep + 1),
                        "still running after " + std::to_string(kLoadBoundMs / 1000) + " s, ended");
    return;
  }
  for (const std::string& line : ReadLines(outFile)) {
    double us = 0;
    if (std::sscanf(line.c_str(), "load_us %lf", &us) != 1) continue;
    Figure& bare = table.Get("DLL load in a fresh process", "us", "bare DLL, same toolchain");
    Figure& imports = table.Get("DLL load in a fresh process, imports counted", "us", "bare DLL with the same imports");
    switch (which) {
      case Dll::Library:
        bare.lib.push_back(us);
        imports.lib.push_back(us);
        break;
      case Dll::Bare:
        bare.floor.push_back(us);
        break;
      case Dll::BareWithImports:
        imports.floor.push_back(us);
        break;
    }
  }
}

HWND MakeHostWindow() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = lumo::kHostWndClassMain;
  RegisterClassW(&wc);
  return CreateWindowExW(0, wc.lpszClassName, L"e2e host", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr, nullptr,
                         wc.hInstance, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (name == "--reps") o.reps = value;
    if (name == "--idle-seconds") o.idleSeconds = value;
    if (name == "--burst") o.burst = value;
    if (name == "--sparse") o.sparse = value;
  }
  if (o.reps < 1 || o.burst < 1 || o.burst > 1000 || o.sparse < 1 || o.idleSeconds < 0) {
    std::fprintf(stderr, "usage: e2e_bench [--reps N] [--idle-seconds N] [--burst 1..1000] [--sparse N]\n");
    return 2;
  }
  const std::wstring dir = ExeDir();
  Host host;
  if (!host.Start() || MakeHostWindow() == nullptr) {
    std::fprintf(stderr, "e2e: cannot set up the host channel and window\n");
    return 1;
  }
  std::fprintf(stderr, "e2e: %d repetitions, burst %d, sparse %d, idle %d s\n", o.reps, o.burst, o.sparse,
               o.idleSeconds);
  Table table;
  bool ok = true;
  for (int rep = 0; rep < o.reps && ok; ++rep) {
    // Interleaved, and the order flips each time.
    const bool libFirst = rep % 2 == 0;
    const Dll order[2][3] = {{Dll::Library, Dll::Bare, Dll::BareWithImports},
                             {Dll::BareWithImports, Dll::Bare, Dll::Library}};
    for (Dll dll : order[rep % 2]) RunLoad(table, dll, dir, rep);
    for (int k = 0; k < 2 && ok; ++k) ok = RunGame(host, table, libFirst == (k == 0), o, dir, rep);
    if (ok) ok = RunSideBySide(table, o, dir, rep);
    for (int games = 1; games <= 2 && ok; ++games) ok = RunFlood(host, table, games, o, dir, rep);
    std::fprintf(stderr, "e2e: repetition %d done\n", rep + 1);
  }
  const bool hostEnded = host.Stop();
  if (!hostEnded) table.AddUnfinished("the host's reader", "still running 5 s after it was told to stop");
  // A missed goal is reported in the table; the exit code stays for runs
  // that could not measure.
  if (!table.Print()) std::printf("\nsome figures miss their goal (see the goal column)\n");
  if (!hostEnded) {
    std::fflush(stdout);
    std::_Exit(1);  // the reader still uses `host`: no destructor may run
  }
  return ok ? 0 : 1;
}
