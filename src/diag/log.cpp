#include "diag/log.h"

#include <shlwapi.h>

#include <cstdarg>
#include <cwchar>
#include <string>

#include "diag/link_guard.h"
#include "diag/local_app_data.h"
#include "diag/sdk_ini.h"
#include "diag/text_convert.h"

namespace lumo {

namespace {

constexpr size_t kMessageUnits = 1900;
constexpr size_t kLineUnits = 2048;
constexpr size_t kHeaderUnits = 260;
constexpr size_t kSwitchUnits = 32;

std::atomic<bool> g_switchLoaded{false};
std::atomic<const wchar_t*> g_testExecutablePath{nullptr};

// The longest path the system hands out, in units with the terminator.
constexpr DWORD kLongestPath = 32768;

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

// 64-bit FNV-1a over the UTF-16 units, from a chosen start: two starts give
// the 128 bits of a lock's hashed name.
uint64_t HashUnits(const std::wstring& text, uint64_t hash) {
  for (wchar_t unit : text) {
    hash ^= static_cast<uint16_t>(unit);
    hash *= 0x100000001B3ull;
  }
  return hash;
}

// The path as every lock name reads it: lower-cased, slashes for backslashes.
std::wstring LockKey(const wchar_t* logPath) {
  std::wstring key = logPath;
  if (!key.empty()) CharLowerBuffW(&key[0], static_cast<DWORD>(key.size()));
  for (wchar_t& unit : key) {
    if (unit == L'\\') unit = L'/';
  }
  return key;
}

}  // namespace

void MakeHashedLogLockName(const wchar_t* logPath, wchar_t (&out)[MAX_PATH]) {
  const std::wstring key = LockKey(logPath);
  _snwprintf_s(out, MAX_PATH, _TRUNCATE, L"lumogamesdk.log.%016llx%016llx.mutex",
               static_cast<unsigned long long>(HashUnits(key, 0xCBF29CE484222325ull)),
               static_cast<unsigned long long>(HashUnits(key, 0x84222325CBF29CE4ull)));
}

void MakeLogLockName(const wchar_t* logPath, wchar_t (&out)[MAX_PATH]) {
  const std::wstring key = LockKey(logPath) + L".mutex";
  if (key.size() < MAX_PATH) {
    wcscpy_s(out, key.c_str());
  } else {
    MakeHashedLogLockName(logPath, out);
  }
}

void MakeLogMutexName(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]) {
  MakeLogLockName((std::wstring(exePath) + L".log").c_str(), out);
}

bool MakeLogFilePath(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]) {
  return JoinFits(exePath, L".log", out);
}

bool MakeOldLogFilePath(const wchar_t* exePath, wchar_t (&out)[MAX_PATH]) {
  return JoinFits(exePath, L".log.1", out);
}

void SetExecutablePathForTesting(const wchar_t* path) { g_testExecutablePath.store(path); }

std::wstring ExecutablePath() {
  if (const wchar_t* chosen = g_testExecutablePath.load()) return chosen;
  return ModuleFilePath(nullptr);
}

std::wstring ModuleFilePath(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= kLongestPath) return std::wstring();
    path.resize(kLongestPath);
  }
}

std::wstring SdkIniPath() {
  std::wstring dir = ExecutablePath();
  const size_t slash = dir.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return std::wstring();
  dir.resize(slash);
  return dir + L"\\LumoGameSDK.ini";
}

LogSink::LogSink() {
  exePath = ExecutablePath();
  if (exePath.empty()) return;
  // A file name has at most 255 units; the stamp cuts anything longer.
  wcsncpy_s(exeName, PathFindFileNameW(exePath.c_str()), _TRUNCATE);
}

