// The envelope: the one JSON text every message on a channel is, in either
// direction, {"body":<body as a JSON string>,"msg":<message name>} written
// compactly with sorted keys. Pure functions with no platform calls and no
// shared state (built natively for fuzzing); any thread may call them.
#pragma once

#include <string>

namespace lumo {

// Wraps `msg` and `body` (both UTF-8) into the envelope; the body stays text
// and is escaped as a JSON string. Never throws: input that is not valid
// UTF-8 gives an empty result, which no reader accepts as an envelope.
std::string BuildEnvelope(const std::string& msg, const std::string& body);

// Reads an envelope: one JSON object with a string "msg". A string "body"
// comes back as its content, a null or missing one as empty, any other value
// re-serialised compactly. False, with both outputs empty, on any defect.
// Never throws.
bool ParseEnvelope(const std::string& data, std::string& msg, std::string& body);

}  // namespace lumo
