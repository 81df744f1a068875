// The floor the library is measured against: the same design written as
// plainly as it can be. Init loads the multimedia timer the design's clock
// reads, creates the game's receive channel, starts a receive thread and a
// sender thread and has the sender write the ready message; a payment
// builds its envelope, appends it to a locked queue and signals the sender
// only when the queue was empty; the sender writes each message in its turn
// of the host channel's writers' lock, once the host has taken what is in
// the slot (the event reads not signalled), and keeps the lock until the
// host has taken it plus the same grace. No logging, no guards against a
// shutdown racing a call, no retries.
//
// Threads: Init, ShowPay, ShowPayOneHop and Uninit on the game's thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>
#include <thread>

#include "ipc/shm_endpoint.h"

namespace e2e {

class FloorSdk {
 public:
  // False when a channel cannot be made or opened.
  bool Init(int64_t gameId, HWND gameWnd, const std::string& ownChannel, const std::string& hostChannel);
  int ShowPay(const char* text);
  // One hop: the game thread writes and signals the host itself.
  int ShowPayOneHop(const char* text);
  void Uninit();

 private:
  void SenderMain();
  void ReceiverMain();
  void Deliver(const std::string& payload);
  bool WaitUntilTaken();

  int64_t gameId_ = 0;
  lumo::ShmEndpoint own_{};
  lumo::ShmEndpoint host_{};
  CRITICAL_SECTION lock_;
  std::deque<std::string> queue_;  // guarded by lock_
  bool stop_ = false;              // guarded by lock_
  HANDLE wake_ = nullptr;          // auto-reset: the queue became non-empty
  HANDLE stopReceive_ = nullptr;
  // Standard threads, not nbase::Thread: the floor is the design without the library's machinery.
  std::thread sender_, receiver_;
  HANDLE writers_ = nullptr;       // the host channel's writers' lock, or null
};

}  // namespace e2e
