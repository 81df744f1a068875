#include "ipc/host_process.h"

#include <windows.h>

#include <cstring>

#include "ipc/ipc_names.h"
#include "launch/command_line.h"
#include "launch/launch_params.h"

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

uint32_t WindowProcessId(HWND wnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  return pid;
}

}  // namespace

uint32_t FindHostProcessId(const std::string& name) {
  for (const HostWindowClass& row : kHostWindowClasses) {
    if (name == row.channel) {
      HWND wnd = FindWindowW(row.windowClass, nullptr);
      return wnd ? WindowProcessId(wnd) : 0;
    }
  }
  if (name.compare(0, std::strlen(kChannelPlayer), kChannelPlayer) == 0) {
    return GetParentWindowProcessId();
  }
  return 0;
}

uint32_t GetParentWindowProcessId() {
  const wchar_t* commandLine = GetCommandLineW();
  CCommandLine cmd;
  cmd.Parse(commandLine ? commandLine : L"");
  if (!cmd.HasKey(L"parent")) return 0;
  HWND wnd = ParseWindowHandle(cmd.GetValue(L"parent"));
  if (wnd == nullptr || !IsWindow(wnd)) return 0;
  return WindowProcessId(wnd);
}

}  // namespace lumo
