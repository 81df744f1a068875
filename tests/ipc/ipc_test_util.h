// Small helpers shared by the IPC tests: unique channel names and the
// host-side peer process.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "support/test_support.h"
#include "support/text_codec.h"

namespace ipc_test {

// A channel name no other test (or test process) uses.
inline std::string UniqueChannel(const char* tag) {
  static std::atomic<int> counter{0};
  return std::string("lumo_test_") + tag + "_" + std::to_string(GetCurrentProcessId()) + "_" +
         std::to_string(GetTickCount()) + "_" + std::to_string(counter++);
}

// Runs ipc_test_peer with `args` to its end; returns its output.
inline std::string RunPeer(const std::string& args, DWORD* exitCode = nullptr) {
  std::string out;
  const DWORD code = lumo_test::RunProcess(
      lumo_test::Quote(lumo_test::BinPath(L"ipc_test_peer.exe")) + L" " + lumo_test::Widen(args), 30000, &out);
  if (exitCode) *exitCode = code;
  std::string lines;  // without the carriage returns of text-mode output
  for (const std::string& line : lumo_test::SplitLines(out)) lines += line + "\n";
  return lines;
}

}  // namespace ipc_test
