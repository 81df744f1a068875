// UTF-8, once for the whole code base: the test of a well-formed sequence
// (RFC 3629: no overlong forms, no surrogates, nothing past U+10FFFF), for
// the writers that must refuse what the JSON serialiser refuses and the
// readers that replace what the system's conversion replaces; and the
// conversion from UTF-16, which writes what the system's conversion writes.
// Pure, header-only (the portable parts of every layer use it); any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <string>

namespace lumo {

// Length (2 to 4) of the well-formed UTF-8 sequence that starts at `p`, whose
// lead byte is 0x80 or above, with `left` bytes available from `p`; 0 when
// the bytes there are not one.
inline size_t Utf8SequenceLength(const unsigned char* p, size_t left) {
  const unsigned char lead = p[0];
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (left < length) return 0;
  if (p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  }
  return length;
}

// Appends code point `cp` (below 0x110000, not a surrogate) in UTF-8.
inline void AppendUtf8(std::string& out, uint32_t cp) {
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

namespace utf8_detail {

inline bool IsHigh(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLow(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace utf8_detail

// `units` UTF-16 units (one per wchar_t; a wider wchar_t holding a whole
// code point is taken as it is) to UTF-8, a lone surrogate written as
// U+FFFD, as the system's conversion writes it.
inline std::string Utf16ToUtf8(const wchar_t* text, size_t units) {
  using namespace utf8_detail;
  constexpr uint32_t kReplacement = 0xFFFD;
  std::string out;
  if (text == nullptr) return out;
  out.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    const uint32_t unit = static_cast<uint32_t>(text[i]);
    if (IsHigh(unit) && i + 1 < units && IsLow(static_cast<uint32_t>(text[i + 1]))) {
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

inline std::string Utf16ToUtf8(const std::wstring& text) { return Utf16ToUtf8(text.data(), text.size()); }

// A zero-terminated text; null gives an empty string.
inline std::string Utf16ToUtf8(const wchar_t* text) {
  return text != nullptr ? Utf16ToUtf8(text, std::wcslen(text)) : std::string();
}

}  // namespace lumo
