// The library's own channel name and the fixed-size UTF-8 fields of the
// launch options: the token turned into "ipc_channel_game_<token>", text
// converted from the command line's UTF-16, and the truncating copy into a
// field. Pure text processing with no platform calls (built natively into
// the command-line fuzz target); any thread.
#pragma once

#include <cstddef>
#include <string>

namespace lumo {

// Prefix of the library's own receive channel: kChannelGame "_" token.
inline constexpr char kChannelGame[] = "ipc_channel_game";

// UTF-16 (one unit per wchar_t; a wider wchar_t holding a whole code point is
// taken as it is) to UTF-8, a lone surrogate written as U+FFFD, as the
// system's conversion writes it.
std::string Utf16ToUtf8(const std::wstring& text);

// "ipc_channel_game" "_" token-in-UTF-8, or "ipc_channel_game_unknown".
std::string MakeChannelName(const std::wstring& token);

// Copies `text` into a buffer of `capacity` bytes, NUL-terminated, cutting
// at the last whole UTF-8 character that fits.
void CopyUtf8Truncated(char* dest, size_t capacity, const std::string& text);

}  // namespace lumo
