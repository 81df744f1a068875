#include "ipc/ipc_sender.h"

#include <utility>

#include "diag/log.h"
#include "diag/text_convert.h"
#include "ipc/host_process.h"
#include "ipc/integrity_level.h"
#include "ipc/reader_take.h"
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

std::wstring Wide(const std::string& utf8) { return Utf8ToWide(utf8.c_str(), static_cast<int>(utf8.size())); }

}  // namespace

CIpcSender::CIpcSender() : nbase::FrameworkThread("IpcSender") {}

CIpcSender::~CIpcSender() {
  Stop();
  // Cleanup closed every handle; anything left is only freed.
  connections_.clear();
}

bool CIpcSender::StartSending() {
  if (!Start(nbase::LoopType::Default, nullptr)) return false;
  wakeProxy_ = message_loop_proxy();
  return wakeProxy_ != nullptr;
}

SendResult CIpcSender::Queue(std::string target, std::string payload) {
  bool wake = false;
  {
    // The guard check and the queueing are one step against ShutPosts: a
    // game thread sending while another thread shuts the channel down either
    // gets its message queued before the stop, or refused.
    nbase::AutoLock hold(postLock_);
    if (postGuard && !postGuard()) return SendResult::Closed;
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
      nbase::AutoLock hold(postLock_);
      drainScheduled_ = false;
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
    bool written = false;
    try {
      written = SendTo(message.target, message.payload);
    } catch (...) {
      // Out of memory on the sender thread: this message is lost, the game
      // goes on.
      SdkLog(L"IpcSender: a message for %ls was dropped: out of memory", Wide(message.target).c_str());
      continue;
    }
    if (written) {
      waitingFor_.clear();
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
    text += L"; " + HigherIntegrityHint(ProcessIntegrityLevel(FindHostProcessId(target, hostWindow_)),
                                        OwnIntegrityLevel());
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

void CIpcSender::WaitUntilTaken(const std::string& target, HostConnection& connection) {
  if (!connection.announced) return;
  const uint64_t boundMs = connection.hostHasTaken ? kHostTakeTimeoutMs : kHostFirstTakeTimeoutMs;
  switch (WaitForReaderToTake(connection.endpoint.serverEvent.handle, boundMs, 1, [this] { return PastDeadline(); })) {
    case TakeWait::Taken:
    case TakeWait::Unknown:  // nothing to read progress from: the grace alone
      break;
    case TakeWait::TimedOut:
      SdkLog(L"IpcSender: host channel %ls did not take the previous message within %u ms; it may be overwritten",
             Wide(target).c_str(), static_cast<unsigned>(boundMs));
      return;
    case TakeWait::Stopped:
      return;
  }
  connection.hostHasTaken = true;
  if (nbase::SteadyNowMs() - connection.announcedAtMs < kSettledMs) Sleep(kHostCopyGraceMs);
}

bool CIpcSender::SendTo(const std::string& target, const std::string& payload) {
  HostConnection* connection = FindLiveConnection(target);
  if (connection == nullptr) return false;
  WaitUntilTaken(target, *connection);
  if (!connection->endpoint.Write(payload)) {
    // The host may have replaced its channel: reopen once, then give up.
    Disconnect(target);
    connection = FindLiveConnection(target);
    if (connection == nullptr) return false;
    if (!connection->endpoint.Write(payload)) {
      SdkLog(L"IpcSender: a message of %u bytes for %ls could not be written and was dropped",
             static_cast<unsigned>(payload.size()), Wide(target).c_str());
      return true;
    }
  }
  if (connection->endpoint.serverEvent.handle != nullptr) SetEvent(connection->endpoint.serverEvent.handle);
  connection->announced = true;
  connection->announcedAtMs = nbase::SteadyNowMs();
  if (!connection->watchSetUp) WatchHost(target, *connection);
  return true;
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
  connections_[target] = std::move(connection);
  return true;
}

void CIpcSender::WatchHost(const std::string& target, HostConnection& connection) {
  if (!HasHostLookup(target)) {
    connection.watchSetUp = true;
    return;
  }
  const uint32_t pid = FindHostProcessId(target, hostWindow_);
  if (pid != 0) connection.process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (connection.process == nullptr) return;  // not found yet: again after the next message
  connection.watchSetUp = true;
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
