// The byte layout of a channel's shared region and the rules for channel and
// event names. Pure functions over plain memory with no platform calls, so
// they can be built natively for fuzzing; ShmEndpoint is the Windows side.
// Stateless; any thread may call them on memory it may touch.
//
// Region: a 32-bit little-endian payload length at offset 0, then that many
// payload bytes. Bytes past the payload are whatever longer messages left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumo {

inline constexpr uint32_t kShmRegionSize = 2048;
inline constexpr uint32_t kShmMaxPayload = kShmRegionSize - 4;  // 2044

// Event names are N + suffix in a 256-byte buffer, terminator included, so
// N may hold at most 256 - 1 - 13 bytes.
inline constexpr size_t kShmEventNameCapacity = 256;
inline constexpr char kShmServerEventSuffix[] = "_server_njipc";
inline constexpr char kShmClientEventSuffix[] = "_client_njipc";
inline constexpr size_t kShmMaxChannelName =
    kShmEventNameCapacity - 1 - (sizeof(kShmServerEventSuffix) - 1);  // 242

// The library's own object beside a host channel N: the writers' lock, a
// named mutex N + this suffix that every sender of this library takes for
// one message at a time. The host never sees it. No longer than the event
// suffixes, so every usable channel name also forms it.
inline constexpr char kShmWritersLockSuffix[] = "_lumo_writers";
static_assert(sizeof(kShmWritersLockSuffix) <= sizeof(kShmServerEventSuffix),
              "the writers' lock name fits wherever the event names fit");

// True for a non-null, non-empty name of at most kShmMaxChannelName bytes.
// Reads at most kShmMaxChannelName + 1 bytes of `name`.
bool IsUsableChannelName(const char* name);

// Formats `name` + `suffix` into `out`; false (out left empty) when it
// would not fit. `name` must be usable (see above).
bool FormatEventName(const char* name, const char* suffix, char (&out)[kShmEventNameCapacity]);

// Stores `payload` at the start of a region of `size` bytes: length, then
// the bytes. False, with the region untouched, when the view is null or the
// payload does not fit. Nothing past the payload is written.
bool StoreRegionMessage(unsigned char* view, uint32_t size, const std::string& payload);

// Copies the region of `size` bytes once and takes length and payload from
// that one copy, so a writer racing in another process cannot make them
// disagree. `out` is emptied first and stays empty on failure: null view,
// a region under 4 bytes, or a stored length that claims more than fits.
bool LoadRegionMessage(const unsigned char* view, uint32_t size, std::string& out);

}  // namespace lumo
