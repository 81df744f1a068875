// The development override comes from a file beside the game. Whatever it
// holds, only a loopback name with a port in 1..65535 is honoured, in one
// canonical form that reads back the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "login/dev_verify_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string value(reinterpret_cast<const char*>(data), size);
  std::string hostPort = "stale";
  const lumo::DevVerifyHost verdict = lumo::ParseDevVerifyHost(value, hostPort);
  if (verdict != lumo::DevVerifyHost::kHonoured) {
    FUZZ_CHECK(hostPort.empty());
    if (verdict == lumo::DevVerifyHost::kAbsent) {
      for (char c : value) FUZZ_CHECK(c == ' ' || c == '\t' || c == '\r' || c == '\n');
    }
    return 0;
  }
  const size_t colon = hostPort.rfind(':');
  FUZZ_CHECK(colon != std::string::npos);
  const std::string name = hostPort.substr(0, colon);
  const std::string port = hostPort.substr(colon + 1);
  FUZZ_CHECK(name == "localhost" || name == "127.0.0.1" || name == "[::1]");
  FUZZ_CHECK(!port.empty() && port.size() <= 5 && port[0] != '0');
  unsigned long n = 0;
  for (char c : port) {
    FUZZ_CHECK(c >= '0' && c <= '9');
    n = n * 10 + static_cast<unsigned long>(c - '0');
  }
  FUZZ_CHECK(n >= 1 && n <= 65535);
  std::string again;
  FUZZ_CHECK(lumo::ParseDevVerifyHost(hostPort, again) == lumo::DevVerifyHost::kHonoured);
  FUZZ_CHECK(again == hostPort);
  return 0;
}
