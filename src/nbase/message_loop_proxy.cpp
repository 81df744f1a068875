#include "nbase/message_loop_proxy.h"

#include <utility>

#include "nbase/message_loop.h"
#include "nbase/monotonic_clock.h"

namespace nbase {

std::shared_ptr<MessageLoopProxy> MessageLoopProxy::Create(MessageLoop* loop) {
  return std::shared_ptr<MessageLoopProxy>(new MessageLoopProxy(loop), &MessageLoopProxy::ReleaseProxy);
}

void MessageLoopProxy::ReleaseProxy(MessageLoopProxy* proxy) { proxy->OnLastReference(); }

MessageLoopProxy::MessageLoopProxy(MessageLoop* loop) : target_loop_(loop) {
  InitializeCriticalSectionAndSpinCount(&loop_lock_, 2000);
}

MessageLoopProxy::~MessageLoopProxy() { DeleteCriticalSection(&loop_lock_); }

bool MessageLoopProxy::PostTask(Task task) { return PostInternal(std::move(task), 0, true); }

bool MessageLoopProxy::PostDelayedTask(Task task, int64_t delay_us) {
  return PostInternal(std::move(task), delay_us, true);
}

bool MessageLoopProxy::PostNonNestableTask(Task task) { return PostInternal(std::move(task), 0, false); }

bool MessageLoopProxy::PostNonNestableDelayedTask(Task task, int64_t delay_us) {
  return PostInternal(std::move(task), delay_us, false);
}

bool MessageLoopProxy::PostInternal(Task&& task, int64_t delay_us, bool nestable) {
  // Held across the whole hand-over: the loop's destructor cannot get past
  // DetachLoop, and so cannot free the loop, while a post is in progress.
  EnterCriticalSection(&loop_lock_);
  MessageLoop* const loop = target_loop_;
  if (!loop) {
    LeaveCriticalSection(&loop_lock_);
    return false;
  }
  if (delay_us != 0) {
    QueuedTask record;
    record.run_time = MonotonicNow() + delay_us;
    record.nestable = nestable;
    record.task = std::move(task);
    loop->AddIncomingTask(&record);
  } else if (nestable) {
    loop->PostTask(std::move(task));
  } else {
    loop->PostNonNestableTask(std::move(task));
  }
  LeaveCriticalSection(&loop_lock_);
  return true;
}

bool MessageLoopProxy::RunsOnCurrentThread() {
  EnterCriticalSection(&loop_lock_);
  const bool result = target_loop_ && target_loop_ == MessageLoop::Current();
  LeaveCriticalSection(&loop_lock_);
  return result;
}

void MessageLoopProxy::DetachLoop() {
  EnterCriticalSection(&loop_lock_);
  target_loop_ = nullptr;
  LeaveCriticalSection(&loop_lock_);
}

void MessageLoopProxy::OnLastReference() {
  bool handed_over = false;
  EnterCriticalSection(&loop_lock_);
  if (target_loop_ && target_loop_ != MessageLoop::Current()) {
    QueuedTask record;
    record.nestable = false;
    record.task = MakeWeakCallback(this, &MessageLoopProxy::DeleteSelf);
    target_loop_->AddIncomingTask(&record);
    handed_over = true;
  }
  LeaveCriticalSection(&loop_lock_);
  if (!handed_over) delete this;
}

void MessageLoopProxy::DeleteSelf() { delete this; }

}  // namespace nbase
