// Tokens come from the command line: the encoded form keeps only
// unreserved characters and %XX, and decodes back to the input.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "login/percent_encode.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string encoded = lumo::PercentEncode(input);
  std::string decoded;
  for (size_t i = 0; i < encoded.size(); ++i) {
    const char c = encoded[i];
    if (c == '%') {
      FUZZ_CHECK(i + 2 < encoded.size());
      const int hi = HexValue(encoded[i + 1]);
      const int lo = HexValue(encoded[i + 2]);
      FUZZ_CHECK(hi >= 0 && lo >= 0);
      decoded.push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    } else {
      FUZZ_CHECK(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~');
      decoded.push_back(c);
    }
  }
  FUZZ_CHECK(decoded == input);
  return 0;
}
