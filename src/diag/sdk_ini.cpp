#include "diag/sdk_ini.h"

#include <atomic>
#include <string>
#include <vector>

#include "diag/log.h"

namespace lumo {

namespace {

std::atomic<bool> g_bomNoted{false};

// The file's first bytes when they are the UTF-8 byte-order mark: up to
// kSdkIniCopyBytes of it, the mark included. Empty for any other file (only
// its first three bytes are read) and when it cannot be read.
std::vector<char> ReadMarkedHead(const std::wstring& path) {
  std::vector<char> bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char mark[3] = {};
  DWORD read = 0;
  if (ReadFile(file, mark, sizeof(mark), &read, nullptr) && StartsWithUtf8Bom(mark, read)) {
    bytes.assign(mark, mark + read);
    bytes.resize(kSdkIniCopyBytes);
    DWORD rest = 0;
    if (!ReadFile(file, bytes.data() + read, static_cast<DWORD>(bytes.size() - read), &rest, nullptr)) rest = 0;
    bytes.resize(read + rest);
  }
  CloseHandle(file);
  return bytes;
}

// Writes `bytes` to a new file in the temporary folder; its path, or empty.
std::wstring WriteTemporaryCopy(const char* bytes, size_t size) {
  wchar_t folder[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
  if (n == 0 || n > MAX_PATH) return std::wstring();
  wchar_t path[MAX_PATH] = {};
  if (GetTempFileNameW(folder, L"lmi", 0, path) == 0) return std::wstring();  // creates it, empty
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  DWORD written = 0;
  const bool ok = file != INVALID_HANDLE_VALUE &&
                  WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) && written == size;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!ok) {
    DeleteFileW(path);
    return std::wstring();
  }
  return path;
}

void NoteBomOnce(const std::wstring& path) {
  if (g_bomNoted.load() || g_bomNoted.exchange(true)) return;
  const std::wstring line = L"[LumoGameSDK] " + path +
                            L" starts with a UTF-8 byte-order mark, which Windows' INI reader takes for part of "
                            L"the first line; it is read without it. Save it as UTF-8 without BOM, ANSI or UTF-16.\n";
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
  const std::vector<char> head = ReadMarkedHead(path);
  if (head.empty()) {
    GetPrivateProfileStringW(section, key, fallback, out, units, path.c_str());
    return;
  }
  NoteBomOnce(path);
  const std::wstring copy = WriteTemporaryCopy(head.data() + 3, head.size() - 3);
  if (copy.empty()) {
    // Read as it is: every section but the first still counts.
    GetPrivateProfileStringW(section, key, fallback, out, units, path.c_str());
    return;
  }
  GetPrivateProfileStringW(section, key, fallback, out, units, copy.c_str());
  DeleteFileW(copy.c_str());
}

}  // namespace lumo
