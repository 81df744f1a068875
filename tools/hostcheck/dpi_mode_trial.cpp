#include "hostcheck/dpi_mode_trial.h"

#include <memory>
#include <thread>

namespace hostcheck {

namespace {

// Shared by the check thread and the trial's thread: a trial that outlives
// its bound still has somewhere to write.
struct Trial {
  lumo::DpiAwareness requested = lumo::DpiAwareness::Unknown;
  lumo::DpiAwareness made = lumo::DpiAwareness::Unknown;
  DpiModeTrial::Outcome outcome = DpiModeTrial::Outcome::NotMade;
  DWORD error = 0;
  HANDLE done = nullptr;
  ~Trial() {
    if (done) CloseHandle(done);
  }
};

void RunTrial(const std::shared_ptr<Trial>& t, HWND host) {
  if (!lumo::SetThreadDpiAwareness(t->requested)) return;
  // Hidden: re-parenting a shown window waits for the window manager.
  HWND wnd = CreateWindowExW(WS_EX_NOPARENTNOTIFY, L"STATIC", L"", WS_POPUP, 0, 0, 64, 48, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (wnd == nullptr) return;
  t->made = lumo::WindowDpiAwareness(wnd);
  // A mode the window does not really have is not judged; a system that
  // cannot tell (Unknown) is taken at its word.
  if (t->made != t->requested && t->made != lumo::DpiAwareness::Unknown) {
    DestroyWindow(wnd);
    return;
  }
  // As the library embeds a game window: a child, then re-parented.
  const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
  SetWindowLongPtrW(wnd, GWL_STYLE, (style & ~static_cast<LONG_PTR>(WS_POPUP)) | WS_CHILD);
  SetLastError(0);
  SetParent(wnd, host);
  const DWORD error = GetLastError();
  if (GetAncestor(wnd, GA_PARENT) == host) {
    t->outcome = DpiModeTrial::Outcome::Embedded;
    SetParent(wnd, nullptr);
  } else {
    t->outcome = DpiModeTrial::Outcome::Refused;
    t->error = error;
  }
  DestroyWindow(wnd);
}

void Try(lumo::DpiAwareness mode, HWND host, DWORD boundMs, DpiModeTrial::Outcome& outcome, DWORD& error,
         lumo::DpiAwareness& made) {
  auto trial = std::make_shared<Trial>();
  trial->requested = mode;
  trial->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (trial->done == nullptr) {
    outcome = DpiModeTrial::Outcome::NotMade;
    return;
  }
  std::thread worker([trial, host] {
    RunTrial(trial, host);
    SetEvent(trial->done);
  });
  if (WaitForSingleObject(trial->done, boundMs) != WAIT_OBJECT_0) {
    worker.detach();
    outcome = DpiModeTrial::Outcome::TimedOut;
    return;
  }
  worker.join();
  outcome = trial->outcome;
  error = trial->error;
  made = trial->made;
}

}  // namespace

std::vector<DpiModeTrial> TryDpiModes(HWND host, DWORD boundMs) {
  std::vector<DpiModeTrial> trials;
  for (lumo::DpiAwareness mode : {lumo::DpiAwareness::Unaware, lumo::DpiAwareness::SystemAware,
                                  lumo::DpiAwareness::PerMonitorAwareV2}) {
    DpiModeTrial t;
    t.requested = mode;
    Try(mode, host, boundMs, t.outcome, t.error, t.made);
    if (t.outcome == DpiModeTrial::Outcome::NotMade && mode == lumo::DpiAwareness::PerMonitorAwareV2) {
      lumo::DpiAwareness made = lumo::DpiAwareness::Unknown;
      t.hasStandIn = true;
      Try(lumo::DpiAwareness::PerMonitorAware, host, boundMs, t.standInOutcome, t.standInError, made);
    }
    trials.push_back(t);
  }
  return trials;
}

}  // namespace hostcheck
