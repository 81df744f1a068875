// The debugger-output lines of the receive path, as pure text (no platform
// calls, built natively for fuzzing). Any thread may call these.
#pragma once

#include <cstdint>
#include <string>

namespace lumo {

inline constexpr char kRecvParseFailedLine[] = "[IPC recv] parse envelope failed\n";
inline constexpr char kRecvNoHandlerLine[] = "[IPC recv] no handler for msg\n";
// Bodies longer than this are cut in the line, with the rest counted.
inline constexpr size_t kRecvBodyShown = 512;

// "[IPC recv] size=<size> msg=<msg> body=<body>\n", the body cut to its first
// 512 bytes followed by "...(+<left out> bytes)" when longer. Name and body
// bytes are copied unchanged.
std::string FormatReceivedLine(const std::string& msg, const std::string& body, uint64_t size);

}  // namespace lumo
