#include "hostcheck/dpi_mode_trial.h"

#include <memory>

#include "nbase/thread.h"

namespace hostcheck {

namespace {

// What one trial found. Shared by the check thread and the trial's thread:
// a trial that outlives its bound still has somewhere to write.
struct Trial {
  lumo::DpiAwareness requested = lumo::DpiAwareness::Unknown;
  lumo::DpiAwareness made = lumo::DpiAwareness::Unknown;
  DpiModeTrial::Outcome outcome = DpiModeTrial::Outcome::NotMade;
  DWORD error = 0;
};

void RunTrial(Trial& t, HWND host) {
  if (!lumo::SetThreadDpiAwareness(t.requested)) return;
  // Hidden: re-parenting a shown window waits for the window manager.
  HWND wnd = CreateWindowExW(WS_EX_NOPARENTNOTIFY, L"STATIC", L"", WS_POPUP, 0, 0, 64, 48, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (wnd == nullptr) return;
  t.made = lumo::WindowDpiAwareness(wnd);
  // A mode the window does not really have is not judged; a system that
  // cannot tell (Unknown) is taken at its word.
  if (t.made != t.requested && t.made != lumo::DpiAwareness::Unknown) {
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
    t.outcome = DpiModeTrial::Outcome::Embedded;
    SetParent(wnd, nullptr);
  } else {
    t.outcome = DpiModeTrial::Outcome::Refused;
    t.error = error;
  }
  DestroyWindow(wnd);
}

// One trial on a thread of its own, waited for at most `boundMs`; one that
// does not end in time is let go with its share of the record.
Trial Try(lumo::DpiAwareness mode, HWND host, DWORD boundMs) {
  auto trial = std::make_shared<Trial>();
  trial->requested = mode;
  nbase::Thread worker;
  if (!worker.Create([trial, host] { RunTrial(*trial, host); })) return *trial;  // NotMade
  if (!worker.Join(boundMs)) {
    worker.LetGo();
    Trial late;
    late.requested = mode;
    late.outcome = DpiModeTrial::Outcome::TimedOut;
    return late;
  }
  return *trial;
}

}  // namespace

std::vector<DpiModeTrial> TryDpiModes(HWND host, DWORD boundMs) {
  std::vector<DpiModeTrial> trials;
  for (lumo::DpiAwareness mode : {lumo::DpiAwareness::Unaware, lumo::DpiAwareness::SystemAware,
                                  lumo::DpiAwareness::PerMonitorAwareV2}) {
    const Trial tried = Try(mode, host, boundMs);
    DpiModeTrial t;
    t.requested = mode;
    t.made = tried.made;
    t.outcome = tried.outcome;
    t.error = tried.error;
    if (t.outcome == DpiModeTrial::Outcome::NotMade && mode == lumo::DpiAwareness::PerMonitorAwareV2) {
      const Trial standIn = Try(lumo::DpiAwareness::PerMonitorAware, host, boundMs);
      t.hasStandIn = true;
      t.standInOutcome = standIn.outcome;
      t.standInError = standIn.error;
    }
    trials.push_back(t);
  }
  return trials;
}

}  // namespace hostcheck
