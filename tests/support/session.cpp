#include "support/session.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace lumo_test {

Session::Session(const std::wstring& commandLine) {
  EXPECT_TRUE(child_.Start(commandLine)) << Narrow(commandLine);
}

std::vector<std::string> Session::Lines() {
  std::vector<std::string> lines;
  const std::string out = child_.Output();
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) break;  // a line still being written
    std::string line = out.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

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

std::wstring DevhostCommand(const std::wstring& hostOptions, const std::wstring& gameArgs) {
  return Quote(BinPath(L"lumo-devhost.exe")) + L" --raw " + hostOptions + L" " +
         Quote(BinPath(L"test_game.exe")) + L" " + gameArgs;
}

std::wstring GameCommand(const std::wstring& gameArgs) {
  return Quote(BinPath(L"test_game.exe")) + L" " + gameArgs;
}

std::string ToHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 15]);
  }
  return hex;
}

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  }
  return out;
}

std::vector<std::string> RawEnvelopes(Session& session) {
  std::vector<std::string> envelopes;
  for (const std::string& hex : session.Find("[devhost] raw ")) envelopes.push_back(FromHex(hex));
  return envelopes;
}

}  // namespace lumo_test
