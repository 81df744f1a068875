// FrameworkThread: a thread that owns a MessageLoop. Start returns once the
// loop exists on the new thread (and Init has run there); tasks posted to
// message_loop() then run on that thread, in order, until Stop.
//
// Typical use, a sender thread whose clean-up runs on its own thread:
//
//   class CIpcSender : public nbase::FrameworkThread {
//    public:
//     CIpcSender() : nbase::FrameworkThread("IpcSender") {}
//     ~CIpcSender() override { Stop(); }  // joins before members go
//    protected:
//     void Cleanup() override {
//       // On the sender thread, after its last task, loop still set.
//       if (auto* slot = nbase::FrameworkThread::CurrentThreadSlot()) slot->quit_flag = true;
//     }
//   };
//
//   CIpcSender sender;
//   sender.Start(nbase::LoopType::Default, nullptr);   // owner's thread
//   sender.message_loop()->PostTask(task);             // any thread, until Stop
//   sender.Stop();                                     // owner's thread
//
// Threads: Start, Stop and the destructor on the owning thread, never on the
// framework thread itself (Stop joins it). Both wait with a bound: a thread
// that cannot begin in time (its creator holds the loader lock) is cancelled
// and Start fails; a thread that does not end in time is left running and
// Stop says so: its owner must then keep the object alive until the body has
// returned (Thread::LetGo, with a late step that owns it). The body, Init,
// Cleanup and every task run on the framework thread. Posting through message_loop() is valid
// from a successful Start until Stop; a poster that may race the thread's end
// uses message_loop_proxy(), whose posts fail cleanly once the loop is gone.
//
// Stop lets every task that is already due (and every immediate task posted
// before the loop next becomes idle) run; delayed tasks not yet due are
// destroyed unrun with the loop. A stopped thread can be started again.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "nbase/message_loop.h"
#include "nbase/thread.h"
#include "nbase/weak_callback.h"

namespace nbase {

class MessageDispatcher;
class MessageLoopProxy;
class FrameworkThread;

// Makes the loop of a thread started with LoopType::Custom.
class MessageLoopFactory {
 public:
  virtual ~MessageLoopFactory() = default;
  // A new loop, made on (and becoming current on) the calling thread; the
  // framework thread owns it.
  virtual MessageLoop* CreateLoop() = 0;
};

// One per running framework thread, reachable from that thread through
// FrameworkThread::CurrentThreadSlot().
struct FrameworkThreadSlot {
  FrameworkThread* owner = nullptr;
  // False when the body starts; set once the thread has been asked to quit
  // (by Stop's quit task, and by subclasses' clean-up). The framework does not
  // read it back.
  bool quit_flag = false;
};

class FrameworkThread : public Thread, public virtual SupportWeakCallback {
 public:
  explicit FrameworkThread(const std::string& name = std::string());
  ~FrameworkThread() override;

  // Owning thread. Starts the thread with a loop of `type` (Custom: made by
  // the factory set with set_loop_factory) and returns once the loop exists
  // and Init has run. False if already started, if no thread could be made,
  // or if it did not begin within kThreadStartBoundMs (it is then cancelled
  // and never runs). `dispatcher` is used by UI loops only.
  bool Start(LoopType type = LoopType::Default, MessageDispatcher* dispatcher = nullptr);
  // Owning thread. Asks the loop to quit once the due work is done and waits
  // at most `timeout_ms` for the thread's body to return. True when it has
  // (or nothing ran); false when it still runs: the object must then stay
  // alive, and a later Stop may try again.
  bool Stop(DWORD timeout_ms = kThreadJoinBoundMs);

  // The calling thread's slot, or null on a thread that is not running a
  // framework thread body.
  static FrameworkThreadSlot* CurrentThreadSlot();

  // Valid from a successful Start until the thread has ended.
  MessageLoop* message_loop() const { return message_loop_.load(); }
  // A posting handle for the thread's loop, held from Start until Stop.
  std::shared_ptr<MessageLoopProxy> message_loop_proxy() const { return loop_proxy_; }
  bool running() const { return running_; }
  const std::string& name() const { return name_; }
  LoopType loop_type() const { return loop_type_; }
  // Owning thread, before Start.
  void set_loop_factory(std::shared_ptr<MessageLoopFactory> factory) { loop_factory_ = std::move(factory); }

  // The thread body: makes the loop, runs it until a quit, tears it down.
  void Run() override;

 protected:
  // On the new thread, after the loop exists and before Start returns.
  virtual void Init() {}
  // On the new thread, after the loop's last run and before the loop is
  // destroyed; message_loop() is still set.
  virtual void Cleanup() {}

 private:
  // The quit task, on the framework thread.
  void RequestQuit();

  bool running_ = false;
  bool stopping_ = false;
  LoopType loop_type_ = LoopType::Default;
  std::atomic<MessageLoop*> message_loop_{nullptr};
  std::shared_ptr<MessageLoopFactory> loop_factory_;
  MessageDispatcher* dispatcher_ = nullptr;
  // Set by the body once its loop exists and Init has run.
  std::atomic<bool> started_{false};
  std::string name_;
  // Taken by the body before it signals the start and dropped by Stop after
  // the join, so Stop can post its quit task even if the loop already ended.
  std::shared_ptr<MessageLoopProxy> loop_proxy_;
};

}  // namespace nbase
