#include "launch/channel_name.h"

#include <cstdint>
#include <cstring>

namespace lumo {

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsHigh(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string Utf16ToUtf8(const std::wstring& text) {
  constexpr uint32_t kReplacement = 0xFFFD;
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const uint32_t unit = static_cast<uint32_t>(text[i]);
    if (IsHigh(unit) && i + 1 < text.size() && IsLow(static_cast<uint32_t>(text[i + 1]))) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00));
      ++i;
    } else if (IsHigh(unit) || IsLow(unit) || unit > 0x10FFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::string MakeChannelName(const std::wstring& token) {
  std::string name = kChannelGame;
  name += "_";
  name += token.empty() ? std::string("unknown") : Utf16ToUtf8(token);
  return name;
}

void CopyUtf8Truncated(char* dest, size_t capacity, const std::string& text) {
  if (capacity == 0) return;
  size_t n = text.size();
  if (n >= capacity) {
    n = capacity - 1;
    // text[n] is the first byte left out; when it continues a multi-byte
    // character, leave out that whole character.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

}  // namespace lumo
