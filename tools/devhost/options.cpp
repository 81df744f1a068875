#include "devhost/options.h"

#include <cwchar>

#include "diag/text_convert.h"
#include "diag/utf8.h"
#include "ipc/ipc_names.h"

namespace devhost {

const char kHelpText[] =
    "Usage: lumo-devhost.exe [options] [--] <game.exe> [game arguments...]\n"
    "\n"
    "Development host: plays the launcher's part for a game using LumoGameSDK.dll.\n"
    "Creates a host window and the server side of a host channel, starts the game\n"
    "with --parent, --gameid, --lumo-pipe and --token, prints every message the\n"
    "game sends and the game's debugger output, and exits with the game's exit code.\n"
    "\n"
    "Options:\n"
    "  --channel=<name>     host channel to create (default ipc_channel_main)\n"
    "  --window-class=<c>   host window class (default: the class that belongs to\n"
    "                       the channel, lumoprocess_main_wnd for ipc_channel_main)\n"
    "  --size=<w>x<h>       client size of the host window (default 1280x720)\n"
    "  --parent=<value>     value passed as --parent (default: the host window)\n"
    "  --gameid=<value>     value passed as --gameid (default 1)\n"
    "  --pipe=<value>       value passed as --lumo-pipe (default: the channel)\n"
    "  --token=<value>      value passed as --token (default devtoken)\n"
    "  --no-parent, --no-gameid, --no-pipe, --no-token\n"
    "                       leave that option off the game's command line\n"
    "  --send=<msg>:<body>  after IpcMsg_GameSDK_GameWndReady arrives, send message\n"
    "                       <msg> with body text <body> to the game's channel\n"
    "                       (repeatable; sent in order)\n"
    "  --stdin              also send one message per stdin line \"<msg>:<body>\"\n"
    "                       (lines before GameWndReady wait for it)\n"
    "  --raw                also print every received envelope byte for byte, in hex\n"
    "  --read-delay-ms=<n>  after each message read, spend <n> ms before waiting for\n"
    "                       the next (a busy launcher; for delivery tests)\n"
    "  --channel-late-ms=<n> create the host channel <n> ms after starting the game\n"
    "                       instead of before (a launcher that breaks the order;\n"
    "                       for tests of games and of launcher checks)\n"
    "  --capture=<mode>     game debugger output: dbwin (default; the DBWIN buffer,\n"
    "                       falls back to debugger when another monitor owns it),\n"
    "                       debugger (run the game under this host as debugger),\n"
    "                       none\n"
    "  --hang=<when>[:<ms>] the host window's thread stops pumping messages (the\n"
    "                       process and channel go on) at <when>: launch (right\n"
    "                       after starting the game) or ready (when GameWndReady\n"
    "                       arrives), for <ms> milliseconds or until the game ends\n"
    "  --probe-ms=<n>       every <n> ms the host window's thread sends the embedded\n"
    "                       game window a message and waits (at most 5 s) for the\n"
    "                       answer, as the launcher's own window messages do\n"
    "  --dpi-awareness=<m>  DPI awareness of the host window: unaware, system or\n"
    "                       permonitor (per-monitor aware v2, or v1 where the system\n"
    "                       refuses v2); default: the process's own\n"
    "  --no-mixed-hosting   make the host window on a thread without mixed DPI\n"
    "                       hosting (by default it has mixed hosting where the\n"
    "                       system has SetThreadDpiHostingBehavior)\n"
    "  --fixed-size         a host window a person cannot resize: no sizing border\n"
    "                       and no maximize box\n"
    "  --help               this text\n"
    "Everything after the game path is passed to the game unchanged.\n"
    "\n"
    "Output, one line each, flushed at once:\n"
    "  [devhost] window=<decimal hwnd>\n"
    "  [devhost] channel=<host channel>\n"
    "  [devhost] dpi refused <what>: <why>  a DPI mode asked for that the system\n"
    "                                     refuses (awareness=<mode>, hosting=mixed)\n"
    "  [devhost] dpi awareness=<awareness> hosting=<hosting>   the host window's,\n"
    "                                     as read back from it\n"
    "  [devhost] capture=<dbwin|debugger|none>\n"
    "  [devhost] launch <game command line>\n"
    "  [devhost] game pid=<pid>\n"
    "  [devhost] channel created         (with --channel-late-ms)\n"
    "  [devhost] recv <msg> <body>        a message on the host channel\n"
    "  [devhost] raw <hex>                the envelope's exact bytes (with --raw)\n"
    "  [devhost] recv-invalid <reason>    a message that is no envelope\n"
    "  [devhost] game channel=<name>      learnt from GameWndReady\n"
    "  [devhost] game dpi awareness=<awareness> host=<awareness>   the game\n"
    "                                     window's, read when GameWndReady\n"
    "                                     arrives, beside the host window's\n"
    "  [devhost] sent <msg> <body>\n"
    "  [devhost] send-failed <msg> <reason>\n"
    "  [devhost] debug <text>             one line of the game's debugger output\n"
    "  [devhost] hang                     the window thread stops pumping\n"
    "  [devhost] hang over                it pumps again\n"
    "  [devhost] probe at=<ms> took-ms=<ms> answered=<0|1>   (with --probe-ms; at:\n"
    "                                     GetTickCount64 when sent)\n"
    "  [devhost] game exited code=<code>   (a status such as 0xC0000135 also in\n"
    "                                     hex: code=3221225781 (0xC0000135))\n"
    "  [devhost] error <text>\n"
    "Line feeds and carriage returns inside a body are shown as \\n and \\r.\n"
    "\n"
    "Exit code: the game's, 2 on bad usage, 3 when the host cannot start.\n";

namespace {

// A number of milliseconds from `least` to 600000 in `out`; otherwise false
// with `error` naming the option and the range.
bool ParseMilliseconds(const std::wstring& v, unsigned long least, const char* option, unsigned& out,
                       std::string& error) {
  wchar_t* end = nullptr;
  const unsigned long ms = std::wcstoul(v.c_str(), &end, 10);
  if (v.empty() || *end != L'\0' || ms < least || ms > 600000) {
    error = std::string("bad ") + option + ", expected " + std::to_string(least) + " to 600000";
    return false;
  }
  out = static_cast<unsigned>(ms);
  return true;
}

bool StartsWith(const std::wstring& s, const wchar_t* prefix, std::wstring* rest = nullptr) {
  const size_t n = std::wcslen(prefix);
  if (s.compare(0, n, prefix) != 0) return false;
  if (rest) *rest = s.substr(n);
  return true;
}

bool ParseSize(const std::wstring& v, int& w, int& h) {
  const size_t x = v.find(L'x');
  if (x == std::wstring::npos || x == 0 || x + 1 >= v.size()) return false;
  wchar_t* end = nullptr;
  const long width = std::wcstol(v.c_str(), &end, 10);
  if (end != v.c_str() + x) return false;
  const long height = std::wcstol(v.c_str() + x + 1, &end, 10);
  if (*end != L'\0') return false;
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
  w = static_cast<int>(width);
  h = static_cast<int>(height);
  return true;
}

bool ParseHang(const std::wstring& v, HangPoint& point, unsigned long& ms) {
  const size_t colon = v.find(L':');
  const std::wstring when = v.substr(0, colon);
  if (when == L"launch") {
    point = HangPoint::Launch;
  } else if (when == L"ready") {
    point = HangPoint::Ready;
  } else {
    return false;
  }
  ms = 0;
  if (colon == std::wstring::npos) return true;
  const std::wstring digits = v.substr(colon + 1);
  if (digits.empty() || digits.size() > 9 || digits.find_first_not_of(L"0123456789") != std::wstring::npos) {
    return false;
  }
  ms = std::wcstoul(digits.c_str(), nullptr, 10);
  return ms > 0;
}

void Override(LaunchOption& o, const std::wstring& value) {
  o.overridden = true;
  o.value = value;
}

}  // namespace

bool SplitMessageArg(const std::string& arg, std::string& msg, std::string& body) {
  const size_t colon = arg.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  msg = arg.substr(0, colon);
  body = arg.substr(colon + 1);
  return true;
}

bool ParseOptions(const std::vector<std::wstring>& args, Options& out, std::string& error) {
  out = Options();
  out.channel = lumo::kChannelMain;
  std::wstring windowClass;
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::wstring& a = args[i];
    std::wstring v;
    if (a == L"--") {
      ++i;
      break;
    }
    if (a.empty() || a[0] != L'-') break;  // the game path
    if (a == L"--help" || a == L"-h" || a == L"/?") {
      out.help = true;
    } else if (StartsWith(a, L"--channel=", &v)) {
      out.channel = lumo::Utf16ToUtf8(v);
    } else if (StartsWith(a, L"--window-class=", &v)) {
      windowClass = v;
    } else if (StartsWith(a, L"--size=", &v)) {
      if (!ParseSize(v, out.clientWidth, out.clientHeight)) {
        error = "bad --size, expected <w>x<h>";
        return false;
      }
    } else if (StartsWith(a, L"--parent=", &v)) {
      Override(out.parent, v);
    } else if (StartsWith(a, L"--gameid=", &v)) {
      Override(out.gameId, v);
    } else if (StartsWith(a, L"--pipe=", &v)) {
      Override(out.pipe, v);
    } else if (StartsWith(a, L"--token=", &v)) {
      Override(out.token, v);
    } else if (a == L"--no-parent") {
      out.parent.omit = true;
    } else if (a == L"--no-gameid") {
      out.gameId.omit = true;
    } else if (a == L"--no-pipe") {
      out.pipe.omit = true;
    } else if (a == L"--no-token") {
      out.token.omit = true;
    } else if (StartsWith(a, L"--send=", &v)) {
      std::string msg, body;
      if (!SplitMessageArg(lumo::Utf16ToUtf8(v), msg, body)) {
        error = "bad --send, expected <msg>:<body>";
        return false;
      }
      out.sends.emplace_back(msg, body);
    } else if (a == L"--stdin") {
      out.readStdin = true;
    } else if (a == L"--raw") {
      out.printRaw = true;
    } else if (StartsWith(a, L"--read-delay-ms=", &v)) {
      if (!ParseMilliseconds(v, 0, "--read-delay-ms", out.readDelayMs, error)) return false;
    } else if (StartsWith(a, L"--channel-late-ms=", &v)) {
      if (!ParseMilliseconds(v, 1, "--channel-late-ms", out.channelLateMs, error)) return false;
    } else if (StartsWith(a, L"--probe-ms=", &v)) {
      if (!ParseMilliseconds(v, 10, "--probe-ms", out.probeMs, error)) return false;
    } else if (StartsWith(a, L"--dpi-awareness=", &v)) {
      if (v == L"unaware") {
        out.dpiAwareness = lumo::DpiAwareness::Unaware;
      } else if (v == L"system") {
        out.dpiAwareness = lumo::DpiAwareness::SystemAware;
      } else if (v == L"permonitor") {
        out.dpiAwareness = lumo::DpiAwareness::PerMonitorAwareV2;
      } else {
        error = "bad --dpi-awareness, expected unaware, system or permonitor";
        return false;
      }
    } else if (a == L"--no-mixed-hosting") {
      out.mixedHosting = false;
    } else if (a == L"--fixed-size") {
      out.fixedSize = true;
    } else if (StartsWith(a, L"--capture=", &v)) {
      if (v == L"dbwin") {
        out.capture = CaptureMode::Dbwin;
      } else if (v == L"debugger") {
        out.capture = CaptureMode::Debugger;
      } else if (v == L"none") {
        out.capture = CaptureMode::None;
      } else {
        error = "bad --capture, expected dbwin, debugger or none";
        return false;
      }
    } else if (StartsWith(a, L"--hang=", &v)) {
      if (!ParseHang(v, out.hang, out.hangMs)) {
        error = "bad --hang, expected launch or ready, optionally :<ms> (1 to 999999999)";
        return false;
      }
    } else {
      error = "unknown option " + lumo::Utf16ToUtf8(a);
      return false;
    }
  }
  if (out.help) return true;
  if (i >= args.size()) {
    error = "no game executable given";
    return false;
  }
  out.game = args[i];
  out.gameArgs.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
  if (out.channel.empty()) {
    error = "empty --channel";
    return false;
  }
  out.windowClass = windowClass.empty() ? WindowClassForChannel(out.channel) : windowClass;
  return true;
}

