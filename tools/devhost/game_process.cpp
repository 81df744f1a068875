#include "devhost/game_process.h"

#include <cstring>
#include <vector>

#include "devhost/output.h"
#include "diag/utf8.h"

namespace devhost {

namespace {

constexpr DWORD kDbwinBufferSize = 4096;

std::string LastErrorText(const char* what) {
  return std::string(what) + " failed, error " + std::to_string(GetLastError());
}

}  // namespace

void PrintDebugText(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    PrintLine("debug " + line);
    start = end + 1;
  }
}

GameProcess::~GameProcess() {
  if (stopReader_) SetEvent(stopReader_);
  // Both return once the game has ended (the job ends it with the host) and
  // the reader has seen its stop; past the bound they are let go, as the
  // devhost is ending anyway.
  if (!reader_.Join()) reader_.LetGo();
  if (!waiter_.Join()) waiter_.LetGo();
  CloseDbwin();
  if (stopReader_) CloseHandle(stopReader_);
  if (launched_) CloseHandle(launched_);
  if (process_) CloseHandle(process_);
  if (job_) CloseHandle(job_);
}

bool GameProcess::OpenDbwin() {
  // Only one monitor can own the buffer; finding the events made already
  // means another one runs, and sharing them would split its output and ours.
  bufferReady_ = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
  if (bufferReady_ && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseDbwin();
    return false;
  }
  dataReady_ = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
  if (dataReady_ && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseDbwin();
    return false;
  }
  dbwinMapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                     kDbwinBufferSize, "DBWIN_BUFFER");
  if (!bufferReady_ || !dataReady_ || !dbwinMapping_) {
    CloseDbwin();
    return false;
  }
  dbwinView_ = static_cast<const char*>(MapViewOfFile(dbwinMapping_, FILE_MAP_READ, 0, 0, kDbwinBufferSize));
  if (!dbwinView_) {
    CloseDbwin();
    return false;
  }
  return true;
}

void GameProcess::CloseDbwin() {
  if (dbwinView_) UnmapViewOfFile(dbwinView_);
  if (dbwinMapping_) CloseHandle(dbwinMapping_);
  if (dataReady_) CloseHandle(dataReady_);
  if (bufferReady_) CloseHandle(bufferReady_);
  dbwinView_ = nullptr;
  dbwinMapping_ = dataReady_ = bufferReady_ = nullptr;
}

void GameProcess::DbwinReaderMain() {
  SetEvent(bufferReady_);
  const HANDLE waits[2] = {dataReady_, stopReader_};
  for (;;) {
    // Data first: a stop request after the game's end still lets the
    // game's last string, signalled before it ended, be printed.
    const DWORD w = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (w != WAIT_OBJECT_0) return;
    DWORD pid = 0;
    std::memcpy(&pid, dbwinView_, sizeof(pid));
    const char* text = dbwinView_ + sizeof(DWORD);
    const size_t len = strnlen(text, kDbwinBufferSize - sizeof(DWORD));
    std::string copy(text, len);
    SetEvent(bufferReady_);
    if (pid == capturePid_.load()) PrintDebugText(copy);
  }
}

bool GameProcess::LaunchSuspended(const std::wstring& commandLine, DWORD extraFlags, std::string& error) {
  std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back(L'\0');
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  // A console game writes into the devhost's own stdout and stderr.
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED | extraFlags, nullptr,
                      nullptr, &si, &pi)) {
    error = LastErrorText("CreateProcess");
    return false;
  }
  if (job_) AssignProcessToJobObject(job_, pi.hProcess);
  process_ = pi.hProcess;
  pid_ = pi.dwProcessId;
  capturePid_.store(pi.dwProcessId);
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  return true;
}

bool GameProcess::Start(const std::wstring& commandLine, CaptureMode mode, HWND notifyWnd, UINT doneMessage,
                        std::string& error) {
  notifyWnd_ = notifyWnd;
  doneMessage_ = doneMessage;
  job_ = CreateJobObjectW(nullptr, nullptr);
  if (job_) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
  }

  if (mode == CaptureMode::Dbwin && !OpenDbwin()) mode = CaptureMode::Debugger;
  mode_ = mode;

  if (mode == CaptureMode::Debugger) {
    // Debug events go to the thread that created the process, so the
    // debugger thread launches the game itself.
    launched_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!waiter_.Create([this, commandLine] { DebuggerMain(commandLine); })) {
      error = "cannot start the debugger thread";
      return false;
    }
    WaitForSingleObject(launched_, INFINITE);
    if (!process_) {
      error = launchError_;
      if (!waiter_.Join()) waiter_.LetGo();  // it failed to launch: it returns at once
      return false;
    }
    return true;
  }

  if (mode == CaptureMode::Dbwin) {
    stopReader_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    reader_.Create([this] { DbwinReaderMain(); });
  }
  if (!LaunchSuspended(commandLine, 0, error)) return false;
  if (!waiter_.Create([this] {
        WaitForSingleObject(process_, INFINITE);
        GetExitCodeProcess(process_, &exitCode_);
        PostMessageW(notifyWnd_, doneMessage_, 0, 0);
      })) {
    error = "cannot start the thread that waits for the game";
    return false;
  }
  return true;
}

void GameProcess::DebuggerMain(std::wstring commandLine) {
  if (!LaunchSuspended(commandLine, DEBUG_ONLY_THIS_PROCESS, launchError_)) {
    SetEvent(launched_);
    return;
  }
  SetEvent(launched_);
  DEBUG_EVENT ev;
  bool initialBreak = true;
  for (;;) {
    if (!WaitForDebugEvent(&ev, INFINITE)) break;
    DWORD status = DBG_CONTINUE;
    switch (ev.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO& info = ev.u.DebugString;
        const size_t unit = info.fUnicode ? sizeof(wchar_t) : 1;
        std::vector<char> bytes(static_cast<size_t>(info.nDebugStringLength) * unit + sizeof(wchar_t), 0);
        SIZE_T got = 0;
        ReadProcessMemory(process_, info.lpDebugStringData, bytes.data(), bytes.size() - sizeof(wchar_t), &got);
        std::string text = info.fUnicode
                               ? lumo::Utf16ToUtf8(reinterpret_cast<const wchar_t*>(bytes.data()))
                               : std::string(bytes.data());
        PrintDebugText(text);
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        // The loader's breakpoint is ours to swallow; every other exception
        // goes back to the game as if no debugger were there.
        if (initialBreak && ev.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT) {
          initialBreak = false;
        } else {
          status = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
        if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        exitCode_ = ev.u.ExitProcess.dwExitCode;
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, DBG_CONTINUE);
        PostMessageW(notifyWnd_, doneMessage_, 0, 0);
        return;
      default:
        break;
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
  }
  // The wait failed: report the end as the process itself gives it.
  WaitForSingleObject(process_, INFINITE);
  GetExitCodeProcess(process_, &exitCode_);
  PostMessageW(notifyWnd_, doneMessage_, 0, 0);
}

void GameProcess::Terminate(UINT exitCode) {
  if (process_) TerminateProcess(process_, exitCode);
}

DWORD GameProcess::Finish() {
  // The game has ended: the waiter returns at once, the reader once it sees
  // its stop.
  if (!waiter_.Join()) waiter_.LetGo();
  if (stopReader_) SetEvent(stopReader_);
  if (!reader_.Join()) reader_.LetGo();
  CloseDbwin();
  return exitCode_;
}

}  // namespace devhost
