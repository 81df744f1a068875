#include "ipc/host_process.h"

#include <windows.h>

#include <cstring>

#include "ipc/ipc_names.h"

namespace lumo {

namespace {

struct HostWindowClass {
  const char* channel;
  const wchar_t* windowClass;
};

// Tested in this order; the first equal name decides.
const HostWindowClass kHostWindowClasses[] = {
    {kChannelMain, kHostWndClassMain}, {kChannelDown, kHostWndClassDown},
    {kChannelTray, kHostWndClassTray}, {kChannelUpdate, kHostWndClassUpdate},
    {kChannelIe, kHostWndClassIe},     {kChannelAuto, kHostWndClassAuto},
};

}  // namespace

const wchar_t* HostWindowClassFor(const std::string& name) {
  for (const HostWindowClass& row : kHostWindowClasses) {
    if (name == row.channel) return row.windowClass;
  }
  return nullptr;
}

uint32_t FindHostProcessId(const std::string& name, HWND hostWindow) {
  if (const wchar_t* windowClass = HostWindowClassFor(name)) {
    HWND wnd = FindWindowW(windowClass, nullptr);
    return wnd ? WindowProcessId(wnd) : 0;
  }
  return IsPlayerChannel(name) ? WindowProcessId(hostWindow) : 0;
}

bool IsPlayerChannel(const std::string& name) {
  return name.compare(0, std::strlen(kChannelPlayer), kChannelPlayer) == 0;
}

bool HasHostLookup(const std::string& name) {
  return HostWindowClassFor(name) != nullptr || IsPlayerChannel(name);
}

uint32_t WindowProcessId(HWND window) {
  if (window == nullptr || !IsWindow(window)) return 0;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

}  // namespace lumo
