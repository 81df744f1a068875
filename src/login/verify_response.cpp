#include "login/verify_response.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "diag/strict_json.h"
#include "diag/utf8.h"

namespace lumo {

namespace {

using nlohmann::json;

constexpr size_t kFieldUnits = 64;

// A floating-point value truncated toward zero, when the result fits the
// range [lo, hi]; a value outside it has no integer meaning here.
bool TruncateFloat(double d, double lo, double hi, int64_t& out) {
  const double t = std::trunc(d);
  if (!(t >= lo && t <= hi)) return false;  // also rejects NaN
  out = static_cast<int64_t>(t);
  return true;
}

// 32-bit reading of "code" and "utype": integers keep their low 32 bits,
// floats are truncated, booleans read as 0 and 1.
bool ReadInt32(const json& v, int32_t& out) {
  if (v.is_number_unsigned()) {
    out = static_cast<int32_t>(static_cast<uint32_t>(v.get<uint64_t>()));
  } else if (v.is_number_integer()) {
    out = static_cast<int32_t>(static_cast<uint32_t>(v.get<int64_t>()));
  } else if (v.is_number_float()) {
    int64_t t = 0;
    if (!TruncateFloat(v.get<double>(), INT32_MIN, INT32_MAX, t)) return false;
    out = static_cast<int32_t>(t);
  } else if (v.is_boolean()) {
    out = v.get<bool>() ? 1 : 0;
  } else {
    return false;
  }
  return true;
}

// 64-bit reading of "uid" and "time": unsigned integers keep their bit
// pattern, floats are truncated; booleans are not numbers here.
bool ReadInt64(const json& v, int64_t& out) {
  if (v.is_number_unsigned()) {
    out = static_cast<int64_t>(v.get<uint64_t>());
  } else if (v.is_number_integer()) {
    out = v.get<int64_t>();
  } else if (v.is_number_float()) {
    // 2^63 itself is out of range; the largest double below it is not.
    if (!TruncateFloat(v.get<double>(), -9223372036854775808.0, 9223372036854774784.0, out)) {
      return false;
    }
  } else {
    return false;
  }
  return true;
}

// Each reader leaves `out` at its default when the key is absent and fails
// when the value has a type the field does not accept.
bool ReadOptionalInt64(const json& data, const char* key, int64_t& out) {
  out = 0;
  auto it = data.find(key);
  return it == data.end() || ReadInt64(*it, out);
}

bool ReadOptionalInt32(const json& data, const char* key, int32_t& out) {
  out = 0;
  auto it = data.find(key);
  return it == data.end() || ReadInt32(*it, out);
}

// Decodes the UTF-8 character at `at` and moves past it. A byte that does
// not begin a well-formed character (stray continuation, overlong form,
// surrogate, beyond U+10FFFF, cut short) becomes U+FFFD and only that byte is
// skipped, as the system's UTF-8 conversion does.
uint32_t NextCodePoint(const std::string& text, size_t& at) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    ++at;
    return lead;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data()) + at;
  const size_t length = Utf8SequenceLength(p, text.size() - at);
  if (length == 0) {
    ++at;
    return 0xFFFD;
  }
  // The lead byte's payload bits, then six from each continuation byte.
  uint32_t c = lead & (0x7Fu >> length);
  for (size_t i = 1; i < length; ++i) c = (c << 6) | (p[i] & 0x3Fu);
  at += length;
  return c;
}

bool ParseGuarded(const std::string& body, LoginInfo* info) {
  // Strict: comments are errors and nothing but whitespace may follow.
  json doc;
  if (!ParseStrictJson(body, doc)) return false;
  if (!doc.is_object()) return false;

  auto code = doc.find("code");
  if (code == doc.end()) return false;
  int32_t codeValue = 0;
  if (!ReadInt32(*code, codeValue) || codeValue != 0) return false;

  const json& data = doc.at("data");
  if (!data.is_object()) return false;

  if (!ReadOptionalInt64(data, "uid", info->uid)) return false;
  if (!ReadOptionalInt64(data, "time", info->time)) return false;
  if (!ReadOptionalInt32(data, "utype", info->utype)) return false;
  CopyUtf8Field(info->appid, data.value("appid", std::string()));
  CopyUtf8Field(info->sid, data.value("sid", std::string()));

  return info->uid > 0 && info->appid[0] != L'\0' && info->sid[0] != L'\0';
}

}  // namespace

bool ParseVerifyResponse(const std::string& body, LoginInfo* info) {
  if (info == nullptr) return false;
  try {
    return ParseGuarded(body, info);
  } catch (...) {
    return false;
  }
}

bool ReadVerifyCode(const std::string& body, int32_t& code) {
  try {
    json doc;
    if (!ParseStrictJson(body, doc) || !doc.is_object()) return false;
    const auto found = doc.find("code");
    return found != doc.end() && ReadInt32(*found, code);
  } catch (...) {
    return false;
  }
}

void CopyUtf8Field(wchar_t* field, const std::string& text) {
  if (field == nullptr) return;
  size_t n = 0;
  size_t at = 0;
  while (at < text.size()) {
    const uint32_t c = NextCodePoint(text, at);
    if (c == 0) break;
    // A character needing a surrogate pair goes in whole or not at all, so
    // the field never ends in half a character.
    const size_t units = c >= 0x10000 ? 2 : 1;
    if (n + units > kFieldUnits - 1) break;
    if (units == 2) {
      field[n++] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      field[n++] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      field[n++] = static_cast<wchar_t>(c);
    }
  }
  while (n < kFieldUnits) field[n++] = L'\0';
}

}  // namespace lumo
