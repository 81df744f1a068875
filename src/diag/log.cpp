#include "diag/log.h"

#include <shlwapi.h>

#include <cstdarg>
#include <cwchar>
#include <string>

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

  const std::wstring iniPath = SdkIniPath();
  if (iniPath.empty()) return;

  wchar_t value[kSwitchUnits] = {};
  GetPrivateProfileStringW(L"main", L"log", L"0", value, kSwitchUnits, iniPath.c_str());
  if (value[0] == L'\0') return;
  static const wchar_t* const kOn[] = {L"1", L"true", L"yes", L"on"};
  for (const wchar_t* on : kOn) {
    if (_wcsicmp(value, on) == 0) {
      GetLogSink().enabled = true;
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

void AppendToFile(LogSink& sink, const std::string& bytes) {
  if (sink.file == INVALID_HANDLE_VALUE) {
    sink.file = CreateFileW(sink.logPath, GENERIC_WRITE | FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (sink.file == INVALID_HANDLE_VALUE) return;
  SetFilePointer(sink.file, 0, nullptr, FILE_END);
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
  const unsigned dropped = sink.droppedLines.exchange(0);
  if (dropped != 0) {
    wchar_t note[kMessageUnits] = {};
    _snwprintf_s(note, kMessageUnits, _TRUNCATE,
                 L"[LumoGameSDK] log: %u line(s) dropped: another process held the log file's lock for more than "
                 L"%u ms",
                 dropped, static_cast<unsigned>(kLogLockBoundMs));
    AppendToFile(sink, StampedLine(sink, note));
  }
  AppendToFile(sink, bytes);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(mutex);
}

}  // namespace lumo
