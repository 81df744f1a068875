#include "hostcheck/launch_checks.h"

#include <tlhelp32.h>

#include <cerrno>
#include <cstdlib>

#include "diag/utf8.h"
#include "ipc/shm_layout.h"
#include "launch/command_line.h"
#include "launch/launch_params.h"

namespace hostcheck {

namespace {

constexpr char kSection[] = "command-line";
// The units of --token the game reads (the rest of LaunchParams::token is its terminator).
constexpr size_t kMaxTokenUnits = sizeof(lumo::LaunchParams::token) / sizeof(wchar_t) - 1;
static_assert(kMaxTokenUnits == 63, "the host contract names 63 units");

ClauseResult Clause(const char* id, Verdict verdict, const std::string& observation) {
  ClauseResult r;
  r.group = "command-line";
  r.id = id;
  r.verdict = verdict;
  r.observation = observation;
  r.section = kSection;
  return r;
}

bool AllDigits(const std::wstring& s, size_t from = 0) {
  if (s.size() <= from) return false;
  return s.find_first_not_of(L"0123456789", from) == std::wstring::npos;
}

DWORD WindowPid(HWND wnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  return pid;
}

ClauseResult CheckParent(const lumo::CCommandLine& cmd, DWORD launcherPid, LaunchFacts& facts) {
  if (!cmd.HasKey(L"parent")) {
    return Clause("parent", Verdict::Fail, "--parent is missing: the game window cannot be embedded");
  }
  facts.hasParent = true;
  const std::wstring value = cmd.GetValue(L"parent");
  const std::string option = "--parent=" + lumo::Utf16ToUtf8(value);
  if (!AllDigits(value)) {
    return Clause("parent", Verdict::Fail, option + " is not an unsigned decimal window handle (hex reads as 0)");
  }
  HWND wnd = lumo::ParseWindowHandle(value);
  if (wnd == nullptr || !IsWindow(wnd)) {
    return Clause("parent", Verdict::Fail, option + " names no existing window");
  }
  if (GetAncestor(wnd, GA_PARENT) != GetDesktopWindow()) {
    return Clause("parent", Verdict::Fail, option + " is a child window, not a top-level window");
  }
  const DWORD owner = WindowPid(wnd);
  if (owner == GetCurrentProcessId()) {
    return Clause("parent", Verdict::Fail, option + " is a window of the game's own process");
  }
  facts.parent = wnd;
  const std::string seen = option + " is a live top-level window of process " + std::to_string(owner);
  if (launcherPid != 0 && owner != launcherPid) {
    return Clause("parent", Verdict::Warn,
                  seen + ", but the game was started by process " + std::to_string(launcherPid) +
                      " (fine when a helper of the launcher starts games)");
  }
  return Clause("parent", Verdict::Pass, seen + ", the launcher's");
}

ClauseResult CheckGameId(const lumo::CCommandLine& cmd) {
  if (!cmd.HasKey(L"gameid")) return Clause("gameid", Verdict::Fail, "--gameid is missing: the game sends game id 0");
  const std::wstring value = cmd.GetValue(L"gameid");
  const std::string option = "--gameid=" + lumo::Utf16ToUtf8(value);
  const size_t from = !value.empty() && value[0] == L'-' ? 1 : 0;
  if (!AllDigits(value, from)) {
    return Clause("gameid", Verdict::Fail, option + " is not a signed decimal number");
  }
  errno = 0;
  std::wcstoll(value.c_str(), nullptr, 10);
  if (errno == ERANGE) {
    return Clause("gameid", Verdict::Fail, option + " does not fit a signed 64-bit number");
  }
  return Clause("gameid", Verdict::Pass, option);
}

ClauseResult CheckPipe(const lumo::CCommandLine& cmd, LaunchFacts& facts) {
  if (!cmd.HasKey(L"lumo-pipe") || cmd.GetValue(L"lumo-pipe").empty()) {
    return Clause("lumo-pipe", Verdict::Fail, "--lumo-pipe is missing or empty: the game sends nothing");
  }
  const std::wstring value = cmd.GetValue(L"lumo-pipe");
  facts.pipe = lumo::Utf16ToUtf8(value);
  if (facts.pipe.size() > lumo::kShmMaxChannelName) {
    return Clause("lumo-pipe", Verdict::Fail,
                  "--lumo-pipe is " + std::to_string(facts.pipe.size()) + " bytes long, more than the " +
                      std::to_string(lumo::kShmMaxChannelName) + " a channel name may have");
  }
  for (wchar_t c : value) {
    if (c > 0x7E || c < 0x21 || c == L'\\') {
      return Clause("lumo-pipe", Verdict::Warn,
                    "--lumo-pipe=" + facts.pipe +
                        " holds a character that is not printable ASCII, or a backslash: the game opens the "
                        "channel with the name's bytes in the ANSI functions, keep it ASCII");
    }
  }
  return Clause("lumo-pipe", Verdict::Pass, "--lumo-pipe=" + facts.pipe);
}

ClauseResult CheckToken(const lumo::CCommandLine& cmd, LaunchFacts& facts) {
  const std::wstring value = cmd.GetValue(L"token");
  facts.gameChannel = lumo::MakeChannelName(value);
  if (!cmd.HasKey(L"token") || value.empty()) {
    return Clause("token", Verdict::Fail,
                  "--token is missing or empty: lumoGameLogin fails (-10) and every game shares the channel " +
                      facts.gameChannel);
  }
  const std::string shown = "--token=" + lumo::Utf16ToUtf8(value);
  if (value.size() > kMaxTokenUnits) {
    return Clause("token", Verdict::Fail,
                  shown + " has " + std::to_string(value.size()) + " UTF-16 units; only the first " +
                      std::to_string(kMaxTokenUnits) + " are verified");
  }
  if (facts.gameChannel.size() > lumo::kShmMaxChannelName) {
    return Clause("token", Verdict::Fail, shown + " makes the game's channel name longer than " +
                                              std::to_string(lumo::kShmMaxChannelName) + " bytes");
  }
  if (value.find(L'\\') != std::wstring::npos || value.find(L'"') != std::wstring::npos) {
    return Clause("token", Verdict::Fail,
                  shown + " holds a backslash or a quote: it cannot be part of an object name or a quoted value");
  }
  // Probed before the game creates its own channel: a live one of the same
  // name means the token was given to another running game.
  const std::string event = facts.gameChannel + "_server_njipc";
  HANDLE existing = OpenEventA(SYNCHRONIZE, FALSE, event.c_str());
  if (existing != nullptr) {
    CloseHandle(existing);
    return Clause("token", Verdict::Fail,
                  shown + ": the channel " + facts.gameChannel +
                      " already exists, the token was reused (lumoGameInit fails with -4)");
  }
  return Clause("token", Verdict::Pass, shown + ", game channel " + facts.gameChannel + " is free");
}

}  // namespace

DWORD ParentProcessId() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  DWORD parent = 0;
  for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) {
      parent = entry.th32ParentProcessID;
      break;
    }
  }
  CloseHandle(snap);
  return parent;
}

std::vector<ClauseResult> CheckLaunchOptions(const std::wstring& commandLine, DWORD launcherPid, LaunchFacts& facts) {
  lumo::CCommandLine cmd;
  cmd.Parse(commandLine);
  facts = LaunchFacts();
  std::vector<ClauseResult> results;
  results.push_back(CheckParent(cmd, launcherPid, facts));
  results.push_back(CheckGameId(cmd));
  results.push_back(CheckPipe(cmd, facts));
  results.push_back(CheckToken(cmd, facts));
  return results;
}

}  // namespace hostcheck
