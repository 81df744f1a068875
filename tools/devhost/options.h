// Command-line options of lumo-devhost and the game command line built from
// them. Text handling only; main thread only.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "sdk/dpi_awareness.h"

namespace devhost {

enum class CaptureMode { Dbwin, Debugger, None };

// When the host window's thread stops pumping messages (to try a game
// against a hung launcher): never, right after the game is started, or when
// the game's window-ready message arrives.
enum class HangPoint { Never, Launch, Ready };

// One option passed to the game as --<name>=<value>: the host's own value
// unless overridden; left out when `omit` is set.
struct LaunchOption {
  bool omit = false;
  bool overridden = false;
  std::wstring value;
};

struct Options {
  bool help = false;
  std::string channel;            // host channel to create (UTF-8)
  std::wstring windowClass;       // host window class
  int clientWidth = 1280;
  int clientHeight = 720;
  LaunchOption parent;            // default: the host window handle
  LaunchOption gameId;            // default "1"
  LaunchOption pipe;              // default: the host channel
  LaunchOption token;             // default "devtoken"
  std::vector<std::pair<std::string, std::string>> sends;  // msg, body (UTF-8)
  bool readStdin = false;
  bool printRaw = false;          // also print each received envelope in hex
  unsigned readDelayMs = 0;       // pause after each read, as a busy host would
  unsigned channelLateMs = 0;     // create the channel this long after the game starts
  CaptureMode capture = CaptureMode::Dbwin;
  HangPoint hang = HangPoint::Never;
  unsigned long hangMs = 0;       // 0: until the game ends
  unsigned probeMs = 0;           // 0: no probing of the embedded game window
  // The awareness the host window is made with, to play launchers of each
  // kind: Unknown keeps the process's own (no option).
  lumo::DpiAwareness dpiAwareness = lumo::DpiAwareness::Unknown;
  bool mixedHosting = true;       // make the host window on a thread with mixed DPI hosting
  bool fixedSize = false;         // no sizing border and no maximize box
  std::wstring game;                    // game executable
  std::vector<std::wstring> gameArgs;   // passed through after our options
};

// Parses argv (program name excluded). False with `error` set on bad usage.
bool ParseOptions(const std::vector<std::wstring>& args, Options& out, std::string& error);

// Splits "<msg>:<body>" at the first ':'; false when there is none or the
// name is empty.
bool SplitMessageArg(const std::string& arg, std::string& msg, std::string& body);

// Quotes one argument so CommandLineToArgvW gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& arg);

// "<game>" --parent=.. --gameid=.. --lumo-pipe=.. --token=.. <game args>,
// with each option taken from `o` (or `hostWindow` for parent) unless omitted.
std::wstring BuildGameCommandLine(const Options& o, const std::wstring& hostWindow);

// The window class a host owning `channel` would register.
std::wstring WindowClassForChannel(const std::string& channel);

extern const char kHelpText[];

}  // namespace devhost
