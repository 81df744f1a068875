// Helpers shared by the test programs: temporary folders, files and child
// processes. Test threads only; nothing here is thread-safe.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace lumo_test {

// Folder of the running test program (the build's bin folder).
std::wstring ExeDir();
// Full path of a program built beside the running test program.
std::wstring BinPath(const std::wstring& fileName);

// A fresh folder under %TEMP%, removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

std::string ReadFileBytes(const std::wstring& path);  // empty when missing
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);

// A child process with its standard output captured into a pipe that a
// reader thread drains. The destructor kills the child if it still runs.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // `commandLine` is the whole command line, program path first (quoted as
  // needed). Extra environment entries are not supported: children inherit.
  bool Start(const std::wstring& commandLine, const std::wstring& workDir = L"");
  // Waits for the exit; false on time-out. Output is complete afterwards.
  bool Wait(DWORD timeoutMs, DWORD* exitCode = nullptr);
  void Kill();
  HANDLE process() const { return process_; }
  DWORD pid() const { return pid_; }
  // Output so far (complete once Wait returned true).
  std::string Output();

 private:
  static DWORD WINAPI ReaderMain(void* self);
  HANDLE process_ = nullptr;
  HANDLE readPipe_ = nullptr;
  HANDLE reader_ = nullptr;
  DWORD pid_ = 0;
  CRITICAL_SECTION lock_;
  bool lockReady_ = false;
  std::string output_;
};

// A fresh folder with copies of files built beside the test (a probe
// program, the DLL) and, unless `ini` is null, a LumoGameSDK.ini with that
// text (logging on by default): each copied program logs into a file of its
// own, which the test reads back. Removed with its contents on destruction.
class ProbeFolder {
 public:
  ProbeFolder(std::initializer_list<const wchar_t*> files, const char* ini = "[main]\r\nlog=1\r\n");
  std::wstring Path(const wchar_t* file) const { return dir_.File(file); }
  // Runs the copy of `exe` with `args`; its exit code (~0u on time-out).
  DWORD Run(const wchar_t* exe, const std::wstring& args, std::string* output = nullptr,
            DWORD timeoutMs = 60000) const;
  // The log file of the copy of `exe` (empty when there is none).
  std::string Log(const wchar_t* exe) const;

 private:
  TempDir dir_;
};

// Starts a program, waits, returns its exit code (or ~0u on time-out,
// after killing it). Output goes to `output` when given.
DWORD RunProcess(const std::wstring& commandLine, DWORD timeoutMs, std::string* output = nullptr,
                 const std::wstring& workDir = L"");

std::wstring Quote(const std::wstring& arg);
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

}  // namespace lumo_test
