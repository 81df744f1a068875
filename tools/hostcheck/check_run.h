// One run of the checks, group by group, as a game meets the launcher: the
// command line, the channel, embedding through lumoGameInit, the messages
// the library sends, and lumoGameUninit. Results go to the Report.
//
// Threads: Run on a check thread of its own while the game's window thread
// pumps messages; lumoGameInit and lumoGameUninit run on the window thread
// (sent to `gameWnd` as kCallInit / kCallUninit), the other exports on the
// check thread. The DPI trials make their windows on threads of their own
// (dpi_mode_trial.h), each set to the awareness it tries.
#pragma once

#include <windows.h>

#include <string>

#include "hostcheck/launch_checks.h"
#include "hostcheck/options.h"
#include "hostcheck/report.h"
#include "ipc/shm_endpoint.h"

namespace hostcheck {

// Messages the check thread sends to the game window; the window procedure
// answers with the export's result.
constexpr UINT kCallInit = WM_APP + 1;
constexpr UINT kCallUninit = WM_APP + 2;

class CheckRun {
 public:
  CheckRun(const Options& options, Report& report, HWND gameWnd);
  ~CheckRun();
  CheckRun(const CheckRun&) = delete;
  CheckRun& operator=(const CheckRun&) = delete;

  void Run();

 private:
  void Add(const char* group, const char* id, Verdict verdict, const std::string& observation, double ms,
           const char* section);
  void CheckChannel();
  void CheckWindowClass();
  void RunSession();
  void CheckReadyTaken(class ChannelWatch& watch);
  void CheckWindowThread();
  void CheckDpiModes();
  void RunBurst(class ChannelWatch& watch);
  void CheckShutdown();

  const Options& options_;
  Report& report_;
  HWND gameWnd_;
  LaunchFacts facts_;
  lumo::ShmEndpoint channel_{};
  bool channelOpen_ = false;
  int initResult_ = 1;       // 1: lumoGameInit not called
  bool answeredBefore_ = false;
  bool windowThreadOk_ = false;
};

}  // namespace hostcheck
