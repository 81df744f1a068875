// Why a message for the host did or did not go out. IpcLink::Send decides
// it and the exports' PostToHost hands it up unchanged, so the one log line written for a failure names its cause; the
// game itself still sees one error code for all of them.
//
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "ipc/shm_endpoint.h"

namespace lumo {

// The answer of a send on the calling thread.
enum class SendResult {
  Queued,      // handed to the sender thread
  NoTarget,    // no host channel to send to (no --lumo-pipe on the command line)
  NotRunning,  // the IPC link or its sender thread is not running
  Closed,      // the IPC link is shutting down
  Full,        // kMaxQueuedMessages already wait for the host
  TooLarge,    // longer than a host channel carries (kShmMaxPayload)
  EmptyEnvelope,  // the envelope is empty: the caller could not write it
                  // (a text that is not UTF-8, as the log's text says)
};

// The cause, as the log names it ("" for Queued).
const wchar_t* SendResultText(SendResult result);

// Why a host channel could not be opened on the sender thread.
enum class HostOpenFailure {
  Missing,       // no host has created it (yet)
  AccessDenied,  // it exists, but this process may not open it
  BadName,       // the name cannot name a channel
  RegionRefused, // its region is not safe to write into (region_verdict.h)
  Unmappable,    // its region could not be mapped whole
  Other,         // anything else; the Windows error tells
};

// `status` is what ShmEndpoint::Open answered, `windowsError` the thread's
// last error right after it.
HostOpenFailure ClassifyHostOpen(ShmStatus status, uint32_t windowsError);

// The cause for the log: the failure's text, with the Windows error for
// Unmappable and the status and the error for Other. A refused region's own
// text, which names what was found, is DescribeRefusedRegion's.
std::wstring DescribeHostOpen(ShmStatus status, uint32_t windowsError);

}  // namespace lumo
