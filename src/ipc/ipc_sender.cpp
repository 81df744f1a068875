#include "ipc/ipc_sender.h"

#include <utility>

#include "diag/log.h"
#include "diag/text_convert.h"
#include "ipc/host_process.h"
#include "ipc/integrity_level.h"
#include "ipc/reader_take.h"
#include "ipc/shm_layout.h"
#include "nbase/default_message_pump.h"
#include "nbase/monotonic_clock.h"

namespace lumo {

namespace {

// The host's wait is satisfied (its event reads not signalled from then on)
// as soon as the event is set while it waits; its thread still has to be
// scheduled before it copies the region. The channel offers no other sign
// that the copy is done, so the next write keeps this distance from the
// moment the wake was seen; on a machine busy with other work a shorter
// grace let messages be overwritten.
constexpr DWORD kHostCopyGraceMs = 10;
// A message announced this long ago has been taken and copied if the event
// reads not signalled: the next one goes out at once.
constexpr uint64_t kSettledMs = 100;
// The lines about a host channel's writers' lock, each written once per channel.
enum LockNote : unsigned {
  kLockUnusable = 1,     // it could not be created or opened
  kLockHeldTooLong = 2,  // another process held it past kWritersLockBoundMs
  kLockAbandoned = 4,    // a process ended while holding it
  kLockWaitFailed = 8,   // waiting for it failed
};

// Lets go of a connection's writers' lock when a message's turn ends, also
// when its delivery throws: a mutex left held by a live sender thread would
// make every other game wait for its bound.
class TurnGuard {
 public:
  explicit TurnGuard(WritersLock& lock) : lock_(lock) {}
  ~TurnGuard() { lock_.Release(); }
  TurnGuard(const TurnGuard&) = delete;
  TurnGuard& operator=(const TurnGuard&) = delete;

