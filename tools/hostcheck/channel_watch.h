// Watches the host channel from the game's side while the library writes
// into it: each new message in the region, and how long the host's server
// event stays signalled after it (the host's wait takes the signal). Reads
// the region and the event's state only, so it never takes a message the
// host has not taken.
//
// Threads: Start/Stop/Deliveries on the check thread; one poll thread of its
// own, about once a millisecond.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "nbase/thread.h"

namespace hostcheck {

struct Delivery {
  std::string payload;     // the envelope as it stood in the region
  double appearedMs = 0;   // when the poll first saw it
  bool taken = false;      // the host's wait took the signal while it stood there
  bool overwritten = false;  // the next message replaced it before that
  double heldMs = -1;      // appearance until taken or overwritten; < 0 while neither
};

class ChannelWatch {
 public:
  ChannelWatch() = default;
  ~ChannelWatch();
  ChannelWatch(const ChannelWatch&) = delete;
  ChannelWatch& operator=(const ChannelWatch&) = delete;

  // `serverEvent` needs query access; `view` is the mapped 2048-byte region.
  // Both must outlive Stop. What the region holds now counts as old.
  void Start(HANDLE serverEvent, const unsigned char* view);
  void Stop();
  std::vector<Delivery> Deliveries() const;
  bool stateUnknown() const { return stateUnknown_.load(); }

 private:
  void PollMain();

  HANDLE serverEvent_ = nullptr;
  const unsigned char* view_ = nullptr;
  std::atomic<bool> stop_{false};
  std::atomic<bool> stateUnknown_{false};
  nbase::Thread thread_;
  mutable std::mutex lock_;
  std::vector<Delivery> deliveries_;
  std::string last_;
};

// The payload the 2048-byte region holds, or "" when its length is invalid.
std::string RegionPayload(const unsigned char* view);

}  // namespace hostcheck
