#include "login/percent_encode.h"

namespace lumo {

namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_' || c == '~';
}

}  // namespace

std::string PercentEncode(const std::string& utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(utf8.size() * 3);
  for (char ch : utf8) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (IsUnreserved(c)) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

}  // namespace lumo
