#include "diag/sdk_ini.h"

#include <atomic>
#include <string>
#include <vector>

#include "diag/link_guard.h"
#include "diag/log.h"

namespace lumo {

namespace {

std::atomic<bool> g_bomNoted{false};
std::atomic<bool> g_lengthNoted{false};
std::atomic<unsigned> g_copies{0};

// `path` in the form that the file calls take at any length: "\\?\C:\..."
// or "\\?\UNC\server\share\...".
std::wstring LongForm(const std::wstring& path) {
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
  if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

// The file's first bytes: up to kSdkIniCopyBytes of it when `whole` or when
// they begin with the UTF-8 byte-order mark (the mark included); otherwise
// empty (only the first three bytes are read). Empty also when it cannot be
// read; `found` says whether it could be opened.
std::vector<char> ReadHead(const std::wstring& path, bool whole, bool& found) {
  std::vector<char> bytes;
  HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  found = file != INVALID_HANDLE_VALUE;
  if (!found) return bytes;
  char mark[3] = {};
  DWORD read = 0;
  if (ReadFile(file, mark, sizeof(mark), &read, nullptr) && (whole || StartsWithUtf8Bom(mark, read))) {
    bytes.assign(mark, mark + read);
    bytes.resize(kSdkIniCopyBytes);
    DWORD rest = 0;
    if (!ReadFile(file, bytes.data() + read, static_cast<DWORD>(bytes.size() - read), &rest, nullptr)) rest = 0;
    bytes.resize(read + rest);
  }
  CloseHandle(file);
  return bytes;
}

// A copy of `bytes` in the temporary folder, made for one read: the folder
// is held open as itself (refused, with a debugger-output line, when it is a
// link) and the file is created new and written through the handle that
// made it, so nothing another program put there is written through.
class TemporaryCopy {
 public:
  TemporaryCopy(const char* bytes, size_t size) {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH) return;
    LinkVerdict verdict = LinkVerdict::Plain;
    folder_ = OpenFolderAsItself(folder, verdict);
    if (folder_ == nullptr) {
      if (verdict != LinkVerdict::OpenFailed) {
        const std::wstring line = std::wstring(L"[LumoGameSDK] the temporary folder ") + folder + L" is " +
                                  LinkVerdictText(verdict) + L"; no copy of LumoGameSDK.ini is written there\n";
        OutputDebugStringW(line.c_str());
      }
      return;
    }
    // A name of this process's own; tried a few times in case one is taken.
    for (int attempt = 0; attempt < 8 && path_.empty(); ++attempt) {
      const UINT unique =
          ((GetCurrentProcessId() << 4) ^ (g_copies.fetch_add(1) * 0x9E37u) ^ GetTickCount()) & 0xFFFFu;
      wchar_t path[MAX_PATH] = {};
      if (GetTempFileNameW(folder, L"lmi", unique != 0 ? unique : 1, path) == 0) return;  // names it only
      HANDLE file = CreateNewAsItself(path);
      if (file == INVALID_HANDLE_VALUE) continue;
      DWORD written = 0;
      const bool ok = WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) && written == size;
      CloseHandle(file);
      if (ok) {
        path_ = path;
      } else {
        DeleteFileW(path);
      }
    }
  }
  ~TemporaryCopy() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
    if (folder_ != nullptr) CloseHandle(folder_);
  }
  TemporaryCopy(const TemporaryCopy&) = delete;
  TemporaryCopy& operator=(const TemporaryCopy&) = delete;

  // Empty when no copy could be made.
  const std::wstring& path() const { return path_; }

 private:
  HANDLE folder_ = nullptr;
  std::wstring path_;
};

void NoteBomOnce(const std::wstring& path) {
  if (g_bomNoted.load() || g_bomNoted.exchange(true)) return;
  const std::wstring line = L"[LumoGameSDK] " + path +
                            L" starts with a UTF-8 byte-order mark, which Windows' INI reader takes for part of "
                            L"the first line; it is read without it. Save it as UTF-8 without BOM, ANSI or UTF-16.\n";
  OutputDebugStringW(line.c_str());
}

void NoteLengthOnce(const std::wstring& path) {
  if (g_lengthNoted.load() || g_lengthNoted.exchange(true)) return;
  const std::wstring line = L"[LumoGameSDK] " + path + L" cannot be read: its path is " +
                            std::to_wstring(path.size()) + L" characters long, more than Windows' INI reader takes (" +
                            std::to_wstring(MAX_PATH - 1) +
                            L"), and no copy could be read in its place; the defaults apply (the log stays off). "
                            L"Install the game in a folder with a shorter path.\n";
  OutputDebugStringW(line.c_str());
}

}  // namespace

bool StartsWithUtf8Bom(const char* bytes, size_t size) {
  return bytes != nullptr && size >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
         static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF;
}

void ReadSdkIniString(const wchar_t* section, const wchar_t* key, const wchar_t* fallback, wchar_t* out,
                      DWORD units) {
  if (out == nullptr || units == 0) return;
  out[0] = L'\0';
  const std::wstring path = SdkIniPath();
  if (path.empty()) {
    wcsncpy_s(out, units, fallback, _TRUNCATE);
    return;
  }
  // Windows' reader takes no path longer than MAX_PATH - 1 units: such a
  // file is read through a copy too.
  const bool tooLong = path.size() >= MAX_PATH;
  bool found = false;
  const std::vector<char> head = ReadHead(path, tooLong, found);
  if (!found && tooLong) {
    // Missing: the defaults apply, as for a missing file anywhere.
    wcsncpy_s(out, units, fallback, _TRUNCATE);
    return;
  }
  if (!tooLong && head.empty()) {
    GetPrivateProfileStringW(section, key, fallback, out, units, path.c_str());
    return;
  }
  const bool marked = StartsWithUtf8Bom(head.data(), head.size());
  if (marked) NoteBomOnce(path);
  const size_t skip = marked ? 3 : 0;
  const TemporaryCopy copy(head.data() + skip, head.size() - skip);
  if (!copy.path().empty()) {
    GetPrivateProfileStringW(section, key, fallback, out, units, copy.path().c_str());
  } else if (tooLong) {
    NoteLengthOnce(path);
    wcsncpy_s(out, units, fallback, _TRUNCATE);
  } else {
    // Read as it is: every section but the first still counts.
    GetPrivateProfileStringW(section, key, fallback, out, units, path.c_str());
  }
}

}  // namespace lumo