std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring q = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes double only where a quote follows them.
    if (c == L'"') q.append(backslashes * 2 + 1, L'\\');
    else q.append(backslashes, L'\\');
    backslashes = 0;
    q.push_back(c);
  }
  q.append(backslashes * 2, L'\\');
  q.push_back(L'"');
  return q;
}

std::wstring BuildGameCommandLine(const Options& o, const std::wstring& hostWindow) {
  std::wstring cmd = QuoteArgument(o.game);
  auto add = [&cmd](const wchar_t* name, const LaunchOption& opt, const std::wstring& dflt) {
    if (opt.omit) return;
    cmd += L" ";
    // Quotes go around the value only: the game's reader expects the
    // "--name" prefix at the start of the token.
    cmd += std::wstring(L"--") + name + L"=" + QuoteArgument(opt.overridden ? opt.value : dflt);
  };
  add(L"parent", o.parent, hostWindow);
  add(L"gameid", o.gameId, L"1");
  add(L"lumo-pipe", o.pipe, lumo::Utf8ToWide(o.channel.c_str(), static_cast<int>(o.channel.size())));
  add(L"token", o.token, L"devtoken");
  for (const std::wstring& a : o.gameArgs) cmd += L" " + QuoteArgument(a);
  return cmd;
}

std::wstring WindowClassForChannel(const std::string& channel) {
  struct Row {
    const char* channel;
    const wchar_t* windowClass;
  };
  static const Row kRows[] = {
      {lumo::kChannelMain, lumo::kHostWndClassMain},     {lumo::kChannelDown, lumo::kHostWndClassDown},
      {lumo::kChannelTray, lumo::kHostWndClassTray},     {lumo::kChannelUpdate, lumo::kHostWndClassUpdate},
      {lumo::kChannelIe, lumo::kHostWndClassIe},         {lumo::kChannelAuto, lumo::kHostWndClassAuto},
  };
  for (const Row& r : kRows) {
    if (channel == r.channel) return r.windowClass;
  }
  return lumo::kHostWndClassMain;
}

}  // namespace devhost
