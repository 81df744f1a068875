// The verify answer comes from the network. Whatever it holds, the parser
// writes only inside the record, leaves size and reserved bytes alone, and
// every text field it writes is terminated, zero-filled and well-formed
// UTF-16 (never half a character); success implies the success rule. The
// field copy is checked on its own too, against code points the fuzzer
// encodes itself. Built with 16-bit wchar_t, as on Windows.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "LumoGameSDK.h"
#include "diag/utf8.h"
#include "fuzz_check.h"
#include "login/verify_response.h"

namespace {

constexpr size_t kUnits = 64;

// Terminated within 63 units, zero after the terminator, no unpaired
// surrogate.
void CheckField(const wchar_t* field) {
  size_t n = 0;
  while (n < kUnits && field[n] != 0) ++n;
  FUZZ_CHECK(n <= kUnits - 1);
  for (size_t i = n; i < kUnits; ++i) FUZZ_CHECK(field[i] == 0);
  for (size_t i = 0; i < n; ++i) {
    const unsigned u = static_cast<uint16_t>(field[i]);
    if (u >= 0xD800 && u <= 0xDBFF) {
      FUZZ_CHECK(i + 1 < n);
      const unsigned low = static_cast<uint16_t>(field[i + 1]);
      FUZZ_CHECK(low >= 0xDC00 && low <= 0xDFFF);
      ++i;
    } else {
      FUZZ_CHECK(!(u >= 0xDC00 && u <= 0xDFFF));
    }
  }
}

struct Guarded {
  unsigned char before[32];
  LoginInfo info;
  unsigned char after[32];
};

void CheckParse(const std::string& body) {
  Guarded g;
  std::memset(&g, 0xA5, sizeof(g));
  // As VerifyLoginToken hands it over.
  std::memset(&g.info, 0, sizeof(g.info));
  g.info.size = 288;
  const bool ok = lumo::ParseVerifyResponse(body, &g.info);
  for (unsigned char b : g.before) FUZZ_CHECK(b == 0xA5);
  for (unsigned char b : g.after) FUZZ_CHECK(b == 0xA5);
  FUZZ_CHECK(g.info.size == 288 && g.info.reserved0 == 0 && g.info.reserved1 == 0);
  CheckField(g.info.appid);
  CheckField(g.info.sid);
  if (ok) FUZZ_CHECK(g.info.uid > 0 && g.info.appid[0] != 0 && g.info.sid[0] != 0);
}

// Arbitrary bytes: well-formed output, nothing written past the field.
void CheckRawCopy(const std::string& text) {
  wchar_t fields[kUnits + 8];
  for (wchar_t& u : fields) u = static_cast<wchar_t>(0x7777);
  lumo::CopyUtf8Field(fields, text);
  CheckField(fields);
  for (size_t i = kUnits; i < kUnits + 8; ++i) FUZZ_CHECK(fields[i] == 0x7777);
}

// Code points chosen by the fuzzer (3 bytes each), encoded here: the field
// holds exactly the longest whole-character prefix that fits in 63 units,
// up to the first U+0000.
void CheckExactCopy(const uint8_t* data, size_t size) {
  std::vector<uint32_t> points;
  for (size_t i = 0; i + 2 < size; i += 3) {
    uint32_t c = (static_cast<uint32_t>(data[i]) << 16 | data[i + 1] << 8 | data[i + 2]) % 0x110000;
    if (c >= 0xD800 && c <= 0xDFFF) c -= 0x800;  // no surrogates in UTF-8
    points.push_back(c);
  }
  std::string text;
  for (uint32_t c : points) lumo::AppendUtf8(text, c);
  std::vector<uint16_t> expected;
  for (uint32_t c : points) {
    if (c == 0) break;
    const size_t units = c >= 0x10000 ? 2 : 1;
    if (expected.size() + units > kUnits - 1) break;
    if (units == 2) {
      expected.push_back(static_cast<uint16_t>(0xD800 + ((c - 0x10000) >> 10)));
      expected.push_back(static_cast<uint16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      expected.push_back(static_cast<uint16_t>(c));
    }
  }
  wchar_t field[kUnits];
  lumo::CopyUtf8Field(field, text);
  for (size_t i = 0; i < kUnits; ++i) {
    const uint16_t want = i < expected.size() ? expected[i] : 0;
    FUZZ_CHECK(static_cast<uint16_t>(field[i]) == want);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  CheckParse(bytes);
  CheckRawCopy(bytes);
  CheckExactCopy(data, size);
  lumo::CopyUtf8Field(nullptr, bytes);  // a null field is left alone
  // The code of a refused answer: untouched unless read, 0 for an accepted one.
  int32_t code = 7;
  const bool coded = lumo::ReadVerifyCode(bytes, code);
  FUZZ_CHECK(coded || code == 7);
  LoginInfo info{};
  if (lumo::ParseVerifyResponse(bytes, &info)) FUZZ_CHECK(coded && code == 0);
  return 0;
}
