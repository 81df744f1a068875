#include "launch/launch_params.h"

#include <cstring>
#include <cwchar>
#include <cwctype>

#include "diag/log.h"
#include "diag/text_convert.h"
#include "ipc/ipc_names.h"
#include "launch/command_line.h"

namespace lumo {

namespace {

std::string ToUtf8(const std::wstring& text) {
  return WideToMultiByte(text.c_str(), static_cast<int>(text.size()), CP_UTF8);
}

}  // namespace

void CopyUtf8Truncated(char* dest, size_t capacity, const std::string& text) {
  if (capacity == 0) return;
  size_t n = text.size();
  if (n >= capacity) {
    n = capacity - 1;
    // text[n] is the first byte left out; when it continues a multi-byte
    // character, leave out that whole character.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

HWND ParseWindowHandle(const std::wstring& value) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::wcstoull(value.c_str(), nullptr, 10)));
}

std::string MakeChannelName(const std::wstring& token) {
  std::string name = kChannelGame;
  name += "_";
  name += token.empty() ? std::string("unknown") : ToUtf8(token);
  return name;
}

void FillLaunchParams(const std::wstring& commandLine, LaunchParams& params) {
  std::memset(&params, 0, sizeof(params));
  CCommandLine cmd;
  cmd.Parse(commandLine);

  if (cmd.HasKey(L"parent")) {
    params.parentWnd = ParseWindowHandle(cmd.GetValue(L"parent"));
  }
  if (cmd.HasKey(L"lumo-pipe")) {
    CopyUtf8Truncated(params.hostPipe, sizeof(params.hostPipe), ToUtf8(cmd.GetValue(L"lumo-pipe")));
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

bool LoadLaunchParams(SdkContext& ctx) {
  const wchar_t* commandLine = GetCommandLineW();
  FillLaunchParams(commandLine ? commandLine : L"", ctx.launchParams);
  return true;
}

bool EnsureLaunchParamsLoaded(SdkContext& ctx) {
  if (ctx.launchParamsLoaded) return true;
  if (!LoadLaunchParams(ctx)) {
    SdkLog(L"LoadLaunchParams failed");
    return false;
  }
  ctx.hostTarget = ctx.launchParams.hostPipe;
  ctx.launchParamsLoaded = true;
  return true;
}

}  // namespace lumo
