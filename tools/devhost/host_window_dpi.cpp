#include "devhost/host_window_dpi.h"

#include "diag/utf8.h"
#include "sdk/dpi_awareness.h"
#include "sdk/dpi_embedding_rules.h"

namespace devhost {

namespace {

std::string Name(lumo::DpiAwareness awareness) {
  return lumo::Utf16ToUtf8(lumo::DpiAwarenessName(awareness));
}

}  // namespace

std::vector<std::string> PrepareWindowThreadDpi(const Options& options) {
  std::vector<std::string> refused;
  const lumo::DpiAwareness wanted = options.dpiAwareness;
  if (wanted != lumo::DpiAwareness::Unknown && !lumo::SetThreadDpiAwareness(wanted)) {
    // Per-monitor v1 follows the same embedding rule as v2; systems that
    // refuse v2 (Windows before 10 1703, Wine) may still set v1.
    if (wanted == lumo::DpiAwareness::PerMonitorAwareV2 &&
        lumo::SetThreadDpiAwareness(lumo::DpiAwareness::PerMonitorAware)) {
      refused.push_back("dpi refused awareness=" + Name(wanted) + ": the system refuses the mode, the window is " +
                        Name(lumo::DpiAwareness::PerMonitorAware) + " instead");
    } else {
      refused.push_back("dpi refused awareness=" + Name(wanted) +
                        ": the system refuses the mode or lacks SetThreadDpiAwarenessContext, the window keeps "
                        "the process's awareness");
    }
  }
  if (options.mixedHosting && !lumo::SetThreadMixedDpiHosting()) {
    refused.push_back(
        "dpi refused hosting=mixed: the system lacks or refuses SetThreadDpiHostingBehavior (Windows before 10 "
        "1803, Wine)");
  }
  return refused;
}

std::string DescribeWindowDpi(HWND wnd) {
  return "dpi awareness=" + Name(lumo::WindowDpiAwareness(wnd)) +
         " hosting=" + lumo::Utf16ToUtf8(lumo::DpiHostingName(lumo::WindowDpiHosting(wnd)));
}

std::string DescribeGameWindowDpi(HWND game) {
  std::string text = "game dpi awareness=" + Name(lumo::WindowDpiAwareness(game));
  const HWND parent = GetAncestor(game, GA_PARENT);
  DWORD pid = 0;
  if (parent != nullptr && GetWindowThreadProcessId(parent, &pid) != 0 && pid == GetCurrentProcessId()) {
    return text + " host=" + Name(lumo::WindowDpiAwareness(parent));
  }
  return text + " host=not inside a window of lumo-devhost";
}

}  // namespace devhost
