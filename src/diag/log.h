// The library's log: printf-style wide lines, stamped and appended to
// "<game exe>.log" when LumoGameSDK.ini beside the game's executable says
// [main] log=1 (or true/yes/on). Off by default. Where the executable's
// folder may not be written (a game under Program Files run by a standard
// user), or the log's path there is too long to be named, the log goes to
// "%LOCALAPPDATA%\LumoGameSDK\<exe name>.log" instead (the shell's known
// folder when the environment lacks the variable), and its first line and
// the debugger output say so. That folder and file are opened as themselves
// and refused when they are links (diag/link_guard.h).
//
// SdkLog may be called from any thread and never fails towards its caller.
// Appends are serialised across threads and processes by a named mutex
// derived from the log file's path (so games of one name in two folders
// whose logs both moved share one lock for their one file). Every handle
// appends only, so even a writer without the lock never overwrites a line.
// Another process can hold that mutex for ever (stopped in a debugger,
// say), so a line waits for it at most kLogLockBoundMs and is otherwise
// dropped; while the holder keeps it, further lines do not wait at all. The
// first line written afterwards is preceded by one that says how many were
// dropped.
//
// Size cap: once "<exe>.log" has reached [main] log_max_kb kilobytes
// (default 10 MB), the line that finds it so first renames it to
// "<exe>.log.1" (replacing the one kept from before) and begins a new file,
// all under the file's own named mutex, so processes writing that file lose
// no line and split none across the switch. Every process opens the file
// with delete sharing, so the rename succeeds while others hold it open.
// Their handles then point at the old file, which is at or past the cap: a
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
  // holds no handle for it. Named after logPath once the log is placed.
  std::atomic<HANDLE> mutex{nullptr};
  wchar_t mutexName[MAX_PATH] = {};
  HANDLE file = INVALID_HANDLE_VALUE;
  std::atomic<bool> enabled{false};
  // Lines dropped because the lock was not had in time, not yet reported.
  std::atomic<unsigned> droppedLines{0};
  // The last wait for the lock timed out: the next line does not wait.
  std::atomic<bool> lockStalled{false};
  // The executable's full path, of any length; empty when it could not be
  // read: such a process logs nothing.
  std::wstring exePath;
  // Where the lines go, set when the first line places the log; empty
  // until then, and for good when the log fits nowhere.
  wchar_t logPath[MAX_PATH] = {};
  // "<exe>.log.1", the one older file kept; empty when the path does not
  // fit: the file then grows past the cap.
  wchar_t oldLogPath[MAX_PATH] = {};
  // The moved log's folder, held open so that it cannot be renamed or
  // swapped for a link while the log is written there; null beside the
  // executable.
  HANDLE movedFolder = nullptr;
  // What the log has to say before its next line (why it moved); written by
  // whoever holds the lock first.
  std::wstring pendingNote;
  std::atomic<bool> notePending{false};
  // The cap, set from the INI file before `enabled` is.
  uint64_t maxBytes = static_cast<uint64_t>(kLogDefaultMaxKb) * 1024;
  // A failed switch to a new file was noted in the log (once per process).
  bool rolloverFailureNoted = false;
  // The executable's file name, for the stamp of every line.
  wchar_t exeName[MAX_PATH] = {};
  // The folder beside the executable refused the log (or its path there is
  // too long): logPath and oldLogPath are in the local application data
  // folder now.
  bool moved = false;
  // Neither place could be written: no line is tried again.
  bool unwritable = false;
  // The log's place has been chosen (once per process, by the first line).
  std::atomic<bool> placed{false};
  // The moved file was refused as a link once: said once on the debugger
  // output.
  bool linkRefusalNoted = false;
};

LogSink& GetLogSink();

// Reads [main] log (and, when it is on, log_max_kb) from the INI file once
// per process; later calls return at once.
void LoadLogSwitch();

// Formats the message (at most 1899 units are kept) and appends one line.
void SdkLog(const wchar_t* format, ...);

// Whether SdkLog writes lines in this process (reads the switch first). For
// a caller that has work to do before it can log, which the log being off
// (the default) spares. Any thread.
bool SdkLogOn();

// Called only by SdkLog; appends one stamped line when the sink is enabled.
void WriteLogLine(LogSink& sink, const wchar_t* format, ...);

// The name of the lock of the log file `logPath` beside the executable: the
// path lower-cased (CharLowerW) with every backslash made a slash and
// ".mutex" appended, where that fits 259 units; otherwise the hashed name.
void MakeLogLockName(const wchar_t* logPath, wchar_t (&out)[MAX_PATH]);
// "lumogamesdk.log.<32 hex digits>.mutex", the digits a hash of the path
// lower-cased with slashes: of fixed length, so that no path is too long
// for it and every process that writes one file takes one lock. The moved
// log's lock always has this name.
void MakeHashedLogLockName(const wchar_t* logPath, wchar_t (&out)[MAX_PATH]);
// The lock of the log beside the executable `exePath`: that of "<exe>.log".
void MakeLogMutexName(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]);

// Names derived from the executable's path. Each returns false when the
// result does not fit its 260-unit buffer; `out` is then empty.
bool MakeLogFilePath(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]);
bool MakeOldLogFilePath(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]);

// The executable's full path, of any length; empty when it cannot be read.
std::wstring ExecutablePath();
// The full path of the file `module` was loaded from (null: the
// executable's, without the test seam below), of any length; empty when it
// cannot be read.
std::wstring ModuleFilePath(HMODULE module);
// Tests put in the path of an executable that Wine cannot start (its
// CreateProcessW takes no program path of MAX_PATH units or more), before
// the first line; null puts the real one back.
void SetExecutablePathForTesting(const wchar_t* path);

// "LumoGameSDK.ini" in the executable's folder, the file of the library's
// settings, however long the path; empty when the executable's path cannot
// be read.
std::wstring SdkIniPath();

}  // namespace lumo
