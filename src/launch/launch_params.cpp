#include "launch/launch_params.h"

#include <cstring>
#include <cwchar>
#include <cwctype>

#include "diag/utf8.h"
#include "launch/command_line.h"

namespace lumo {

HWND ParseWindowHandle(const std::wstring& value) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::wcstoull(value.c_str(), nullptr, 10)));
}

void FillLaunchParams(const std::wstring& commandLine, LaunchParams& params) {
  std::memset(&params, 0, sizeof(params));
  CCommandLine cmd;
  cmd.Parse(commandLine);

  if (cmd.HasKey(L"parent")) {
    params.parentWnd = ParseWindowHandle(cmd.GetValue(L"parent"));
  }
  if (cmd.HasKey(L"lumo-pipe")) {
    CopyUtf8Truncated(params.hostPipe, sizeof(params.hostPipe), Utf16ToUtf8(cmd.GetValue(L"lumo-pipe")));
  }
  if (cmd.HasKey(L"gameid")) {
    const std::wstring v = cmd.GetValue(L"gameid");
    params.gameId = v.empty() ? 0 : std::wcstoll(v.c_str(), nullptr, 10);
  }
  params.parentValid = (params.parentWnd != nullptr && IsWindow(params.parentWnd)) ? 1 : 0;

  const std::wstring token = cmd.GetValue(L"token");
  if (!token.empty()) {
    wcsncpy_s(params.token, _countof(params.token), token.c_str(), _TRUNCATE);
  }
  // The channel name carries the whole token, not the 63-unit copy.
  CopyUtf8Truncated(params.channelName, sizeof(params.channelName), MakeChannelName(token));
}

LaunchParams LoadLaunchParams() {
  LaunchParams params;
  const wchar_t* commandLine = GetCommandLineW();
  FillLaunchParams(commandLine ? commandLine : L"", params);
  return params;
}

}  // namespace lumo
