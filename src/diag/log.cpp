#include "diag/log.h"

#include <shlwapi.h>

#include <cstdarg>
#include <cwchar>
#include <string>

#include "diag/sdk_ini.h"
#include "diag/text_convert.h"

namespace lumo {

namespace {

constexpr size_t kMessageUnits = 1900;
constexpr size_t kLineUnits = 2048;
constexpr size_t kHeaderUnits = 260;
constexpr size_t kSwitchUnits = 32;

std::atomic<bool> g_switchLoaded{false};

// The executable's full path; false when it did not fit MAX_PATH units.
bool GetExePath(wchar_t (&path)[MAX_PATH]) {
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return n > 0 && n < MAX_PATH;
}

// Appends `suffix` to `exePath` in `out`; false (and `out` empty) when the
// joined text needs more than MAX_PATH units with its terminator.
bool JoinFits(const wchar_t* exePath, const wchar_t* suffix, wchar_t (&out)[MAX_PATH]) {
  out[0] = L'\0';
  size_t a = std::wcslen(exePath);
  size_t b = std::wcslen(suffix);
  if (a + b >= MAX_PATH) return false;
  std::wmemcpy(out, exePath, a);
  std::wmemcpy(out + a, suffix, b + 1);
  return true;
}

void AppendTruncating(wchar_t* line, size_t capacity, const wchar_t* piece) {
  wcsncat_s(line, capacity, piece, _TRUNCATE);
}

}  // namespace

bool MakeLogMutexName(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]) {
  if (!JoinFits(exePath, L".log.mutex", out)) return false;
  CharLowerW(out);
  for (wchar_t* p = out; *p; ++p) {
    if (*p == L'\\') *p = L'/';
  }
  return true;
}

bool MakeLogFilePath(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]) {
  return JoinFits(exePath, L".log", out);
}

bool MakeOldLogFilePath(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]) {
  return JoinFits(exePath, L".log.1", out);
}

