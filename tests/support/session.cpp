#include "support/session.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace lumo_test {

Session::Session(const std::wstring& commandLine) {
  EXPECT_TRUE(child_.Start(commandLine)) << Narrow(commandLine);
}

std::vector<std::string> Session::Lines() { return SplitLines(child_.Output()); }

std::vector<std::string> Session::Find(const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : Lines()) {
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line.substr(prefix.size()));
  }
  return found;
}

std::string Session::WaitLine(const std::string& prefix, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    for (const std::string& line : Lines()) {
      if (line.compare(0, prefix.size(), prefix) == 0) return line;
    }
    if (GetTickCount64() >= deadline) return std::string();
    if (WaitForSingleObject(child_.process(), 20) == WAIT_OBJECT_0) {
      child_.Wait(5000);  // let the reader drain the pipe, then look once more
      for (const std::string& line : Lines()) {
        if (line.compare(0, prefix.size(), prefix) == 0) return line;
      }
      return std::string();
    }
  }
}

DWORD Session::WaitExit(DWORD timeoutMs) {
  DWORD code = ~0u;
  if (!child_.Wait(timeoutMs, &code)) return ~0u;
  return code;
}

std::wstring DevhostCommand(const std::wstring& hostOptions, const std::wstring& gameArgs,
                            const std::wstring& game) {
  return Quote(BinPath(L"lumo-devhost.exe")) + L" --raw " + hostOptions + L" " +
         Quote(game.empty() ? BinPath(L"test_game.exe") : game) + L" " + gameArgs;
}

std::wstring GameCommand(const std::wstring& gameArgs) {
  return Quote(BinPath(L"test_game.exe")) + L" " + gameArgs;
}

std::wstring SharedChannelGameCommand(const std::string& pipe, int gameId, const std::wstring& steps,
                                      const std::wstring& exe) {
  const std::wstring args = L"--lumo-pipe=" + Widen(pipe) + L" --gameid=" + std::to_wstring(gameId) +
                            L" --token=shared" + std::to_wstring(gameId) + L"_" +
                            std::to_wstring(GetCurrentProcessId()) + L" --after-loop-ms=30000 --steps=" + steps;
  return Quote(exe.empty() ? BinPath(L"test_game.exe") : exe) + L" " + args;
}

double Field(const std::string& line, const std::string& key) {
  const size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return -1;
  return std::atof(line.c_str() + at + key.size() + 2);
}

std::vector<std::string> RawEnvelopes(Session& session) {
  std::vector<std::string> envelopes;
  for (const std::string& hex : session.Find("[devhost] raw ")) envelopes.push_back(FromHex(hex));
  return envelopes;
}

}  // namespace lumo_test
