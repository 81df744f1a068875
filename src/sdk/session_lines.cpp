#include "sdk/session_lines.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

#include "LumoGameSDK.h"
#include "diag/log.h"
#include "launch/command_line.h"
#include "launch/launch_summary.h"

namespace lumo {

namespace {

std::atomic<bool> g_firstInitLogged{false};

// The file this code was loaded from (the DLL, or a program built with the
// library's parts).
std::wstring OwnFile() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<const wchar_t*>(&g_firstInitLogged), &self)) {
    return L"?";
  }
  const std::wstring path = ModuleFilePath(self);
  return path.empty() ? std::wstring(L"?") : path;
}

CCommandLine OwnCommandLine() {
  CCommandLine cmd;
  const wchar_t* text = GetCommandLineW();
  cmd.Parse(text != nullptr ? text : L"");
  return cmd;
}

// The channel's name as the log shows it: the token part by its length only.
std::wstring ShownChannelName(const SdkContext& ctx) {
  const size_t tokenUnits = wcsnlen(ctx.launchParams.token, _countof(ctx.launchParams.token));
  if (tokenUnits == 0) return L"ipc_channel_game_unknown";
  return L"ipc_channel_game_<the token, " + std::to_wstring(tokenUnits) + L" characters>";
}

std::wstring CreateFailureCause(const IpcCreateFailure& failure, bool tokenless) {
  switch (failure.status) {
    case ShmStatus::EventExists:
    case ShmStatus::MappingExists:
      return std::wstring(L"the name is taken: another copy of this game, or another program, holds it") +
             (tokenless ? L" (a game started without the launcher has no token, so every such copy uses this name)"
                        : L"");
    case ShmStatus::CreateEventFailed:
    case ShmStatus::CreateMappingFailed:
      if (failure.error == ERROR_INVALID_HANDLE) {
        return L"another program holds the name as an object of another kind (error 6)";
      }
      if (failure.error == ERROR_ACCESS_DENIED) {
        return L"another program, of another user or run as administrator, holds the name (error 5, access denied)";
      }
      return L"the system refused it (error " + std::to_wstring(failure.error) + L")";
    case ShmStatus::InvalidName:
      return L"the name is empty or too long";
    default:
      return L"status " + std::to_wstring(static_cast<int>(failure.status)) + L", error " +
             std::to_wstring(failure.error);
  }
}

}  // namespace

void LogFirstInitLines(const SdkContext& ctx) {
  // The command line is read again and the DLL's path looked up only for a
  // log that is on.
  if (g_firstInitLogged.exchange(true) || !SdkLogOn()) return;
  const char* const version = LUMO_SDK_VERSION_STRING;
  SdkLog(L"LumoGameSDK %ls (x64), %ls", std::wstring(version, version + std::strlen(version)).c_str(),
         OwnFile().c_str());
  const CCommandLine cmd = OwnCommandLine();
  SdkLog(L"%ls", DescribeLaunchOptions(cmd).c_str());
  const std::wstring problem = DescribeParentProblem(cmd, JudgeParent(cmd, ctx.launchParams.parentValid != 0));
  if (!problem.empty()) SdkLog(L"%ls", problem.c_str());
}

void LogEmbedding(const SdkContext& ctx, bool embedded) {
  if (embedded) {
    SdkLog(L"Init: the game window 0x%llx is embedded in the launcher's window 0x%llx",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(ctx.gameWnd)),
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(ctx.launchParams.parentWnd)));
  } else if (ctx.launchParams.parentWnd != nullptr) {
    SdkLog(L"Init: the game window 0x%llx is not embedded: --parent named no window when the game started",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(ctx.gameWnd)));
  } else {
    SdkLog(L"Init: the game window 0x%llx is not embedded: no usable --parent on the command line",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(ctx.gameWnd)));
  }
}

void LogChannelRefused(const SdkContext& ctx, const IpcCreateFailure& failure) {
  if (failure.status == ShmStatus::Ok) return;  // refused for another reason, logged where it was found
  const bool tokenless = ctx.launchParams.token[0] == L'\0';
  SdkLog(L"Init: the library's channel %ls cannot be created: %ls", ShownChannelName(ctx).c_str(),
         CreateFailureCause(failure, tokenless).c_str());
}

}  // namespace lumo
