#include "diag/link_guard.h"

#include <atomic>

namespace lumo {

namespace {

std::atomic<FileInformationCall> g_fileInformationCall{nullptr};

LinkVerdict Judge(HANDLE handle, bool isFile) {
  const FileInformationCall testCall = g_fileInformationCall.load();
  BY_HANDLE_FILE_INFORMATION info = {};
  const BOOL read = testCall != nullptr ? testCall(handle, &info) : GetFileInformationByHandle(handle, &info);
  if (!read) return LinkVerdict::OpenFailed;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return LinkVerdict::ReparsePoint;
  if (isFile && info.nNumberOfLinks > 1) return LinkVerdict::HardLinked;
  return LinkVerdict::Plain;
}

// Judges an opened handle; closes it (keeping the last error) unless it is
// plain.
bool KeepIfPlain(HANDLE handle, bool isFile, LinkVerdict& verdict) {
  verdict = Judge(handle, isFile);
  if (verdict == LinkVerdict::Plain) return true;
  const DWORD error = GetLastError();
  CloseHandle(handle);
  SetLastError(error);
  return false;
}

}  // namespace

HANDLE OpenFolderAsItself(const wchar_t* path, LinkVerdict& verdict) {
  // Without FILE_SHARE_DELETE: nobody may rename or remove it while held.
  HANDLE folder = CreateFileW(path, FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder == INVALID_HANDLE_VALUE) {
    verdict = LinkVerdict::OpenFailed;
    return nullptr;
  }
  return KeepIfPlain(folder, false, verdict) ? folder : nullptr;
}

HANDLE OpenAppendOnlyAsItself(const wchar_t* path, LinkVerdict& verdict) {
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    verdict = LinkVerdict::OpenFailed;
    return file;
  }
  return KeepIfPlain(file, true, verdict) ? file : INVALID_HANDLE_VALUE;
}

HANDLE CreateNewAsItself(const wchar_t* path) {
  // CREATE_NEW fails on anything already there, a link included.
  return CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

const wchar_t* LinkVerdictText(LinkVerdict verdict) {
  switch (verdict) {
    case LinkVerdict::ReparsePoint:
      return L"a junction, symbolic link or other reparse point";
    case LinkVerdict::HardLinked:
      return L"a file with more than one name (a hard link)";
    case LinkVerdict::OpenFailed:
      return L"not to be opened";
    case LinkVerdict::Plain:
      break;
  }
  return L"a plain folder or file";
}

void SetFileInformationCallForTesting(FileInformationCall call) { g_fileInformationCall.store(call); }

}  // namespace lumo
