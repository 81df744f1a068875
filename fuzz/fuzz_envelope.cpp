// Envelopes come from the host; whatever is accepted must survive a
// rebuild and a second reading unchanged.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "ipc/envelope.h"
#include "ipc/receive_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string msg = "x", body = "x";
  if (!lumo::ParseEnvelope(text, msg, body)) {
    FUZZ_CHECK(msg.empty() && body.empty());
    return 0;
  }
  const std::string line = lumo::FormatReceivedLine(msg, body, size);
  FUZZ_CHECK(!line.empty() && line.back() == '\n');
  const std::string rebuilt = lumo::BuildEnvelope(msg, body);
  FUZZ_CHECK(!rebuilt.empty());  // what was parsed is valid UTF-8
  std::string msg2, body2;
  FUZZ_CHECK(lumo::ParseEnvelope(rebuilt, msg2, body2));
  FUZZ_CHECK(msg2 == msg && body2 == body);
  return 0;
}
