// The library's own channel name and the fixed-size UTF-8 fields of the
// launch options: the token turned into "ipc_channel_game_<token>" and the
// truncating copy into a field (text from the command line's UTF-16 is
// converted by diag/utf8.h). Pure text processing with no platform calls
// (built natively into the command-line fuzz target); any thread.
#pragma once

#include <cstddef>
#include <string>

namespace lumo {

// Prefix of the library's own receive channel: kChannelGame "_" token.
inline constexpr char kChannelGame[] = "ipc_channel_game";

// "ipc_channel_game" "_" token-in-UTF-8, or "ipc_channel_game_unknown".
std::string MakeChannelName(const std::wstring& token);

// Copies `text` into a buffer of `capacity` bytes, NUL-terminated, cutting
// at the last whole UTF-8 character that fits.
void CopyUtf8Truncated(char* dest, size_t capacity, const std::string& text);

}  // namespace lumo
