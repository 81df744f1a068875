// Collects the strings this process passes to OutputDebugStringA, through a
// vectored exception handler that sees the debug-print exception first and
// lets it go on as usual. One instance at a time; any thread may print.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

namespace ipc_test {

class DebugOutputCapture {
 public:
  DebugOutputCapture();
  ~DebugOutputCapture();
  DebugOutputCapture(const DebugOutputCapture&) = delete;
  DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

  std::vector<std::string> Strings();
  // Waits until at least `count` strings arrived; false after `timeoutMs`.
  bool WaitForCount(size_t count, DWORD timeoutMs);

 private:
  static LONG CALLBACK Handler(EXCEPTION_POINTERS* info);
  void* handle_ = nullptr;
  std::mutex lock_;
  std::vector<std::string> strings_;
};

}  // namespace ipc_test