 private:
  WritersLock& lock_;
};

std::wstring Wide(const std::string& utf8) { return Utf8ToWide(utf8.c_str(), static_cast<int>(utf8.size())); }

// How long the host has to take a message: longer until it has taken its
// first on this connection (a new host may still be setting up its reader).
uint64_t TakeBoundMs(const HostConnection& connection) {
  return connection.hostHasTaken ? kHostTakeTimeoutMs : kHostFirstTakeTimeoutMs;
}

// The writers' lock's object name for a host channel, as the log names it.
std::wstring LockName(const std::string& target) { return Wide(target + kShmWritersLockSuffix); }

}  // namespace

CIpcSender::CIpcSender()
    : nbase::FrameworkThread("IpcSender"), deadlineSet_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CIpcSender::~CIpcSender() {
  Stop();
  // Cleanup closed every handle; anything left is only freed.
  connections_.clear();
  if (deadlineSet_ != nullptr) CloseHandle(deadlineSet_);
}

bool CIpcSender::StartSending() {
  if (!Start(nbase::LoopType::Default, nullptr)) return false;
  wakeProxy_ = message_loop_proxy();
  return wakeProxy_ != nullptr;
}

SendResult CIpcSender::Queue(std::string target, std::string payload) {
  bool wake = false;
  {
    // The check of the door and the queueing are one step against
    // ShutPosts: a game thread sending while another thread shuts the
    // channel down either gets its message queued before the stop, or
    // refused.
    nbase::AutoLock hold(postLock_);
    if (postsShut_) return SendResult::Closed;
    if (wakeProxy_ == nullptr) return SendResult::NotRunning;
    if (outbox_.size() >= kMaxQueuedMessages) return SendResult::Full;
    outbox_.push_back(OutgoingMessage{std::move(target), std::move(payload), nbase::SteadyNowMs()});
    // Only an idle sender needs waking: a running drain takes what comes.
    wake = !drainScheduled_;
    drainScheduled_ = true;
  }
  // Woken after the lock is let go, which the drain takes first thing. The
  // proxy refuses once the loop is gone (a shutdown under way, whose
  // clean-up accounts for what is queued).
  if (wake) {
    try {
      wakeProxy_->PostTask([this] { Drain(); });
    } catch (...) {
      // Out of memory: the message stays queued and the next one wakes the sender.
      nbase::AutoLock hold(postLock_);
      drainScheduled_ = false;
    }
  }
  return SendResult::Queued;
}

bool CIpcSender::PastDeadline() const {
  const uint64_t deadline = deadlineMs_.load();
  return deadline != 0 && nbase::SteadyNowMs() >= deadline;
}

uint64_t CIpcSender::MsBeforeDeadline() const {
  const uint64_t deadline = deadlineMs_.load();
  if (deadline == 0) return UINT64_MAX;
  const uint64_t now = nbase::SteadyNowMs();
  return now >= deadline ? 0 : deadline - now;
}

size_t CIpcSender::TakeAllQueued() {
  std::deque<OutgoingMessage> dropped;
  {
    nbase::AutoLock hold(postLock_);
    dropped.swap(outbox_);
  }
  return dropped.size();
}

void CIpcSender::Drain() {
  for (;;) {
    if (PastDeadline()) {
      const size_t dropped = TakeAllQueued();
      {
        nbase::AutoLock hold(postLock_);
        drainScheduled_ = false;
      }
      // Outside the lock: a lumoShowPay racing the shutdown does not wait
      // behind the log file.
      if (dropped != 0) {
        SdkLog(L"IpcSender: shutdown time is up, %u message(s) not delivered were dropped%ls",
               static_cast<unsigned>(dropped), WaitingForNote().c_str());
      }
      return;
    }
    OutgoingMessage message;
    {
      nbase::AutoLock hold(postLock_);
      if (outbox_.empty()) {
        drainScheduled_ = false;
        return;
      }
      message = std::move(outbox_.front());
      outbox_.pop_front();
    }
    Delivery delivery = Delivery::Done;
    try {
      delivery = SendTo(message.target, message.payload);
    } catch (...) {
      // Out of memory on the sender thread: this message is lost, the game
      // goes on.
      SdkLog(L"IpcSender: a message for %ls was dropped: out of memory", Wide(message.target).c_str());
      continue;
    }
    if (delivery == Delivery::Done) {
      waitingFor_.clear();
      continue;
    }
    if (delivery == Delivery::ShutdownDue) {
      // Not written: it goes with the rest of the queue, counted in the
      // deadline's line.
      nbase::AutoLock hold(postLock_);
      outbox_.push_front(std::move(message));
      continue;
    }

    // No host channel of that name right now (a host restarting): the
    // message keeps its place, and the sender tries again shortly.
    const std::string target = message.target;
    waitingFor_ = target;
    {
      nbase::AutoLock hold(postLock_);
      outbox_.push_front(std::move(message));
    }
    DropExpired(target);
    nbase::MessageLoop* loop = message_loop();
    if (loop == nullptr) return;
    loop->PostDelayedTask([this] { Drain(); }, nbase::DelayFromMs(kHostRetryIntervalMs));
    return;  // drainScheduled_ stays set: the retry is the scheduled drain
  }
}

void CIpcSender::DropExpired(const std::string& target) {
  const uint64_t now = nbase::SteadyNowMs();
  size_t dropped = 0;
  bool headWaits = false;
  {
    nbase::AutoLock hold(postLock_);
    for (auto it = outbox_.begin(); it != outbox_.end();) {
      if (it->target == target && now - it->queuedAtMs >= kHostGapKeepMs) {
        it = outbox_.erase(it);
        ++dropped;
      } else {
        ++it;
      }
    }
    headWaits = !outbox_.empty() && outbox_.front().target == target;
  }
  if (dropped != 0) {
    SdkLog(L"IpcSender: host channel %ls could not be opened for %u ms (%ls); %u message(s) for it were dropped",
           Wide(target).c_str(), static_cast<unsigned>(kHostGapKeepMs), OpenFailureText(target).c_str(),
           static_cast<unsigned>(dropped));
  }
  if (!headWaits) waitingFor_.clear();
}

std::wstring CIpcSender::OpenFailureText(const std::string& target) const {
  if (openStatus_ == ShmStatus::RegionRefused) return DescribeRefusedRegion(Wide(target), openRefusal_);
  std::wstring text = DescribeHostOpen(openStatus_, openError_);
  // An elevated launcher's channel refuses a game at a lower level.
  if (ClassifyHostOpen(openStatus_, openError_) == HostOpenFailure::AccessDenied) {
    text += L"; " + HigherIntegrityHint(LauncherAndGameLevels(FindHostProcessId(target, hostWindow_)));
  }
  return text;
}

std::wstring CIpcSender::WaitingForNote() const {
  if (waitingFor_.empty()) return std::wstring();
  return L" (host channel " + Wide(waitingFor_) + L" could not be opened: " + OpenFailureText(waitingFor_) + L")";
}

bool CIpcSender::HostEnded(const HostConnection& connection) {
  // The watch is served only between tasks; a message written by a drain
  // after the end would go into a region nobody reads any more.
  if (connection.process == nullptr) return false;
  // The wait that woke this drain found the host alive: asking the system
  // again would only add a round trip to every message of an idle sender.
  nbase::DefaultMessagePump* pump = Pump();
  if (pump != nullptr && pump->TakeSeenUnsignalled(connection.process)) return false;
  return WaitForSingleObject(connection.process, 0) == WAIT_OBJECT_0;
}

HostConnection* CIpcSender::FindLiveConnection(const std::string& target) {
  auto it = connections_.find(target);
  if (it != connections_.end() && HostEnded(it->second)) {
    // The host behind it has ended; its objects must go so that a new host
    // can create the channel again, and what follows waits for that host.
    Disconnect(target);
    it = connections_.end();
  }
  if (it == connections_.end()) {
    if (!Connect(target)) return nullptr;
    it = connections_.find(target);
    if (it == connections_.end()) return nullptr;
  }
  return &it->second;
}

bool CIpcSender::FirstLockNote(const std::string& target, unsigned note) {
  unsigned& noted = lockNotes_[target];
  if ((noted & note) != 0) return false;
  noted |= note;
  return true;
}

void CIpcSender::TakeTurn(const std::string& target, HostConnection& connection) {
  if (connection.writers.mutex == nullptr) return;  // unusable: said at Connect
  // Once another process held it past the bound, waiting that long for
  // every message would stall this game's messages behind a squatter.
  const uint64_t boundMs = connection.lockBypassed ? 0 : kWritersLockBoundMs;
  // A shutdown that begins meanwhile ends the wait halfway to its deadline,
  // so that what is queued still goes out, without the lock, in the rest.
  uint64_t giveUpAtMs = 0;
  auto msBeforeGivingUp = [this, &giveUpAtMs]() -> uint64_t {
    const uint64_t leftMs = MsBeforeDeadline();
    if (leftMs == UINT64_MAX) return UINT64_MAX;
    const uint64_t now = nbase::SteadyNowMs();
    if (giveUpAtMs == 0) giveUpAtMs = now + leftMs / 2;
    return now >= giveUpAtMs ? 0 : giveUpAtMs - now;
  };
  const uint64_t startMs = nbase::SteadyNowMs();
  switch (connection.writers.Take(boundMs, deadlineSet_, msBeforeGivingUp)) {
    case LockTake::Taken:
      connection.lockBypassed = false;
      return;
    case LockTake::Abandoned:
      // Held now. The slot may still hold the ended game's message, which the
      // wait for the host's take covers.
      connection.lockBypassed = false;
      if (FirstLockNote(target, kLockAbandoned)) {
        SdkLog(L"IpcSender: host channel %ls: a process ended while holding the writers' lock %ls; "
               L"it was taken over",
               Wide(target).c_str(), LockName(target).c_str());
      }
      return;
    case LockTake::TimedOut:
    case LockTake::Stopped:
      if (!connection.lockBypassed && FirstLockNote(target, kLockHeldTooLong)) {
        SdkLog(L"IpcSender: host channel %ls: the writers' lock %ls was held by another process for more than "
               L"%u ms (another program may hold its name); messages go out without it while it stays held, "
               L"and may overwrite another game's",
               Wide(target).c_str(), LockName(target).c_str(),
               static_cast<unsigned>(nbase::SteadyNowMs() - startMs));
      }
      connection.lockBypassed = true;
      return;
    case LockTake::Failed: {
      const DWORD error = GetLastError();
      if (FirstLockNote(target, kLockWaitFailed)) {
        SdkLog(L"IpcSender: host channel %ls: waiting for the writers' lock %ls failed (error %u); messages go "
               L"out without it",
               Wide(target).c_str(), LockName(target).c_str(),
               static_cast<unsigned>(error));
      }
      return;
    }
  }
}

bool CIpcSender::WaitUntilTaken(const std::string& target, HostConnection& connection) {
  // Also before the first message on a connection: another game may have
  // written into the slot just before.
  const uint64_t boundMs = TakeBoundMs(connection);
  bool pending = false;
  switch (WaitForReaderToTake(connection.endpoint.serverEvent.handle, boundMs, 1, [this] { return PastDeadline(); },
                              &pending)) {
    case TakeWait::Taken:
      if (pending) connection.hostHasTaken = true;
      break;
    case TakeWait::Unknown:  // nothing to read progress from: the grace alone
      pending = false;
      break;
    case TakeWait::TimedOut:
      SdkLog(L"IpcSender: host channel %ls did not take the previous message within %u ms; it may be overwritten",
             Wide(target).c_str(), static_cast<unsigned>(boundMs));
      return true;
    case TakeWait::Stopped:
      return false;
  }
  // A message taken just now, or one of ours whose copy was not waited for.
  const bool recent = connection.announced && !connection.settled &&
                      nbase::SteadyNowMs() - connection.announcedAtMs < kSettledMs;
  if (pending || recent) Sleep(kHostCopyGraceMs);
  return true;
}

void CIpcSender::WaitUntilCopied(HostConnection& connection) {
  const uint64_t boundMs = TakeBoundMs(connection);
  switch (WaitForReaderToTake(connection.endpoint.serverEvent.handle, boundMs, 1, [this] { return PastDeadline(); })) {
    case TakeWait::Taken:
    case TakeWait::Unknown:
      break;
    case TakeWait::TimedOut:  // the next writer waits for it again, and says so
    case TakeWait::Stopped:
      return;
  }
  connection.hostHasTaken = true;
  Sleep(kHostCopyGraceMs);
  connection.settled = true;
}

CIpcSender::Delivery CIpcSender::SendTo(const std::string& target, const std::string& payload) {
  // A failed write: the host may have replaced its channel; reopen once,
  // then give up.
  for (int attempt = 0; attempt < 2; ++attempt) {
    HostConnection* connection = FindLiveConnection(target);
    if (connection == nullptr) return Delivery::Unopened;
    {
      TurnGuard turn(connection->writers);
      TakeTurn(target, *connection);
      if (!WaitUntilTaken(target, *connection)) return Delivery::ShutdownDue;
      if (connection->endpoint.Write(payload)) {
        if (connection->endpoint.serverEvent.handle != nullptr) SetEvent(connection->endpoint.serverEvent.handle);
        connection->announced = true;
        connection->announcedAtMs = nbase::SteadyNowMs();
        connection->settled = false;
        // Right away, not after the wait: a host that ends meanwhile must
        // still be found, or its channel would be kept and written into.
        if (!connection->hostLookupDone) WatchHost(target, *connection);
        WaitUntilCopied(*connection);
      } else {
        connection = nullptr;
      }
    }
    if (connection != nullptr) return Delivery::Done;
    if (attempt == 0) Disconnect(target);
  }
  SdkLog(L"IpcSender: a message of %u bytes for %ls could not be written and was dropped",
         static_cast<unsigned>(payload.size()), Wide(target).c_str());
  return Delivery::Done;
}

void CIpcSender::Init() {
  if (firstTarget_.empty()) return;
  try {
    Connect(firstTarget_);
  } catch (...) {
    // Out of memory: the first send opens the channel itself.
  }
}

bool CIpcSender::Connect(const std::string& target) {
  HostConnection connection;
  connection.endpoint = ShmEndpoint::Open(target.c_str(), &openRefusal_);
  if (connection.endpoint.status != ShmStatus::Ok) {
    // The failed open's own error: its clean-up only closes handles, which
    // leaves the thread's last error alone. Only kept: a host that is
    // restarting fails every retry, and the text is needed only for a line.
    openStatus_ = connection.endpoint.status;
    openError_ = GetLastError();
    return false;
  }
  // The turns taken with the other games' senders on this channel.
  if (!connection.writers.Open(target.c_str()) && FirstLockNote(target, kLockUnusable)) {
    SdkLog(L"IpcSender: host channel %ls: the writers' lock %ls cannot be used (%ls); messages go out without "
           L"taking turns with other games on this channel",
           Wide(target).c_str(), LockName(target).c_str(),
           DescribeWritersLockFailure(connection.writers.openError).c_str());
  }
  connections_[target] = std::move(connection);
  return true;
}

void CIpcSender::WatchHost(const std::string& target, HostConnection& connection) {
  if (!HasHostLookup(target)) {
    connection.hostLookupDone = true;
    return;
  }
  const uint32_t pid = FindHostProcessId(target, hostWindow_);
  if (pid != 0) connection.process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (connection.process == nullptr) return;  // not found yet: again after the next message
  connection.hostLookupDone = true;
  // Waited on by this thread's own pump between tasks: it lasts as long as
  // the connection, and ReleaseConnection (run by Disconnect and by Cleanup
  // when the sender stops) always ends it. Without it (no loop, or the
  // pump's wait is full) the end is still found before each write.
  nbase::DefaultMessagePump* pump = Pump();
  if (pump == nullptr) return;
  HANDLE process = connection.process;
  try {
    pump->WatchHandle(process, [this, target, process] { OnHostExited(target, process); });
  } catch (...) {
    // Out of memory copying the name: unwatched, found before each write.
  }
}

nbase::DefaultMessagePump* CIpcSender::Pump() const {
  nbase::MessageLoop* loop = message_loop();
  return loop != nullptr ? loop->default_pump() : nullptr;
}

void CIpcSender::OnHostExited(const std::string& target, HANDLE process) {
  auto it = connections_.find(target);
  // Only the connection this watch belongs to; its watch has ended already.
  if (it == connections_.end() || it->second.process != process) return;
  Disconnect(target);
}

void CIpcSender::ReleaseConnection(HostConnection& connection) {
  if (connection.process != nullptr) {
    // The watch ends before the handle is closed (nothing when unwatched).
    if (nbase::DefaultMessagePump* pump = Pump()) pump->StopWatching(connection.process);
    CloseHandle(connection.process);
    connection.process = nullptr;
  }
  if (connection.endpoint.status == ShmStatus::Ok) connection.endpoint.Close();
  connection.writers.Close();
}

void CIpcSender::Disconnect(const std::string& target) {
  auto it = connections_.find(target);
  if (it == connections_.end()) return;
  ReleaseConnection(it->second);
  connections_.erase(it);
}

void CIpcSender::Cleanup() {
  const size_t dropped = TakeAllQueued();
  if (dropped != 0) {
    SdkLog(L"IpcSender: stopped with %u message(s) not delivered%ls; they were dropped", static_cast<unsigned>(dropped),
           WaitingForNote().c_str());
  }
  for (auto& entry : connections_) ReleaseConnection(entry.second);
  connections_.clear();
  if (nbase::FrameworkThreadSlot* slot = nbase::FrameworkThread::CurrentThreadSlot()) slot->quit_flag = true;
}

}  // namespace lumo
