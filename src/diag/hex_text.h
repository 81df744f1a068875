// Lower-case hex of every byte, for printing raw bytes on one line (the
// development host's raw envelopes, the test programs' byte strings).
// Header-only: programs that link only the DLL use it too. Any thread.
#pragma once

#include <string>

namespace lumo {

inline std::string ToHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 15]);
  }
  return hex;
}

}  // namespace lumo
