// The envelopes of the two messages the library sends to the host, each
// written straight into one string by the envelope writer (envelope.h):
// GameWndReady, whose body is [game id, game window handle, the library's
// channel name], and ShowPay, whose body is [game id, pay text]; bodies are
// compact JSON arrays of strings, carried as the envelope's string "body".
// The bytes are those the JSON serialiser gives for that envelope of that
// body. Pure functions with no platform calls (built natively for fuzzing);
// any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumo {

// Empty when a text is not valid UTF-8 (no reader accepts it as an
// envelope); may throw std::bad_alloc.
std::string BuildWndReadyEnvelope(int64_t gameId, uint64_t gameWnd, const char* channelName, size_t channelSize);
std::string BuildShowPayEnvelope(int64_t gameId, const char* payText, size_t payTextSize);

}  // namespace lumo
