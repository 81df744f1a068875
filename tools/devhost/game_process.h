// The game process: started with the host's command line, its debugger
// output captured and printed, its end reported to the host window.
//
// Capture modes: the DBWIN buffer ("DBWIN_BUFFER" mapping with the events
// "DBWIN_BUFFER_READY"/"DBWIN_DATA_READY", filtered by the game's pid), or
// the devhost acting as the game's debugger (OUTPUT_DEBUG_STRING_EVENT), or
// none. The game runs in a job that kills it when the devhost ends, so a
// killed devhost never leaves a game behind.
//
// Threads: Start, Terminate and Finish on the main thread; the class owns a
// waiter or debugger thread and, in DBWIN mode, a reader thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "devhost/options.h"
#include "nbase/thread.h"

namespace devhost {

class GameProcess {
 public:
  GameProcess() = default;
  ~GameProcess();
  GameProcess(const GameProcess&) = delete;
  GameProcess& operator=(const GameProcess&) = delete;

  // Starts the game; once it has ended, posts `doneMessage` to `notifyWnd`.
  // `mode` may fall back from Dbwin to Debugger when another monitor owns
  // the DBWIN buffer; `activeMode` tells which one runs.
  bool Start(const std::wstring& commandLine, CaptureMode mode, HWND notifyWnd, UINT doneMessage,
             std::string& error);
  CaptureMode activeMode() const { return mode_; }
  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_; }  // owned; valid until destruction
  void Terminate(UINT exitCode);
  // After `doneMessage`: prints what the capture still holds, joins the
  // threads and returns the game's exit code.
  DWORD Finish();

 private:
  bool OpenDbwin();
  void CloseDbwin();
  bool LaunchSuspended(const std::wstring& commandLine, DWORD extraFlags, std::string& error);
  void DbwinReaderMain();
  void DebuggerMain(std::wstring commandLine);

  CaptureMode mode_ = CaptureMode::None;
  HWND notifyWnd_ = nullptr;
  UINT doneMessage_ = 0;
  HANDLE job_ = nullptr;
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  DWORD exitCode_ = 0;
  nbase::Thread waiter_;  // waits for the end (or runs the debug loop)

  // DBWIN buffer protocol.
  HANDLE bufferReady_ = nullptr;
  HANDLE dataReady_ = nullptr;
  HANDLE dbwinMapping_ = nullptr;
  const char* dbwinView_ = nullptr;
  HANDLE stopReader_ = nullptr;
  std::atomic<DWORD> capturePid_{0};
  nbase::Thread reader_;

  // Debugger mode: the debugger thread reports the launch through these.
  HANDLE launched_ = nullptr;
  std::string launchError_;
};

// Prints text from the game's debugger output as "debug" lines, one per
// line of the text; the trailing line feed ends the last one.
void PrintDebugText(const std::string& text);

}  // namespace devhost
