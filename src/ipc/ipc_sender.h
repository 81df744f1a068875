// CIpcSender: the "IpcSender" framework thread that delivers outgoing
// messages into host channels.
//
// Threads: Post may be called from any thread. SendTo, Connect, Disconnect
// and Cleanup run only on the sender thread, which alone touches the
// connection table and the host endpoints (so they need no lock). The
// host-exit callback runs on a thread-pool thread and only posts.
// Ownership: held by value inside CIPCChannel; owns its connections, their
// endpoints, process handles, waits and wait contexts.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ipc/shm_endpoint.h"
#include "nbase/framework_thread.h"

namespace lumo {

class CIpcSender;

// Context of the thread-pool wait on a host process.
struct HostExitWatch {
  CIpcSender* sender;
  std::string channelName;
};

// One open host channel.
struct HostConnection {
  ShmEndpoint endpoint{};          // client side; status 0 while stored
  HANDLE process = nullptr;        // the host process (SYNCHRONIZE), or null
  HANDLE wait = nullptr;           // thread-pool wait on `process`, or null
  // The wait's context. Owned here rather than by the callback, so that a
  // wait unregistered before it fired does not leak it; it is freed only
  // after UnregisterWaitEx has returned, when no callback can still use it.
  std::unique_ptr<HostExitWatch> watch;
};

class CIpcSender : public nbase::FrameworkThread {
 public:
  CIpcSender();
  ~CIpcSender() override;

  // Asked before every post; set by the owning channel. Any thread.
  std::function<bool()> postGuard;

  // Queues `task` on the sender thread, or drops it when the guard refuses
  // or the thread has no loop. Any thread.
  void Post(const nbase::Task& task);

  // Runs `shut` (which makes the guard refuse) while no post is between its
  // guard check and its queueing, so no post can reach a loop that the
  // following Stop destroys. Any thread but the sender thread.
  template <typename Shut>
  void ShutPosts(Shut&& shut) {
    PostLockScope hold(&postLock_);
    shut();
  }

  // Writes `payload` into the host channel `target` and signals it, opening
  // the channel on first use and reopening it once after a failed write.
  // Failures drop the message. Sender thread only.
  void SendTo(const std::string& target, const std::string& payload);

  // Thread-pool callback of a host-process wait.
  static void CALLBACK OnHostProcessExit(void* context, BOOLEAN timedOut);

 protected:
  // Drops every host connection; runs on the sender thread after its last task.
  void Cleanup() override;

 private:
  bool Connect(const std::string& target);
  void Disconnect(const std::string& target);
  static void ReleaseConnection(HostConnection& connection);

  // Holds the post lock for a scope, also when a post throws.
  struct PostLockScope {
    explicit PostLockScope(CRITICAL_SECTION* lock) : lock_(lock) { EnterCriticalSection(lock_); }
    ~PostLockScope() { LeaveCriticalSection(lock_); }
    PostLockScope(const PostLockScope&) = delete;
    PostLockScope& operator=(const PostLockScope&) = delete;
    CRITICAL_SECTION* lock_;
  };

  std::map<std::string, HostConnection> connections_;
  CRITICAL_SECTION postLock_;
};

}  // namespace lumo
