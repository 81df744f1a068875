// CIpcSender: the "IpcSender" framework thread that delivers outgoing
// messages into host channels.
//
// A host channel holds one message at a time and the host announces nothing
// back, so the sender keeps its own bounded queue (the outbox) and writes the
// next message only once the host has taken the previous one, which it reads
// off the host's server event: auto-reset, it stays signalled until the
// host's wait consumes it. Messages for a host channel that cannot be opened
// wait (a host restarting) for a while, in order.
//
// Several games may send into one launcher channel. Each message is written
// under the channel's writers' lock (writers_lock.h), shared with the
// senders of the other games: taken before the look at the previous message
// and held until the host has taken this one and the grace for its copy has
// passed, so whoever writes next, in any process, finds the slot copied. A
// lock that cannot be used, or that another process holds past its bound,
// is logged once per channel and the message goes out without it.
//
// The end of a host process is noticed by the sender thread itself: the
// pump it waits with between tasks also waits on the host process handles,
// so no other thread is needed to watch them.
//
// Threads: Queue from any thread. Drain, SendTo, Connect,
// Disconnect, the host-exit watches and Cleanup run only on the sender
// thread, which alone touches the connection table and the host endpoints.
// Ownership: held by value inside IpcLink's run; owns the outbox, its
// connections, their endpoints and process handles.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "ipc/send_result.h"
#include "ipc/shm_endpoint.h"
#include "ipc/writers_lock.h"
#include "nbase/framework_thread.h"
#include "nbase/lock.h"
#include "nbase/message_loop_proxy.h"

namespace lumo {

// At most this many messages wait for the host; a further Queue is refused.
constexpr size_t kMaxQueuedMessages = 1024;
// How long messages wait for a host channel that cannot be opened.
constexpr uint64_t kHostGapKeepMs = 5000;
// How often the sender tries to open a missing host channel meanwhile.
constexpr int64_t kHostRetryIntervalMs = 50;
// How long a write waits for the host to take the previous message before
// it overwrites it anyway.
constexpr uint64_t kHostTakeTimeoutMs = 100;
// The same for the first message on a newly opened host channel: a host
// that has just created its channel may still be setting up its reader.
constexpr uint64_t kHostFirstTakeTimeoutMs = 1000;
// How long a message waits for the writers' lock that another game's
// sender holds (for one message of its own, at most its take bounds and
// grace when its host is slow) before it goes out without the lock.
constexpr uint64_t kWritersLockBoundMs = kHostFirstTakeTimeoutMs;

// One open host channel.
struct HostConnection {
  ShmEndpoint endpoint{};          // client side; status 0 while stored
  HANDLE process = nullptr;        // the host process (SYNCHRONIZE), or null
  // The host process was found and is watched, or the channel's name has
  // no host to look up (it is used unwatched). Until then each message looks
  // it up again after it went out (a host may create its channel before the
  // window it is found by).
  bool hostLookupDone = false;
  // A message was announced on this connection, at this time (SteadyNowMs);
  // the host has taken one.
  bool announced = false;
  bool hostHasTaken = false;
  uint64_t announcedAtMs = 0;
  // The message announced last was seen taken and its grace kept.
  bool settled = false;
  // The channel's writers' lock; its mutex is null when it cannot be used.
  WritersLock writers{};
  // The lock was held past kWritersLockBoundMs by another process: later
  // messages only look whether it is free, until they get it again.
  bool lockBypassed = false;
};

// One message waiting in the outbox.
struct OutgoingMessage {
  std::string target;    // host channel name
  std::string payload;   // envelope bytes
  uint64_t queuedAtMs;   // SteadyNowMs when queued
};

class CIpcSender : public nbase::FrameworkThread {
 public:
  CIpcSender();
  ~CIpcSender() override;

  // Starts the sender thread. Owner's thread, before any Queue.
  bool StartSending();

  // Puts `payload` for the host channel `target` in the outbox and wakes
  // the sender when it was idle; fire-and-forget: never waits for the host.
  // Refuses, under the outbox's lock: posts shut (Closed), no sender loop
  // (NotRunning), a full outbox (Full); otherwise Queued. IpcLink::Send
  // has refused what is wrong with the message itself before. Any thread.
  SendResult Queue(std::string target, std::string payload);

  // Refuses every later Queue (Closed). Taken under the outbox's lock, so no
  // Queue is between its check and its queueing and nothing reaches a loop
  // that the following Stop destroys. Any thread but the sender thread.
  void ShutPosts() {
    nbase::AutoLock hold(postLock_);
    postsShut_ = true;
  }

  // The launcher's window, behind the "ipc_channel_player" host channels.
  // Before Start.
  void set_host_window(HWND window) { hostWindow_ = window; }

  // The host channel the first message will go to. The sender thread opens
  // it as it starts, while StartSending waits for the thread anyway, so that
  // the first message only has to be written and signalled; one that cannot
  // be opened yet is opened by the first send, as any other. Before Start.
  void set_first_target(const std::string& target) { firstTarget_ = target; }

