// JSON text in and out through the JSON library. Every JSON text the
// library reads goes through ParseStrictJson: a document is exactly one
// value (no comments, nothing after it but whitespace). DumpCompactJson
// writes compact UTF-8, non-ASCII unescaped; the library uses it only to pass
// on a received envelope's body that is not a string. Envelopes are not
// written here but by hand, on purpose (envelope.h: one string, no document,
// one allocation in the common case); the fuzz target holds that writer to
// DumpCompactJson's bytes. Pure; any thread.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace lumo {

// False, leaving `out` untouched, for text holding a NUL byte: the JSON
// library stops reading at a NUL as if the text ended there, which would let
// "{...}\0anything" through, and valid JSON text never holds a raw NUL.
// Otherwise parses; syntax errors throw the JSON library's parse_error.
inline bool ParseStrictJson(const std::string& text, nlohmann::json& out) {
  if (text.find('\0') != std::string::npos) return false;
  out = nlohmann::json::parse(text, nullptr, true, false);
  return true;
}

// Compact serialisation; invalid UTF-8 throws the JSON library's type_error
// rather than reaching the other side.
inline std::string DumpCompactJson(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
}

}  // namespace lumo
