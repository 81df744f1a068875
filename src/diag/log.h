// The library's log: printf-style wide lines, stamped and appended to
// "<game exe>.log" when LumoGameSDK.ini beside the game's executable says
// [main] log=1 (or true/yes/on). Off by default. Where the executable's
// folder may not be written (a game under Program Files run by a standard
// user), the log goes to "%LOCALAPPDATA%\LumoGameSDK\<exe name>.log" instead,
// and its first line and the debugger output say so.
//
// SdkLog may be called from any thread and never fails towards its caller.
// Appends are serialised across threads and processes of the same executable
// by a named mutex derived from the executable's path. Another process can
// hold that mutex for ever (stopped in a debugger, say), so a line waits for
// it at most kLogLockBoundMs and is otherwise dropped; while the holder keeps
// it, further lines do not wait at all. The first line written afterwards is
// preceded by one that says how many were dropped.
//
// Size cap: once "<exe>.log" has reached [main] log_max_kb kilobytes
// (default 10 MB), the line that finds it so first renames it to
// "<exe>.log.1" (replacing the one kept from before) and begins a new file,
// all under the same named mutex, so processes of one executable lose no
// line and split none across the switch. Every process opens the file with
// delete sharing, so the rename succeeds while others hold it open. Their
// handles then point at the old file, which is at or past the cap: a
// handle whose file has reached the cap is always reopened before the next
// write, and the rename is done only when the file under the log's name has
// reached it too.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "diag/log_cap.h"

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
  // "<exe>.log.1", the one older file kept; empty when the path does not
  // fit: the file then grows past the cap.
  wchar_t oldLogPath[MAX_PATH] = {};
  // The cap, set from the INI file before `enabled` is.
  uint64_t maxBytes = static_cast<uint64_t>(kLogDefaultMaxKb) * 1024;
  // A failed switch to a new file was noted in the log (once per process).
  bool rolloverFailureNoted = false;
  // The executable's file name, for the stamp of every line.
  wchar_t exeName[MAX_PATH] = {};
  // The folder beside the executable refused the log: logPath and
  // oldLogPath are in the local application data folder now.
  bool moved = false;
  // Neither place could be written: no line is tried again.
  bool unwritable = false;
};

LogSink& GetLogSink();

// Reads [main] log (and, when it is on, log_max_kb) from the INI file once
// per process; later calls return at once.
void LoadLogSwitch();

// Formats the message (at most 1899 units are kept) and appends one line.
void SdkLog(const wchar_t* format, ...);

// Called only by SdkLog; appends one stamped line when the sink is enabled.
void WriteLogLine(LogSink& sink, const wchar_t* format, ...);

// Names derived from the executable's path. Each returns false when the
// result does not fit its 260-unit buffer; `out` is then empty.
bool MakeLogMutexName(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]);
bool MakeLogFilePath(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]);
bool MakeOldLogFilePath(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]);

// "%LOCALAPPDATA%\LumoGameSDK\<exe name>.log" and ".log.1", where the log goes
// when the executable's folder may not be written; makes the folder when
// missing. False when the variable is not set or a path does not fit.
bool MakeMovedLogPaths(const wchar_t* exeName, wchar_t (&path)[MAX_PATH], wchar_t (&oldPath)[MAX_PATH]);

// "LumoGameSDK.ini" in the executable's folder, the file of the library's
// settings; empty when the executable's path does not fit MAX_PATH units.
std::wstring SdkIniPath();

}  // namespace lumo
