// ShmEndpoint: one process's handles to one named shared-memory channel N:
// the auto-reset events N "_server_njipc" and N "_client_njipc" and the
// 2048-byte page-file region N (layout in shm_layout.h). The server side
// creates the three objects (Create), the client side opens them (Open).
//
// A plain value without destructor behaviour: Create and Open return it by
// value, the owner keeps those bytes in one place and calls Close once while
// status is Ok. A failed endpoint (status not Ok) holds nothing and is never
// closed. A zero-filled endpoint is the empty state: Close does nothing,
// Write and Read fail.
//
// Threads: one thread at a time uses an endpoint; SetEvent on its handles
// from another thread (to wake a waiter) is safe. Owners wait on and signal
// the event handles directly. Nothing here logs or throws.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ipc/region_verdict.h"
#include "ipc/shm_layout.h"

namespace lumo {

enum class ShmStatus : int32_t {
  Ok = 0,
  InvalidName = 2,          // null, empty, or longer than kShmMaxChannelName
  CreateEventFailed = 3,
  EventExists = 4,          // another party already owns an event of that name
  OpenEventFailed = 5,      // as a rule: no server has created the channel
  CreateMappingFailed = 10,
  MappingExists = 11,
  MapViewFailed = 12,
  OpenMappingFailed = 13,
  RegionRefused = 14,       // Open: the region is not committed page-file memory
                            // mapped read-write (see region_verdict.h)
};

// The rights the library uses on a host channel's objects: signal, wait and
// read the state of its events, and map its region read-write. Open asks for
// all rights first and falls back to these when that is denied.
inline constexpr DWORD kHostEventRights = SYNCHRONIZE | EVENT_MODIFY_STATE | 0x0001;  // EVENT_QUERY_STATE
inline constexpr DWORD kHostRegionRights = FILE_MAP_READ | FILE_MAP_WRITE;

struct ShmEvent {
  HANDLE handle;      // null when none
  char* name;         // owned copy of the full kernel name, null when none
  ShmStatus error;    // of this object alone
};

struct ShmRegion {
  HANDLE mapping;        // null when none
  unsigned char* view;   // first of the kShmRegionSize mapped bytes, null when none
  uint32_t size;         // kShmRegionSize once mapped, else 0
  ShmStatus error;       // of this object alone
  char* name;            // owned copy of N, null when none
};

struct ShmEndpoint {
  ShmEvent serverEvent;
  ShmEvent clientEvent;
  ShmRegion region;
  ShmStatus status;
  char* channelName;  // owned copy of N once the whole endpoint is set up

  // Server side: creates both events and the region. Refuses (EventExists,
  // MappingExists) a name whose objects someone else already holds, closing
  // whatever this call had obtained. `name` may be null.
  static ShmEndpoint Create(const char* name);
  // Client side: opens the objects a server created. `name` may be null.
  // Each object is opened with all rights, or, when that is denied, with
  // those the library uses (kHostEventRights, kHostRegionRights). The region
  // is checked before anyone can write into it: one that is not committed
  // page-file memory mapped read-write is refused (RegionRefused), and what
  // was found goes to `refusal` when given.
  static ShmEndpoint Open(const char* name, RegionRefusal* refusal = nullptr);

  // Releases handles, view and names and zeroes every field. Never fails.
  void Close();
  // Stores length + payload; does not signal. False, region untouched, when
  // unusable or the payload exceeds kShmMaxPayload.
  bool Write(const std::string& payload);
  // Reads the stored message into `out` (emptied first); does not wait, does
  // not consume. False when unusable or the stored length is too large.
  bool Read(std::string& out) const;
};

}  // namespace lumo
