#include "nbase/framework_thread.h"

#include "nbase/lazy_tls_slot.h"
#include "nbase/message_loop_proxy.h"
#include "nbase/monotonic_clock.h"

namespace nbase {

namespace {

LazyTlsSlot g_thread_slot;

}  // namespace

FrameworkThread::FrameworkThread(const std::string& name)
    : name_(name) {}

FrameworkThread::~FrameworkThread() {
  // Owners that may meet a thread that does not end stop it themselves, with
  // their own bound, and keep it alive when it does not (see Thread).
  Stop();
  name_.clear();
  loop_factory_.reset();
  // Thread's destructor joins again (nothing left to do); the weak flag goes
  // last, with the virtual base, so the quit task's flag outlives the join.
}

FrameworkThreadSlot* FrameworkThread::CurrentThreadSlot() {
  return static_cast<FrameworkThreadSlot*>(g_thread_slot.Get());
}

bool FrameworkThread::Start(LoopType type, MessageDispatcher* dispatcher) {
  if (running_ || thread_id() != 0 || message_loop() != nullptr) return false;
  started_.store(false);
  loop_type_ = type;
  dispatcher_ = dispatcher;
  if (!Create()) return false;
  if (!WaitUntil(started_, kThreadStartBoundMs)) {
    // Not begun: the creator holds the loader lock, or the system is starved.
    if (CancelIfNotStarted()) return false;
    // It began at the last moment; making the loop takes no time.
    WaitUntil(started_, kThreadStartBoundMs);
  }
  running_ = true;  // from here on Stop has a thread to end
  return started_.load();
}

void FrameworkThread::Run() {
  auto* slot = CurrentThreadSlot();
  if (!slot) {
    slot = new FrameworkThreadSlot;
    slot->owner = this;
    g_thread_slot.Set(slot);
  }
  slot->quit_flag = false;
  thread_id_.store(GetCurrentThreadId());

  // The clock's first reading looks its timer up (it loads a system DLL):
  // here, on a thread of ours that holds no lock, rather than later under a
  // lock of a caller that posts a delayed task.
  MonotonicNow();

  MessageLoop* loop = nullptr;
  switch (loop_type_) {
    case LoopType::Custom: loop = loop_factory_->CreateLoop(); break;
    case LoopType::IO: loop = new IOMessageLoop; break;
    case LoopType::UI: loop = new UIMessageLoop; break;
    default: loop = new MessageLoop; break;
  }
  message_loop_.store(loop);
  loop_proxy_ = loop->message_loop_proxy();

  Init();
  started_.store(true);

  loop->Run(dispatcher_);

  Cleanup();

  delete loop;
  if (loop_type_ == LoopType::Custom) loop_factory_.reset();
  message_loop_.store(nullptr);
  thread_id_.store(0);

  g_thread_slot.Set(nullptr);
  delete slot;
}

bool FrameworkThread::Stop(DWORD timeout_ms) {
  if (!running_) return true;
  if (!stopping_ && loop_proxy_) {
    stopping_ = true;
    // Through the proxy: if the loop has already ended by itself the post
    // fails instead of reaching a destroyed loop.
    loop_proxy_->PostNonNestableTask(MakeWeakCallback(this, &FrameworkThread::RequestQuit));
  }
  if (!Join(timeout_ms)) return false;
  loop_proxy_.reset();
  running_ = false;
  stopping_ = false;
  return true;
}

void FrameworkThread::RequestQuit() {
  // The thread's own loop, not the thread-local lookup: that one is empty
  // when no TLS index could be had, and Stop would then wait forever.
  if (MessageLoop* loop = message_loop()) loop->QuitWhenIdle();
  if (FrameworkThreadSlot* slot = CurrentThreadSlot()) slot->quit_flag = true;
}

}  // namespace nbase
