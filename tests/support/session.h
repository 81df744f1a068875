// Running whole sessions for the end-to-end tests: lumo-devhost as the
// launcher, test_game.exe as the game, each in a real process, with output
// lines collected as they arrive. Test threads only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/text_codec.h"

namespace lumo_test {

class Session {
 public:
  // Starts `commandLine` (the devhost or the game itself, full command line).
  explicit Session(const std::wstring& commandLine);
  // Waits for a line that starts with `prefix`; returns it, or "" on time-out.
  std::string WaitLine(const std::string& prefix, DWORD timeoutMs = 60000);
  // Waits for the process to end; its exit code, or ~0u on time-out.
  DWORD WaitExit(DWORD timeoutMs = 60000);
  // Every line so far (CR and LF removed).
  std::vector<std::string> Lines();
  // All lines starting with `prefix`, the prefix removed.
  std::vector<std::string> Find(const std::string& prefix);
  std::string Output() { return child_.Output(); }
  ChildProcess& child() { return child_; }

 private:
  ChildProcess child_;
};

// lumo-devhost with --raw and `hostOptions`, starting `game` (test_game.exe
// built beside the test by default) with `gameArgs`.
std::wstring DevhostCommand(const std::wstring& hostOptions, const std::wstring& gameArgs,
                            const std::wstring& game = L"");
std::wstring GameCommand(const std::wstring& gameArgs);
// test_game.exe (or `exe`) as game `gameId` on host channel `pipe`, without
// a host window, running `steps`; its token, and so its own channel, is
// named after the game id and this process.
std::wstring SharedChannelGameCommand(const std::string& pipe, int gameId, const std::wstring& steps,
                                      const std::wstring& exe = L"");

// "key=value" from a " "-separated output line, as a number (-1 when missing).
double Field(const std::string& line, const std::string& key);

// Decoded envelopes the devhost printed as "[devhost] raw <hex>" lines.
std::vector<std::string> RawEnvelopes(Session& session);

}  // namespace lumo_test
