#include "sdk/dpi_awareness.h"

#include "nbase/system_library.h"

namespace lumo {

namespace {

// The system's DPI_AWARENESS_CONTEXT pseudo-handles and hosting values,
// spelled out: the headers declare them only for newer Windows targets.
using DpiContext = HANDLE;
const DpiContext kContextUnaware = reinterpret_cast<DpiContext>(static_cast<INT_PTR>(-1));
const DpiContext kContextSystemAware = reinterpret_cast<DpiContext>(static_cast<INT_PTR>(-2));
const DpiContext kContextPerMonitorAware = reinterpret_cast<DpiContext>(static_cast<INT_PTR>(-3));
const DpiContext kContextPerMonitorAwareV2 = reinterpret_cast<DpiContext>(static_cast<INT_PTR>(-4));
constexpr int kAwarenessUnaware = 0;
constexpr int kAwarenessSystem = 1;
constexpr int kAwarenessPerMonitor = 2;
constexpr int kHostingDefault = 0;
constexpr int kHostingMixed = 1;

using GetWindowContextFn = DpiContext(WINAPI*)(HWND);
using GetThreadContextFn = DpiContext(WINAPI*)();
using SetProcessContextFn = BOOL(WINAPI*)(DpiContext);
using GetAwarenessFn = int(WINAPI*)(DpiContext);
using ContextsEqualFn = BOOL(WINAPI*)(DpiContext, DpiContext);
using GetHostingFn = int(WINAPI*)(HWND);
using SetThreadContextFn = DpiContext(WINAPI*)(DpiContext);
using SetThreadHostingFn = int(WINAPI*)(int);

template <typename Fn>
Fn User32Call(const char* name) {
  return nbase::LoadedFunction<Fn>(L"user32.dll", name);
}

DpiAwareness AwarenessOfContext(DpiContext context) {
  static const GetAwarenessFn getAwareness = User32Call<GetAwarenessFn>("GetAwarenessFromDpiAwarenessContext");
  static const ContextsEqualFn equal = User32Call<ContextsEqualFn>("AreDpiAwarenessContextsEqual");
  if (getAwareness == nullptr || context == nullptr) return DpiAwareness::Unknown;
  switch (getAwareness(context)) {
    case kAwarenessUnaware:
      return DpiAwareness::Unaware;
    case kAwarenessSystem:
      return DpiAwareness::SystemAware;
    case kAwarenessPerMonitor:
      return equal != nullptr && equal(context, kContextPerMonitorAwareV2) ? DpiAwareness::PerMonitorAwareV2
                                                                           : DpiAwareness::PerMonitorAware;
    default:
      return DpiAwareness::Unknown;
  }
}

DpiContext ContextOf(DpiAwareness awareness) {
  switch (awareness) {
    case DpiAwareness::Unaware:
      return kContextUnaware;
    case DpiAwareness::SystemAware:
      return kContextSystemAware;
    case DpiAwareness::PerMonitorAware:
      return kContextPerMonitorAware;
    case DpiAwareness::PerMonitorAwareV2:
      return kContextPerMonitorAwareV2;
    case DpiAwareness::Unknown:
    default:
      return nullptr;
  }
}

}  // namespace

DpiAwareness WindowDpiAwareness(HWND wnd) {
  static const GetWindowContextFn getContext = User32Call<GetWindowContextFn>("GetWindowDpiAwarenessContext");
  if (getContext == nullptr || wnd == nullptr) return DpiAwareness::Unknown;
  return AwarenessOfContext(getContext(wnd));
}

DpiAwareness ThreadDpiAwareness() {
  static const GetThreadContextFn getContext = User32Call<GetThreadContextFn>("GetThreadDpiAwarenessContext");
  if (getContext == nullptr) return DpiAwareness::Unknown;
  return AwarenessOfContext(getContext());
}

DpiHosting WindowDpiHosting(HWND wnd) {
  static const GetHostingFn getHosting = User32Call<GetHostingFn>("GetWindowDpiHostingBehavior");
  if (getHosting == nullptr || wnd == nullptr) return DpiHosting::Unknown;
  switch (getHosting(wnd)) {
    case kHostingDefault:
      return DpiHosting::Default;
    case kHostingMixed:
      return DpiHosting::Mixed;
    default:
      return DpiHosting::Unknown;
  }
}

bool SetThreadDpiAwareness(DpiAwareness awareness) {
  static const SetThreadContextFn setContext = User32Call<SetThreadContextFn>("SetThreadDpiAwarenessContext");
  const DpiContext context = ContextOf(awareness);
  return setContext != nullptr && context != nullptr && setContext(context) != nullptr;
}

bool SetProcessDpiAwareness(DpiAwareness awareness) {
  static const SetProcessContextFn setContext = User32Call<SetProcessContextFn>("SetProcessDpiAwarenessContext");
  const DpiContext context = ContextOf(awareness);
  return setContext != nullptr && context != nullptr && setContext(context) != FALSE;
}

bool SetThreadMixedDpiHosting() {
  static const SetThreadHostingFn setHosting = User32Call<SetThreadHostingFn>("SetThreadDpiHostingBehavior");
  // The call answers the previous behaviour, or -1 (invalid) when it fails.
  return setHosting != nullptr && setHosting(kHostingMixed) != -1;
}

}  // namespace lumo
