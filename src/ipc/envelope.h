// The envelope: the one JSON text every message on a channel is, in either
// direction, {"body":<body as a JSON string>,"msg":<message name>} written
// compactly with sorted keys. Pure functions with no platform calls and no
// shared state (built natively for fuzzing); any thread may call them.
#pragma once

#include <cstddef>
#include <string>

namespace lumo {

// A body that is a compact JSON array of strings, [leading..., text]: the
// form of the library's requests to the host (host_requests.h). The leading
// items are written as they are and must need no escaping (decimal numbers).
struct ArrayBody {
  const std::string* leading = nullptr;
  size_t count = 0;
};

// The envelope writer, the one that every envelope of this project goes
// through. Without `array` the body is `text`, escaped as a JSON string;
// with it, the body is that array, written straight into the envelope's
// string (its quotes escaped, its text escaped twice), so no intermediate
// body is made. Empty when `msg` or `text` is not valid UTF-8, which no
// reader accepts as an envelope; may throw std::bad_alloc.
std::string WriteEnvelope(const char* msg, size_t msgSize, const char* text, size_t textSize,
                          const ArrayBody* array = nullptr);

// Wraps `msg` and `body` (both UTF-8) into the envelope; the body stays text
// and is escaped as a JSON string (WriteEnvelope). Never throws: input that
// is not valid UTF-8 gives an empty result.
std::string BuildEnvelope(const std::string& msg, const std::string& body);

// Reads an envelope: one JSON object with a string "msg". A string "body"
// comes back as its content, a null or missing one as empty, any other value
// re-serialised compactly. False, with both outputs empty, on any defect.
// Never throws.
bool ParseEnvelope(const std::string& data, std::string& msg, std::string& body);

}  // namespace lumo