  // From `deadlineMs` (SteadyNowMs) on, the sender stops delivering and
  // drops what is left with one log line. Set before Stop to bound it.
  void SetDeadline(uint64_t deadlineMs) {
    deadlineMs_.store(deadlineMs);
    if (deadlineSet_ != nullptr) SetEvent(deadlineSet_);
  }

  enum class Delivery {
    Done,         // written and announced, or dropped with a log line
    Unopened,     // the host channel cannot be opened (OpenFailureText says why)
    ShutdownDue,  // the deadline passed before the message could be written
  };
  // Writes `payload` into the host channel `target` and signals it, opening
  // the channel on first use, in this sender's turn and after the host has
  // taken the previous message. Sender thread only.
  Delivery SendTo(const std::string& target, const std::string& payload);

 protected:
  // Opens the first target's host channel; runs on the sender thread before
  // StartSending returns.
  void Init() override;
  // Drops every host connection and what is still queued (with a log line);
  // runs on the sender thread after its last task.
  void Cleanup() override;

 private:
  // Delivers the outbox in order until it is empty, the head's host channel
  // is missing (then retries later) or the deadline has passed. Sender thread.
  void Drain();
  // Drops queued messages for `target` older than kHostGapKeepMs, with one
  // log line that names why its channel could not be opened. Sender thread.
  void DropExpired(const std::string& target);
  // Why the last Connect failed, for a log line about `target`.
  std::wstring OpenFailureText(const std::string& target) const;
  // " (host channel <name> could not be opened: <why>)" while the head of
  // the outbox waits for a channel that cannot be opened, else "".
  std::wstring WaitingForNote() const;
  // Empties the outbox; returns how many messages it held.
  size_t TakeAllQueued();
  bool PastDeadline() const;
  // Milliseconds until the deadline: 0 once past, UINT64_MAX while none.
  uint64_t MsBeforeDeadline() const;
  // Takes the writers' lock of `connection` for one message, or goes on
  // without it (past its bound, or halfway to a shutdown deadline set
  // meanwhile; the causes logged once per channel). Sender thread.
  void TakeTurn(const std::string& target, HostConnection& connection);
  // Whether the line for `note` about `target`'s lock is still to be
  // written; marks it written.
  bool FirstLockNote(const std::string& target, unsigned note);
  // Waits (bounded) until the host has taken the message in the slot, ours
  // or another game's, and keeps the grace for its copy when it was pending.
  // False when the deadline passed meanwhile. Sender thread.
  bool WaitUntilTaken(const std::string& target, HostConnection& connection);
  // After a write: waits (bounded) until the host has taken it, then the
  // grace for its copy. Sender thread, in its turn.
  void WaitUntilCopied(HostConnection& connection);

  // The open connection to `target`, or a new one when there was none or its
  // host has ended; null when the channel cannot be opened.
  HostConnection* FindLiveConnection(const std::string& target);
  bool HostEnded(const HostConnection& connection);
  bool Connect(const std::string& target);
  // Finds the process behind `target` and has the sender's pump watch for
  // its end. After the first write: the host gets its first message without
  // waiting for the window search.
  void WatchHost(const std::string& target, HostConnection& connection);
  // The sender thread's pump, which also waits on the host processes; null
  // without a loop. Sender thread.
  nbase::DefaultMessagePump* Pump() const;
  // The watched host process of `target` has ended (sender's pump).
  void OnHostExited(const std::string& target, HANDLE process);
  void Disconnect(const std::string& target);
  void ReleaseConnection(HostConnection& connection);

  std::map<std::string, HostConnection> connections_;  // sender thread only
  // Which lock lines were written, per host channel (bits of LockNote in
  // ipc_sender.cpp). Sender thread only.
  std::map<std::string, unsigned> lockNotes_;
  // How the last Connect failed (ShmEndpoint::Open's status and the Windows
  // error), and the channel the outbox's head waits for because of it (empty
  // while none). Sender thread only.
  ShmStatus openStatus_ = ShmStatus::Ok;
  DWORD openError_ = 0;
  RegionRefusal openRefusal_;  // what a refused region showed (RegionRefused)
  std::string waitingFor_;
  HWND hostWindow_ = nullptr;
  std::string firstTarget_;  // set before Start, read by Init

  nbase::Lock postLock_;                 // guards outbox_, drainScheduled_, postsShut_
  std::deque<OutgoingMessage> outbox_;
  bool postsShut_ = false;               // Queue refuses (Closed)
  bool drainScheduled_ = false;          // a Drain task is queued or running
  std::atomic<uint64_t> deadlineMs_{0};  // 0: none
  // Set (manual reset) once a deadline is set: ends a wait for the writers'
  // lock that would outlast it. Null when it could not be made (the wait
  // then ends by its own bound).
  HANDLE deadlineSet_ = nullptr;
  // Wakes the sender's loop; set by StartSending before any Queue and kept
  // after the loop has ended (its posts then fail cleanly).
  std::shared_ptr<nbase::MessageLoopProxy> wakeProxy_;
};

}  // namespace lumo
