#include "diag/text_convert.h"

#include <windows.h>

#include <cwchar>
#include <cstring>

namespace lumo {

namespace {
// Up to this many units (or bytes) the conversion goes straight into a
// worst-case-sized stack buffer and skips the sizing call.
constexpr int kStackConvertLimit = 256;
}  // namespace

std::string WideToMultiByte(const wchar_t* text, int length, unsigned codePage) {
  std::string result;
  if (text == nullptr) return result;
  if (length == -1) length = static_cast<int>(std::wcslen(text));
  if (length <= 0) return result;
  if (length <= kStackConvertLimit) {
    // UTF-8 needs at most 3 bytes per UTF-16 unit (a surrogate pair takes
    // 4 bytes for 2 units); double-byte code pages at most 2.
    char buffer[3 * kStackConvertLimit];
    const int capacity = (codePage == CP_UTF8 ? 3 : 2) * length;
    int written = WideCharToMultiByte(codePage, 0, text, length, buffer, capacity, nullptr, nullptr);
    if (written > 0) return result.assign(buffer, static_cast<size_t>(written));
    // Too small only when the code page needs more than 2 bytes a unit
    // (the ANSI code page set to UTF-8, UTF-7, GB18030): size it instead.
  }
  int needed = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return result;
  result.resize(static_cast<size_t>(needed));
  int written = WideCharToMultiByte(codePage, 0, text, length, &result[0], needed, nullptr, nullptr);
  result.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return result;
}

std::wstring Utf8ToWide(const char* text, int length) {
  std::wstring result;
  if (text == nullptr) return result;
  if (length == -1) length = static_cast<int>(std::strlen(text));
  if (length > kStackConvertLimit) {
    int needed = MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0);
    if (needed <= 0) return result;
    result.resize(static_cast<size_t>(needed));
    int written = MultiByteToWideChar(CP_UTF8, 0, text, length, &result[0], needed);
    result.resize(written > 0 ? static_cast<size_t>(written) : 0);
  } else if (length > 0) {
    // Each byte yields at most one UTF-16 unit.
    wchar_t buffer[kStackConvertLimit];
    int written = MultiByteToWideChar(CP_UTF8, 0, text, length, buffer, length);
    if (written > 0) result.assign(buffer, static_cast<size_t>(written));
  }
  return result;
}

}  // namespace lumo
