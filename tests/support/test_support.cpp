#include "support/test_support.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <atomic>
#include <vector>

namespace lumo_test {

std::wstring ExeDir() {
  wchar_t path[MAX_PATH * 4] = {};
  GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  std::wstring p(path);
  return p.substr(0, p.find_last_of(L"\\/"));
}

std::wstring BinPath(const std::wstring& fileName) { return ExeDir() + L"\\" + fileName; }

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  for (;;) {
    path_ = std::wstring(base) + L"lumo-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(counter++);
    if (CreateDirectoryW(path_.c_str(), nullptr)) break;
  }
}

TempDir::~TempDir() {
  // SHFileOperation wants a double-NUL-terminated list.
  std::wstring from = path_;
  from.push_back(L'\0');
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  SHFileOperationW(&op);
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(f);
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(f);
  return ok && written == bytes.size();
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

ChildProcess::~ChildProcess() {
  Kill();
  if (reader_) {
    WaitForSingleObject(reader_, 5000);
    CloseHandle(reader_);
  }
  if (readPipe_) CloseHandle(readPipe_);
  if (process_) CloseHandle(process_);
  if (lockReady_) DeleteCriticalSection(&lock_);
}

bool ChildProcess::Start(const std::wstring& commandLine, const std::wstring& workDir) {
  InitializeCriticalSection(&lock_);
  lockReady_ = true;
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE writePipe = nullptr;
  if (!CreatePipe(&readPipe_, &writePipe, &sa, 0)) return false;
  SetHandleInformation(readPipe_, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = writePipe;
  si.hStdError = writePipe;
  PROCESS_INFORMATION pi = {};
  std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back(L'\0');
  BOOL ok = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr,
                           workDir.empty() ? nullptr : workDir.c_str(), &si, &pi);
  CloseHandle(writePipe);
  if (!ok) return false;
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  pid_ = pi.dwProcessId;
  reader_ = CreateThread(nullptr, 0, &ChildProcess::ReaderMain, this, 0, nullptr);
  return true;
}

DWORD WINAPI ChildProcess::ReaderMain(void* self) {
  auto* child = static_cast<ChildProcess*>(self);
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(child->readPipe_, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    EnterCriticalSection(&child->lock_);
    child->output_.append(buffer, got);
    LeaveCriticalSection(&child->lock_);
  }
  return 0;
}

bool ChildProcess::Wait(DWORD timeoutMs, DWORD* exitCode) {
  if (!process_) return false;
  if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return false;
  // The pipe reaches end of file once every holder of its write end is gone;
  // a grandchild that inherited it may keep it open, so bound the wait.
  if (reader_) WaitForSingleObject(reader_, 5000);
  if (exitCode) GetExitCodeProcess(process_, exitCode);
  return true;
}

void ChildProcess::Kill() {
  if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 0xDEAD);
    WaitForSingleObject(process_, 5000);
  }
}

std::string ChildProcess::Output() {
  if (!lockReady_) return {};
  EnterCriticalSection(&lock_);
  std::string copy = output_;
  LeaveCriticalSection(&lock_);
  return copy;
}

DWORD RunProcess(const std::wstring& commandLine, DWORD timeoutMs, std::string* output,
                 const std::wstring& workDir) {
  ChildProcess child;
  if (!child.Start(commandLine, workDir)) return ~0u;
  DWORD code = ~0u;
  if (!child.Wait(timeoutMs, &code)) {
    child.Kill();
    code = ~0u;
  }
  if (output) *output = child.Output();
  return code;
}

std::wstring Quote(const std::wstring& arg) { return L"\"" + arg + L"\""; }

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
  return out;
}

ProbeFolder::ProbeFolder(std::initializer_list<const wchar_t*> files, const char* ini) {
  for (const wchar_t* file : files) {
    EXPECT_TRUE(CopyFileW(BinPath(file).c_str(), dir_.File(file).c_str(), FALSE)) << Narrow(file);
  }
  if (ini != nullptr) EXPECT_TRUE(WriteFileBytes(dir_.File(L"LumoGameSDK.ini"), ini));
}

DWORD ProbeFolder::Run(const wchar_t* exe, const std::wstring& args, std::string* output, DWORD timeoutMs) const {
  return RunProcess(Quote(Path(exe)) + L" " + args, timeoutMs, output);
}

std::string ProbeFolder::Log(const wchar_t* exe) const { return ReadFileBytes(Path(exe) + L".log"); }

}  // namespace lumo_test
