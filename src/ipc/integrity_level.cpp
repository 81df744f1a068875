#include "ipc/integrity_level.h"

#include <windows.h>

#include <vector>

namespace lumo {

namespace {

IntegrityLevel TokenLevel(HANDLE token) {
  DWORD size = 0;
  GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
  if (size == 0) return IntegrityLevel::Unknown;
  std::vector<unsigned char> buffer(size);
  if (!GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size)) return IntegrityLevel::Unknown;
  const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
  PSID sid = label->Label.Sid;
  if (sid == nullptr || !IsValidSid(sid)) return IntegrityLevel::Unknown;
  const UCHAR count = *GetSidSubAuthorityCount(sid);
  if (count == 0) return IntegrityLevel::Unknown;
  return IntegrityLevelFromRid(*GetSidSubAuthority(sid, count - 1u));
}

IntegrityLevel ProcessHandleLevel(HANDLE process) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return IntegrityLevel::Unknown;
  IntegrityLevel level = IntegrityLevel::Unknown;
  try {
    level = TokenLevel(token);
  } catch (...) {  // out of memory for the label: not worth more than Unknown
  }
  CloseHandle(token);
  return level;
}

}  // namespace

IntegrityLevel ProcessIntegrityLevel(uint32_t pid) {
  if (pid == 0) return IntegrityLevel::Unknown;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) return IntegrityLevel::Unknown;
  const IntegrityLevel level = ProcessHandleLevel(process);
  CloseHandle(process);
  return level;
}

IntegrityLevel OwnIntegrityLevel() { return ProcessHandleLevel(GetCurrentProcess()); }

IntegrityLevels LauncherAndGameLevels(uint32_t launcherPid) {
  return IntegrityLevels{ProcessIntegrityLevel(launcherPid), OwnIntegrityLevel()};
}

IntegrityLevel IntegrityLevelFromRid(uint32_t rid) {
  if (rid < 0x1000) return IntegrityLevel::Untrusted;
  if (rid < 0x2000) return IntegrityLevel::Low;
  if (rid < 0x2100) return IntegrityLevel::Medium;
  if (rid < 0x3000) return IntegrityLevel::MediumPlus;
  if (rid < 0x4000) return IntegrityLevel::High;
  if (rid < 0x5000) return IntegrityLevel::System;
  return IntegrityLevel::Protected;
}

const wchar_t* IntegrityLevelName(IntegrityLevel level) {
  switch (level) {
    case IntegrityLevel::Untrusted:
      return L"untrusted";
    case IntegrityLevel::Low:
      return L"low";
    case IntegrityLevel::Medium:
      return L"medium";
    case IntegrityLevel::MediumPlus:
      return L"medium plus";
    case IntegrityLevel::High:
      return L"high (elevated)";
    case IntegrityLevel::System:
      return L"system";
    case IntegrityLevel::Protected:
      return L"protected";
    case IntegrityLevel::Unknown:
    default:
      return L"unknown";
  }
}

std::wstring HigherIntegrityHint(IntegrityLevels levels) {
  const IntegrityLevel launcher = levels.launcher;
  const IntegrityLevel game = levels.game;
  if (launcher != IntegrityLevel::Unknown && game != IntegrityLevel::Unknown && launcher <= game) {
    return std::wstring(L"the integrity levels are not the cause (launcher: ") + IntegrityLevelName(launcher) +
           L", game: " + IntegrityLevelName(game) + L")";
  }
  std::wstring launcherName = IntegrityLevelName(launcher);
  // A token that cannot be read is itself a sign of a more privileged process.
  if (launcher == IntegrityLevel::Unknown) launcherName += L" (its token cannot be read from the game)";
  return L"the launcher may run at a higher integrity level than the game (launcher: " + launcherName +
         L", game: " + IntegrityLevelName(game) +
         L"): start the game at the launcher's level, or run the launcher without elevation";
}

}  // namespace lumo