LogSink::~LogSink() {
  if (HANDLE made = mutex.load()) CloseHandle(made);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (movedFolder != nullptr) CloseHandle(movedFolder);
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

bool SdkLogOn() {
  LoadLogSwitch();
  const LogSink& sink = GetLogSink();
  return sink.enabled && !sink.exePath.empty();
}

void SdkLog(const wchar_t* format, ...) {
  // Every export logs on every call: with the log off (the default) nothing
  // is formatted, so the game does not pay for lines nobody reads.
  if (!SdkLogOn()) return;
  LogSink& sink = GetLogSink();
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

// "<path> is a junction, symbolic link or other reparse point; ...": the
// one debugger-output line of a refused link.
void SayLinkRefused(const wchar_t* path, LinkVerdict verdict) {
  wchar_t text[kMessageUnits] = {};
  _snwprintf_s(text, kMessageUnits, _TRUNCATE,
               L"[LumoGameSDK] log: %ls is %ls; the log is not written through it, nothing is logged\n", path,
               LinkVerdictText(verdict));
  OutputDebugStringW(text);
}

// Opens the log file for appending only: every write lands at the end,
// also one made without the lock. Every process opens it with delete
// sharing: the one that begins a new file renames this one while the
// others still hold it open. The moved log's file is opened as itself and
// refused when it is a link (said once on the debugger output).
HANDLE OpenLogFile(LogSink& sink, const wchar_t* path) {
  if (!sink.moved) {
    return CreateFileW(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  LinkVerdict verdict = LinkVerdict::Plain;
  HANDLE file = OpenAppendOnlyAsItself(path, verdict);
  if ((verdict == LinkVerdict::ReparsePoint || verdict == LinkVerdict::HardLinked) && !sink.linkRefusalNoted) {
    sink.linkRefusalNoted = true;
    SayLinkRefused(path, verdict);
  }
  return file;
}

// The file's size; false when it cannot be read.
bool FileSize(HANDLE file, uint64_t& size) {
  LARGE_INTEGER bytes = {};
  if (!GetFileSizeEx(file, &bytes)) return false;
  size = static_cast<uint64_t>(bytes.QuadPart);
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
// or the file under the log's name is full and is set aside now. The lock
// is the one of that name, so only the file it guards is ever renamed.
// Leaves the file under the log's name open, or none when it cannot be
// opened. `note` receives a line to write first when the switch failed
// (once).
void ReopenOrRollOver(LogSink& sink, std::wstring& note) {
  CloseHandle(sink.file);
  sink.file = OpenLogFile(sink, sink.logPath);
  if (sink.file == INVALID_HANDLE_VALUE) return;
  uint64_t size = 0;
  if (!FileSize(sink.file, size) || size < sink.maxBytes) return;

  CloseHandle(sink.file);
  DWORD error = 0;
  const bool moved = SetFullFileAside(sink, error);
  sink.file = OpenLogFile(sink, sink.logPath);
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

// Why the log did not stay beside the executable, for the lines that say
// where it went: "error 5, access denied" or "its path is 270 characters
// long, more than 259".
std::wstring BesideRefusal(DWORD besideError, size_t besideLength) {
  wchar_t text[128] = {};
  if (besideError == 0) {
    _snwprintf_s(text, _countof(text), _TRUNCATE, L"its path is %u characters long, more than %u",
                 static_cast<unsigned>(besideLength), static_cast<unsigned>(MAX_PATH - 1));
  } else {
    _snwprintf_s(text, _countof(text), _TRUNCATE, L"error %lu, %ls", static_cast<unsigned long>(besideError),
                 besideError == ERROR_WRITE_PROTECT ? L"write-protected" : L"access denied");
  }
  return text;
}

// Opens the moved log in "<local application data>\LumoGameSDK": the folder
// made when missing, then opened as itself and held, the file opened as
// itself. Fills sink.logPath, oldLogPath and movedFolder. INVALID_HANDLE_VALUE
// with `error` (or `verdict` for a link, already said on the debugger
// output) when it cannot be had; `movedPath` names what was tried.
HANDLE OpenMovedLog(LogSink& sink, std::wstring& movedPath, DWORD& error, LinkVerdict& verdict) {
  verdict = LinkVerdict::Plain;
  error = ERROR_ENVVAR_NOT_FOUND;
  const std::wstring base = LocalAppDataFolder();
  if (base.empty()) return INVALID_HANDLE_VALUE;
  const std::wstring folder = base + L"\\LumoGameSDK";
  movedPath = folder + L"\\" + sink.exeName + L".log";
  wchar_t path[MAX_PATH] = {};
  wchar_t oldPath[MAX_PATH] = {};
  if (!JoinFits(movedPath.c_str(), L"", path)) {
    error = ERROR_FILENAME_EXCED_RANGE;
    return INVALID_HANDLE_VALUE;
  }
  JoinFits(movedPath.c_str(), L".1", oldPath);
  // Made when missing; an existing folder is fine, anything else shows when
  // it is opened.
  CreateDirectoryW(folder.c_str(), nullptr);
  HANDLE held = OpenFolderAsItself(folder.c_str(), verdict);
  if (held == nullptr) {
    error = GetLastError();
    if (verdict != LinkVerdict::OpenFailed) SayLinkRefused(folder.c_str(), verdict);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE file = OpenAppendOnlyAsItself(path, verdict);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    if (verdict != LinkVerdict::OpenFailed) SayLinkRefused(path, verdict);
    CloseHandle(held);
    return file;
  }
  sink.movedFolder = held;
  wcscpy_s(sink.logPath, path);
  wcscpy_s(sink.oldLogPath, oldPath);
  return file;
}

// Chooses, once per process, where the log is written: beside the
// executable, or, when that file is refused for access or cannot be named
// (its path too long), in the local application data folder, in which case
// the debugger output and the log's next line say where and why. Where that
// fails too, the debugger output says so once and no line is tried again.
// Names the lock after the chosen file. Opens the file beside the executable
// only as a test: a refusal for another reason (the file busy for a moment)
// keeps the log there and the next line tries again.
void PlaceLog(LogSink& sink) {
  const std::wstring beside = sink.exePath + L".log";
  DWORD besideError = 0;
  wchar_t besidePath[MAX_PATH] = {};
  if (MakeLogFilePath(sink.exePath.c_str(), besidePath)) {
    HANDLE file = OpenLogFile(sink, besidePath);
    besideError = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (file != INVALID_HANDLE_VALUE || !IsAccessError(besideError)) {
      wcscpy_s(sink.logPath, besidePath);
      MakeOldLogFilePath(sink.exePath.c_str(), sink.oldLogPath);
      MakeLogLockName(sink.logPath, sink.mutexName);
      sink.file = file;
      return;
    }
  }

  std::wstring movedPath;
  DWORD movedError = 0;
  LinkVerdict verdict = LinkVerdict::Plain;
  sink.moved = true;
  HANDLE file = OpenMovedLog(sink, movedPath, movedError, verdict);
  wchar_t text[kMessageUnits] = {};
  if (file == INVALID_HANDLE_VALUE) {
    sink.unwritable = true;
    if (verdict != LinkVerdict::Plain && verdict != LinkVerdict::OpenFailed) return;  // said already
    const std::wstring why = besideError != 0 ? L"error " + std::to_wstring(besideError)
                                              : BesideRefusal(0, beside.size());
    _snwprintf_s(text, kMessageUnits, _TRUNCATE,
                 L"[LumoGameSDK] log: neither %ls (%ls) nor %ls (error %lu) can be written; nothing is logged\n",
                 beside.c_str(), why.c_str(),
                 movedPath.empty() ? L"%LOCALAPPDATA%\\LumoGameSDK" : movedPath.c_str(),
                 static_cast<unsigned long>(movedError));
    OutputDebugStringW(text);
    return;
  }
  sink.file = file;
  MakeHashedLogLockName(sink.logPath, sink.mutexName);
  // Refused (an error) or too long to be named (none).
  _snwprintf_s(text, kMessageUnits, _TRUNCATE, L"[LumoGameSDK] log: %ls cannot be %ls (%ls); the log is written to %ls",
               beside.c_str(), besideError != 0 ? L"written" : L"named",
               BesideRefusal(besideError, beside.size()).c_str(), sink.logPath);
  sink.pendingNote = text;
  sink.notePending.store(true);
  OutputDebugStringW((sink.pendingNote + L"\n").c_str());
}

// Places the log on the first line, once, for every thread.
void EnsurePlaced(LogSink& sink) {
  if (sink.placed.load()) return;
  // The known folder is asked for before the one-time step, never inside
  // it: a thread that holds the loader lock may wait for that step, and
  // loading shell32 needs the loader lock.
  PrepareLocalAppDataFolder();
  static const bool placed = (PlaceLog(sink), true);
  sink.placed.store(placed);
}

// Appends `bytes` at the end of the log file, opening it first when needed.
// `mayRollOver`: the lock is held, so a full file may be switched.
void AppendToFile(LogSink& sink, const std::string& bytes, bool mayRollOver) {
  if (sink.file == INVALID_HANDLE_VALUE) sink.file = OpenLogFile(sink, sink.logPath);
  if (sink.file == INVALID_HANDLE_VALUE) return;
  uint64_t size = 0;
  const bool sized = FileSize(sink.file, size);
  // Without room for the older file's name (the same in every process that
  // writes this file) no process switches, and the file grows on.
  if (sized && mayRollOver && size >= sink.maxBytes && sink.oldLogPath[0] != L'\0') {
    std::wstring note;
    ReopenOrRollOver(sink, note);
    if (sink.file == INVALID_HANDLE_VALUE) return;
    if (!note.empty()) {
      const std::string noted = StampedLine(sink, note.c_str());
      DWORD written = 0;
      WriteFile(sink.file, noted.data(), static_cast<DWORD>(noted.size()), &written, nullptr);
    }
  }
  DWORD written = 0;
  WriteFile(sink.file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// The log's named mutex, made (or opened, when another process writing the
// same file made it) by the first line; null when it cannot be had.
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
  if (!sink.enabled || sink.exePath.empty()) return;

  wchar_t message[kLineUnits] = {};
  va_list args;
  va_start(args, format);
  _vsnwprintf_s(message, kLineUnits, _TRUNCATE, format, args);
  va_end(args);
  const std::string bytes = StampedLine(sink, message);

  EnsurePlaced(sink);
  if (sink.unwritable) return;

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
  if (sink.notePending.exchange(false)) AppendToFile(sink, StampedLine(sink, sink.pendingNote.c_str()), locked);
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
