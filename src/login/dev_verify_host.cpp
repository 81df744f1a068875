#include "login/dev_verify_host.h"

namespace lumo {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

DevVerifyHost ParseDevVerifyHost(const std::string& value, std::string& hostPort) {
  hostPort.clear();
  size_t begin = 0;
  size_t end = value.size();
  while (begin < end && IsBlank(value[begin])) ++begin;
  while (end > begin && IsBlank(value[end - 1])) --end;
  if (begin == end) return DevVerifyHost::kAbsent;

  std::string text;
  for (size_t i = begin; i < end; ++i) text.push_back(LowerAscii(value[i]));

  // The name ends at the bracket of an IPv6 literal, else at the last colon.
  size_t nameEnd;
  if (text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos) return DevVerifyHost::kNotLoopback;
    nameEnd = close + 1;
  } else {
    nameEnd = text.rfind(':');
    if (nameEnd == std::string::npos) nameEnd = text.size();
  }
  const std::string name = text.substr(0, nameEnd);
  if (name != "localhost" && name != "127.0.0.1" && name != "[::1]") {
    return DevVerifyHost::kNotLoopback;
  }
  if (nameEnd == text.size()) return DevVerifyHost::kNoPort;
  if (text[nameEnd] != ':') return DevVerifyHost::kNotLoopback;  // "[::1]x"

  const std::string digits = text.substr(nameEnd + 1);
  if (digits.empty()) return DevVerifyHost::kNoPort;
  unsigned long port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return DevVerifyHost::kBadPort;
    port = port * 10 + static_cast<unsigned long>(c - '0');
    if (port > 65535) return DevVerifyHost::kBadPort;
  }
  if (port == 0) return DevVerifyHost::kBadPort;
  hostPort = name + ":" + std::to_string(port);
  return DevVerifyHost::kHonoured;
}

}  // namespace lumo