bool MakeMovedLogPaths(const wchar_t* exeName, wchar_t (&path)[MAX_PATH], wchar_t (&oldPath)[MAX_PATH]) {
  path[0] = L'\0';
  oldPath[0] = L'\0';
  wchar_t base[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  wchar_t folder[MAX_PATH] = {};
  if (!JoinFits(base, L"\\LumoGameSDK", folder)) return false;
  // Made when missing; an existing folder is fine, anything else shows when
  // the file is opened.
  CreateDirectoryW(folder, nullptr);
  wchar_t file[MAX_PATH] = {};
  if (!JoinFits(folder, L"\\", file)) return false;
  wchar_t named[MAX_PATH] = {};
  if (!JoinFits(file, exeName, named)) return false;
  if (!MakeLogFilePath(named, path)) return false;
  MakeOldLogFilePath(named, oldPath);
  return true;
}

std::wstring SdkIniPath() {
  wchar_t dir[MAX_PATH] = {};
  if (!GetExePath(dir)) return std::wstring();
  PathRemoveFileSpecW(dir);
  return std::wstring(dir) + L"\\LumoGameSDK.ini";
}

LogSink::LogSink() {
  wchar_t exePath[MAX_PATH] = {};
  if (!GetExePath(exePath)) return;
  if (!MakeLogMutexName(exePath, mutexName) || !MakeLogFilePath(exePath, logPath)) return;
  MakeOldLogFilePath(exePath, oldLogPath);
  wcscpy_s(exeName, PathFindFileNameW(exePath));
  pathsFit = true;
}

LogSink::~LogSink() {
  if (HANDLE made = mutex.load()) CloseHandle(made);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

LogSink& GetLogSink() {
  static LogSink sink;
  return sink;
}

void LoadLogSwitch() {
  // Set before reading, so the INI file is read at most once per process.
  // The plain load first: after the first call no write touches the flag.
  if (g_switchLoaded.load() || g_switchLoaded.exchange(true)) return;

  wchar_t value[kSwitchUnits] = {};
  ReadSdkIniString(L"main", L"log", L"0", value, kSwitchUnits);
  if (value[0] == L'\0') return;
  static const wchar_t* const kOn[] = {L"1", L"true", L"yes", L"on"};
  for (const wchar_t* on : kOn) {
    if (_wcsicmp(value, on) == 0) {
      LogSink& sink = GetLogSink();
      wchar_t maxKb[kSwitchUnits] = {};
      ReadSdkIniString(L"main", L"log_max_kb", L"", maxKb, kSwitchUnits);
      sink.maxBytes = static_cast<uint64_t>(ParseLogMaxKb(maxKb)) * 1024;
      sink.enabled = true;  // after the cap: a line that sees the log on sees its cap
      return;
    }
  }
}

void SdkLog(const wchar_t* format, ...) {
  LoadLogSwitch();
  LogSink& sink = GetLogSink();
  // Every export logs on every call: with the log off (the default) nothing
  // is formatted, so the game does not pay for lines nobody reads.
  if (!sink.enabled || !sink.pathsFit) return;
  wchar_t text[kMessageUnits] = {};
  va_list args;
  va_start(args, format);
  _vsnwprintf_s(text, kMessageUnits, _TRUNCATE, format, args);
  va_end(args);
  WriteLogLine(sink, L"[LumoGameSDK] %ls", text);
}

namespace {

// "<header><message>\r\n" in the ANSI code page, the header stamped now.
std::string StampedLine(const LogSink& sink, const wchar_t* message) {
  SYSTEMTIME now;
  GetLocalTime(&now);

  wchar_t header[kHeaderUnits] = {};
  _snwprintf_s(header, kHeaderUnits, _TRUNCATE,
               L"[%04d-%02d-%02d %02d:%02d:%02d.%03d][%ls][%05d/%05d]",
               now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
               now.wMilliseconds, sink.exeName, static_cast<int>(GetCurrentProcessId()),
               static_cast<int>(GetCurrentThreadId()));

  wchar_t line[kLineUnits] = {};
  AppendTruncating(line, kLineUnits, header);
  AppendTruncating(line, kLineUnits, message);
  AppendTruncating(line, kLineUnits, L"\r\n");
  return WideToMultiByte(line, -1, CP_ACP);
}

// Every process opens the file with delete sharing: the one that begins a
// new file renames this one while the others still hold it open.
HANDLE OpenLogFile(const wchar_t* path) {
  return CreateFileW(path, GENERIC_WRITE | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Moves the file pointer to the end; the file's size, or false.
bool SeekToEnd(HANDLE file, uint64_t& size) {
  LARGE_INTEGER zero = {};
  LARGE_INTEGER end = {};
  if (!SetFilePointerEx(file, zero, &end, FILE_END)) return false;
  size = static_cast<uint64_t>(end.QuadPart);
  return true;
}

// Renames the full log file to "<exe>.log.1", replacing the older one.
// False, with the error, when it cannot.
bool SetFullFileAside(const LogSink& sink, DWORD& error) {
  if (MoveFileExW(sink.logPath, sink.oldLogPath, MOVEFILE_REPLACE_EXISTING)) return true;
  error = GetLastError();
  // On Windows a file still open elsewhere cannot be replaced (access
  // denied): the older file, in a process that has not written since the
  // last switch. It is moved out of the way under a name of its own and
  // deleted, which is done once that process lets go of it (before its next
  // line). Any other error (the full file itself held without delete
  // sharing, by another program) leaves both files as they are.
  if (error != ERROR_ACCESS_DENIED) return false;
  // Unique for this process's switches; another process has another id.
  static std::atomic<unsigned> switches{0};
  const std::wstring aside = std::wstring(sink.oldLogPath) + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(switches.fetch_add(1)) + L".old";
  if (!MoveFileExW(sink.oldLogPath, aside.c_str(), 0)) return false;  // the first error says why
  DeleteFileW(aside.c_str());
  if (MoveFileExW(sink.logPath, sink.oldLogPath, 0)) return true;
  error = GetLastError();
  return false;
}

// Called with the lock held when the open file has reached the cap. Either
// this process's handle still points at a file that another process has
// set aside (the log's name then holds a newer, smaller file: it is used),
// or the file under the log's name is full and is set aside now. Leaves
// the file under the log's name open, or none when it cannot be opened.
// `note` receives a line to write first when the switch failed (once).
void ReopenOrRollOver(LogSink& sink, std::wstring& note) {
  CloseHandle(sink.file);
  sink.file = OpenLogFile(sink.logPath);
  if (sink.file == INVALID_HANDLE_VALUE) return;
  uint64_t size = 0;
  if (!SeekToEnd(sink.file, size) || size < sink.maxBytes) return;

  CloseHandle(sink.file);
  DWORD error = 0;
  const bool moved = SetFullFileAside(sink, error);
  sink.file = OpenLogFile(sink.logPath);
  if (!moved && !sink.rolloverFailureNoted) {
    sink.rolloverFailureNoted = true;
    wchar_t text[kMessageUnits] = {};
    _snwprintf_s(text, kMessageUnits, _TRUNCATE,
                 L"[LumoGameSDK] log: could not set the full log file aside as %ls.log.1 (error %lu); it grows on",
                 sink.exeName, static_cast<unsigned long>(error));
    note = text;
  }
}

// Refusals that say this process may not write there (a folder under
// Program Files for a standard user, read-only media), not that the file is
// busy for a moment.
bool IsAccessError(DWORD error) { return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT; }

// Opens the log file. When the one beside the executable is refused for
// access, the log moves, once per process, to the local application data
// folder, and the debugger output and `note` (the first line to write
// there) say where and why. Where that fails too, the debugger output says
// so once and no line is tried again.
HANDLE OpenLogFileOrMove(LogSink& sink, std::wstring& note) {
  if (sink.unwritable) return INVALID_HANDLE_VALUE;
  HANDLE file = OpenLogFile(sink.logPath);
  if (file != INVALID_HANDLE_VALUE || sink.moved) return file;
  const DWORD besideError = GetLastError();
  if (!IsAccessError(besideError)) return file;  // tried again with the next line

  wchar_t beside[MAX_PATH] = {};
  wcscpy_s(beside, sink.logPath);
  DWORD movedError = ERROR_ENVVAR_NOT_FOUND;
  wchar_t movedPath[MAX_PATH] = {};
  wchar_t movedOldPath[MAX_PATH] = {};
  if (MakeMovedLogPaths(sink.exeName, movedPath, movedOldPath)) {
    file = OpenLogFile(movedPath);
    movedError = GetLastError();
  }
  wchar_t text[kMessageUnits] = {};
  if (file == INVALID_HANDLE_VALUE) {
    sink.unwritable = true;
    _snwprintf_s(text, kMessageUnits, _TRUNCATE,
                 L"[LumoGameSDK] log: neither %ls (error %lu) nor %ls (error %lu) can be written; nothing is "
                 L"logged\n",
                 beside, static_cast<unsigned long>(besideError),
                 movedPath[0] != L'\0' ? movedPath : L"%LOCALAPPDATA%\\LumoGameSDK",
                 static_cast<unsigned long>(movedError));
    OutputDebugStringW(text);
    return file;
  }
  sink.moved = true;
  wcscpy_s(sink.logPath, movedPath);
  wcscpy_s(sink.oldLogPath, movedOldPath);
  _snwprintf_s(text, kMessageUnits, _TRUNCATE,
               L"[LumoGameSDK] log: %ls cannot be written (error %lu, %ls); the log is written to %ls", beside,
               static_cast<unsigned long>(besideError),
               besideError == ERROR_WRITE_PROTECT ? L"write-protected" : L"access denied", movedPath);
  note = text;
  OutputDebugStringW((note + L"\n").c_str());
  return file;
}

// Writes `note` as a stamped line of its own at the end of the open file:
// what the log itself has to say before the line that follows.
void WriteNoteLine(LogSink& sink, const std::wstring& note) {
  uint64_t size = 0;
  SeekToEnd(sink.file, size);
  const std::string bytes = StampedLine(sink, note.c_str());
  DWORD written = 0;
  WriteFile(sink.file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Appends `bytes` at the end of the log file, opening it first when needed.
// `mayRollOver`: the lock is held, so a full file may be switched.
void AppendToFile(LogSink& sink, const std::string& bytes, bool mayRollOver) {
  if (sink.file == INVALID_HANDLE_VALUE) {
    std::wstring moved;
    sink.file = OpenLogFileOrMove(sink, moved);
    if (sink.file != INVALID_HANDLE_VALUE && !moved.empty()) WriteNoteLine(sink, moved);
  }
  if (sink.file == INVALID_HANDLE_VALUE) return;
  uint64_t size = 0;
  const bool atEnd = SeekToEnd(sink.file, size);
  // Without room for the older file's name (the same in every process of
  // this executable) no process switches, and the file grows on.
  if (atEnd && mayRollOver && size >= sink.maxBytes && sink.oldLogPath[0] != L'\0') {
    std::wstring note;
    ReopenOrRollOver(sink, note);
    if (sink.file == INVALID_HANDLE_VALUE) return;
    SeekToEnd(sink.file, size);
    if (!note.empty()) WriteNoteLine(sink, note);
  }
  DWORD written = 0;
  WriteFile(sink.file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// The log's named mutex, made (or opened, when another process of the same
// executable made it) by the first line; null when it cannot be had.
HANDLE LogMutex(LogSink& sink) {
  HANDLE current = sink.mutex.load();
  if (current != nullptr) return current;
  HANDLE made = CreateMutexW(nullptr, FALSE, sink.mutexName);
  if (made == nullptr) return nullptr;
  if (!sink.mutex.compare_exchange_strong(current, made)) {
    CloseHandle(made);  // another thread was first
    return current;
  }
  return made;
}

}  // namespace

void WriteLogLine(LogSink& sink, const wchar_t* format, ...) {
  if (!sink.enabled || !sink.pathsFit) return;

  wchar_t message[kLineUnits] = {};
  va_list args;
  va_start(args, format);
  _vsnwprintf_s(message, kLineUnits, _TRUNCATE, format, args);
  va_end(args);
  const std::string bytes = StampedLine(sink, message);

  // Bounded: the holder may be another process that never lets go. An
  // abandoned mutex or a failed wait does not stop the write.
  const DWORD bound = sink.lockStalled.load() ? 0 : kLogLockBoundMs;
  HANDLE mutex = LogMutex(sink);
  const DWORD waited = WaitForSingleObject(mutex, bound);
  if (waited == WAIT_TIMEOUT) {
    sink.lockStalled.store(true);
    sink.droppedLines.fetch_add(1);
    return;
  }
  sink.lockStalled.store(false);
  // Only the holder of the lock may switch to a new file: without it (no
  // mutex could be made) lines are written unsynchronised, as they come.
  const bool locked = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  const unsigned dropped = sink.droppedLines.exchange(0);
  if (dropped != 0) {
    wchar_t note[kMessageUnits] = {};
    _snwprintf_s(note, kMessageUnits, _TRUNCATE,
                 L"[LumoGameSDK] log: %u line(s) dropped: another process held the log file's lock for more than "
                 L"%u ms",
                 dropped, static_cast<unsigned>(kLogLockBoundMs));
    AppendToFile(sink, StampedLine(sink, note), locked);
  }
  AppendToFile(sink, bytes, locked);
  if (locked) ReleaseMutex(mutex);
}

}  // namespace lumo
