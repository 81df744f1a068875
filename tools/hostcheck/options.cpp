#include "hostcheck/options.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cwchar>

#include "diag/utf8.h"
#include "hostcheck/dpi_trial_report.h"

namespace hostcheck {

const char* const kGroups[5] = {"command-line", "channel", "window", "messages", "shutdown"};

const char kHelpText[] =
    "Usage: point the launcher at lumo-hostcheck.exe in place of the game, so\n"
    "that it starts it as it starts a game:\n"
    "  lumo-hostcheck.exe --parent=<hwnd> --gameid=<id> --lumo-pipe=<channel> --token=<token>\n"
    "                     [--json <file>] [--only <group>] [--burst[=<n>]]\n"
    "\n"
    "Stand-in game: checks that the launcher keeps the host contract. It plays a\n"
    "game's part through LumoGameSDK.dll (beside it) and prints one line per\n"
    "clause: PASS, FAIL or WARN, what it saw, how long it took, and the section\n"
    "of docs/host-contract.md the clause comes from; then \"N passed, N failed\".\n"
    "A PASS whose text begins \"not applicable:\" is a clause that does not\n"
    "concern this launcher (the re-size of a window nobody can resize).\n"
    "\n"
    "Options (also read from the environment variable LUMO_HOSTCHECK_OPTIONS):\n"
    "  --json <file>    also write the report as JSON\n"
    "  --only <group>   run one group: command-line, channel, window, messages,\n"
    "                   shutdown\n"
    "  --burst[=<n>]    log in with the token and send <n> (default 20)\n"
    "                   IpcMsg_GameSDK_ShowPay requests marked as a test, to see\n"
    "                   that the launcher takes each one in time (the launcher\n"
    "                   may show a payment window for each)\n"
    "  --help           this text\n"
    "  --dpi-trial=<mode> --dpi-trial-host=<hwnd>\n"
    "                   (used by lumo-hostcheck itself: one window/dpi-modes\n"
    "                   trial in a process of its own; prints one line)\n"
    "\n"
    "Exit code: 0 when no clause failed, 1 when one did, 2 on bad usage.\n";

namespace {

bool IsLaunchOption(const std::wstring& name) {
  return name == L"parent" || name == L"gameid" || name == L"lumo-pipe" || name == L"token";
}

// "--name", "--name=value", "-name:value", "/name=value" → name and value.
bool SplitOption(const std::wstring& arg, std::wstring& name, std::wstring& value, bool& hasValue) {
  size_t skip = 0;
  if (arg.compare(0, 2, L"--") == 0) skip = 2;
  else if (!arg.empty() && (arg[0] == L'-' || arg[0] == L'/')) skip = 1;
  else return false;
  const std::wstring rest = arg.substr(skip);
  const size_t delim = rest.find_first_of(L":=");
  hasValue = delim != std::wstring::npos;
  name = rest.substr(0, delim);
  value = hasValue ? rest.substr(delim + 1) : std::wstring();
  return true;
}

}  // namespace

std::vector<std::wstring> SplitArguments(const std::wstring& text) {
  std::vector<std::wstring> args;
  int argc = 0;
  // A program name first: CommandLineToArgvW reads the first token by other rules.
  const std::wstring line = L"x " + text;
  LPWSTR* argv = CommandLineToArgvW(line.c_str(), &argc);
  for (int i = 1; argv && i < argc; ++i) args.emplace_back(argv[i]);
  if (argv) LocalFree(argv);
  return args;
}

bool ParseOptions(const std::vector<std::wstring>& args, Options& out, std::string& error) {
  out = Options();
  for (size_t i = 0; i < args.size(); ++i) {
    std::wstring name, value;
    bool hasValue = false;
    if (!SplitOption(args[i], name, value, hasValue)) continue;  // a value of an option we skip
    if (IsLaunchOption(name)) continue;
    auto takeValue = [&](const char* what) -> bool {
      if (!hasValue) {
        if (i + 1 >= args.size()) {
          error = std::string("--") + what + " needs a value";
          return false;
        }
        value = args[++i];
      }
      if (value.empty()) {
        error = std::string("--") + what + " needs a value";
        return false;
      }
      return true;
    };
    if (name == L"help" || name == L"h" || name == L"?") {
      out.help = true;
    } else if (name == L"json") {
      if (!takeValue("json")) return false;
      out.jsonPath = value;
    } else if (name == L"only") {
      if (!takeValue("only")) return false;
      const std::string group = lumo::Utf16ToUtf8(value);
      bool known = false;
      for (const char* g : kGroups) known = known || group == g;
      if (!known) {
        error = "unknown group " + group + " (command-line, channel, window, messages, shutdown)";
        return false;
      }
      out.only = group;
    } else if (name == L"burst") {
      out.burst = 20;
      if (hasValue) {
        wchar_t* end = nullptr;
        const unsigned long n = std::wcstoul(value.c_str(), &end, 10);
        if (value.empty() || *end != L'\0' || n == 0 || n > 1000) {
          error = "bad --burst, expected 1 to 1000";
          return false;
        }
        out.burst = static_cast<int>(n);
      }
    } else if (name == L"dpi-trial") {
      if (!takeValue("dpi-trial")) return false;
      out.dpiTrial = DpiTrialModeFromName(lumo::Utf16ToUtf8(value));
      if (out.dpiTrial == lumo::DpiAwareness::Unknown) {
        error = "bad --dpi-trial, expected unaware, system, permonitor or permonitor2";
        return false;
      }
    } else if (name == L"dpi-trial-host") {
      if (!takeValue("dpi-trial-host")) return false;
      wchar_t* end = nullptr;
      const unsigned long long handle = std::wcstoull(value.c_str(), &end, 10);
      if (*end != L'\0' || handle == 0) {
        error = "bad --dpi-trial-host, expected a window handle in decimal";
        return false;
      }
      out.dpiTrialHost = reinterpret_cast<HWND>(static_cast<uintptr_t>(handle));
    }
    // Anything else belongs to the launcher's own command line.
  }
  return true;
}

}  // namespace hostcheck
