// MessageLoopProxy: a reference-counted posting handle for one MessageLoop
// that outlives it. Posting after the loop has gone returns false instead of
// touching a destroyed loop.
//
// Every loop makes its proxy in its constructor and detaches it in its
// destructor; anyone may keep further shares (MessageLoop::message_loop_proxy).
// The shares' deleter does not delete: it calls OnLastReference, which
// destroys the proxy on its loop's thread while the loop is attached, and at
// once otherwise.
//
// Threads: the posting operations and RunsOnCurrentThread from any thread;
// DetachLoop from the loop's destructor only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "nbase/task.h"
#include "nbase/weak_callback.h"

namespace nbase {

class MessageLoop;

class MessageLoopProxy : public SupportWeakCallback {
 public:
  ~MessageLoopProxy() override;
  MessageLoopProxy(const MessageLoopProxy&) = delete;
  MessageLoopProxy& operator=(const MessageLoopProxy&) = delete;

  // True when the task was handed to the loop, false when the loop has gone
  // (the task is dropped unrun). Delays are in microseconds; a delay of 0 is
  // an ordinary post, a negative one is already due. The task is moved
  // through to the loop's queue, never copied.
  virtual bool PostTask(Task task);
  virtual bool PostDelayedTask(Task task, int64_t delay_us);
  virtual bool PostNonNestableTask(Task task);
  virtual bool PostNonNestableDelayedTask(Task task, int64_t delay_us);
  // True if the loop is attached and current on the calling thread.
  virtual bool RunsOnCurrentThread();
  // Called by the loop's destructor: every later post fails.
  virtual void DetachLoop();
  // Called when the last share goes (see the file comment).
  virtual void OnLastReference();

 private:
  friend class MessageLoop;

  // Made by the MessageLoop constructor only, with `loop` as its target.
  static std::shared_ptr<MessageLoopProxy> Create(MessageLoop* loop);
  static void ReleaseProxy(MessageLoopProxy* proxy);

  explicit MessageLoopProxy(MessageLoop* loop);
  bool PostInternal(Task&& task, int64_t delay_us, bool nestable);
  void DeleteSelf();

  CRITICAL_SECTION loop_lock_;
  MessageLoop* target_loop_ = nullptr;
};

}  // namespace nbase
