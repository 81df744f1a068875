#include "ipc/ipc_sender.h"

#include <utility>

#include "ipc/host_process.h"

namespace lumo {

CIpcSender::CIpcSender() : nbase::FrameworkThread("IpcSender") {
  InitializeCriticalSectionAndSpinCount(&postLock_, 2000);
}

CIpcSender::~CIpcSender() {
  Stop();
  // Cleanup closed every handle; anything left is only freed.
  connections_.clear();
  DeleteCriticalSection(&postLock_);
}

void CIpcSender::Post(const nbase::Task& task) {
  // The guard check and the post are one step against ShutPosts: a game
  // thread sending while another thread shuts the channel down either gets
  // its message queued before the stop, or dropped.
  PostLockScope hold(&postLock_);
  if (postGuard && !postGuard()) return;
  if (nbase::MessageLoop* loop = message_loop()) loop->PostTask(task);
}

void CIpcSender::SendTo(const std::string& target, const std::string& payload) {
  auto it = connections_.find(target);
  if (it == connections_.end()) {
    if (!Connect(target)) return;
    it = connections_.find(target);
    if (it == connections_.end()) return;
  }
  if (!it->second.endpoint.Write(payload)) {
    // The host may have replaced its channel: reopen once, then give up.
    Disconnect(target);
    if (!Connect(target)) return;
    it = connections_.find(target);
    if (it == connections_.end()) return;
    if (!it->second.endpoint.Write(payload)) return;
  }
  if (it->second.endpoint.serverEvent.handle != nullptr) SetEvent(it->second.endpoint.serverEvent.handle);
}

bool CIpcSender::Connect(const std::string& target) {
  HostConnection connection;
  connection.endpoint = ShmEndpoint::Open(target.c_str());
  if (connection.endpoint.status != ShmStatus::Ok) return false;

  const uint32_t pid = FindHostProcessId(target);
  if (pid != 0) connection.process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (connection.process != nullptr) {
    connection.watch.reset(new HostExitWatch{this, target});
    if (!RegisterWaitForSingleObject(&connection.wait, connection.process, &CIpcSender::OnHostProcessExit,
                                     connection.watch.get(), INFINITE, WT_EXECUTEONLYONCE)) {
      connection.wait = nullptr;
      connection.watch.reset();
    }
  }
  connections_[target] = std::move(connection);
  return true;
}

void CIpcSender::ReleaseConnection(HostConnection& connection) {
  if (connection.wait != nullptr) {
    // Returns only once a callback that is already running has finished.
    UnregisterWaitEx(connection.wait, INVALID_HANDLE_VALUE);
    connection.wait = nullptr;
  }
  connection.watch.reset();
  if (connection.process != nullptr) {
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
  for (auto& entry : connections_) ReleaseConnection(entry.second);
  connections_.clear();
  if (nbase::FrameworkThreadSlot* slot = nbase::FrameworkThread::CurrentThreadSlot()) slot->quit_flag = true;
}

void CALLBACK CIpcSender::OnHostProcessExit(void* context, BOOLEAN /*timedOut*/) {
  auto* watch = static_cast<HostExitWatch*>(context);
  if (watch == nullptr || watch->sender == nullptr) return;
  CIpcSender* sender = watch->sender;
  if (sender->postGuard && !sender->postGuard()) return;
  try {
    std::string name = watch->channelName;
    sender->Post([sender, name] { sender->Disconnect(name); });
  } catch (...) {
    // Out of memory on a thread-pool thread: the connection is then dropped
    // by the next failed write instead.
  }
}

}  // namespace lumo
