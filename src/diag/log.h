// The library's log: printf-style wide lines, stamped and appended to
// "<game exe>.log" when LumoGameSDK.ini beside the game's executable says
// [main] log=1 (or true/yes/on). Off by default.
//
// SdkLog may be called from any thread and never fails towards its caller.
// Appends are serialised across threads and processes of the same executable
// by a named mutex derived from the executable's path. Another process can
// hold that mutex for ever (stopped in a debugger, say), so a line waits for
// it at most kLogLockBoundMs and is otherwise dropped; while the holder keeps
// it, further lines do not wait at all. The first line written afterwards is
// preceded by one that says how many were dropped.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

namespace lumo {

// How long one line waits for the log file's lock.
constexpr DWORD kLogLockBoundMs = 200;

// Per-process log state, built on first use by GetLogSink and destroyed at
// unload. Owns its mutex and file handles.
struct LogSink {
  LogSink();
  ~LogSink();
  LogSink(const LogSink&) = delete;
  LogSink& operator=(const LogSink&) = delete;

  // Made by the first line that is written: a process that does not log
  // holds no handle for it.
  std::atomic<HANDLE> mutex{nullptr};
  wchar_t mutexName[MAX_PATH] = {};
  HANDLE file = INVALID_HANDLE_VALUE;
  std::atomic<bool> enabled{false};
  // Lines dropped because the lock was not had in time, not yet reported.
  std::atomic<unsigned> droppedLines{0};
  // The last wait for the lock timed out: the next line does not wait.
  std::atomic<bool> lockStalled{false};
  // False when the executable's path leaves no room for the mutex name or the
  // log file path in their 260-unit buffers: such a process logs nothing.
  bool pathsFit = false;
  wchar_t logPath[MAX_PATH] = {};
  // The executable's file name, for the stamp of every line.
  wchar_t exeName[MAX_PATH] = {};
};

LogSink& GetLogSink();

// Reads [main] log from the INI file once per process; later calls return at once.
void LoadLogSwitch();

// Formats the message (at most 1899 units are kept) and appends one line.
void SdkLog(const wchar_t* format, ...);

// Called only by SdkLog; appends one stamped line when the sink is enabled.
void WriteLogLine(LogSink& sink, const wchar_t* format, ...);

// Names derived from the executable's path. Each returns false when the
// result does not fit its 260-unit buffer; `out` is then empty.
bool MakeLogMutexName(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]);
bool MakeLogFilePath(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]);

// "LumoGameSDK.ini" in the executable's folder, the file of the library's
// settings; empty when the executable's path does not fit MAX_PATH units.
std::wstring SdkIniPath();

}  // namespace lumo
