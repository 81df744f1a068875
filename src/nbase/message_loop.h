// MessageLoop: runs, one at a time and in a fixed order, the tasks that any
// thread posts to it, on the one thread that made it.
//
// Threads: the constructor makes the loop current on the calling thread, and
// that thread must run it (Run) and destroy it. PostTask and its variants and
// AddIncomingTask may be called from any thread while the loop exists; every
// other operation belongs to the loop's thread. To post from a thread that
// cannot know whether the loop still exists, use message_loop_proxy().
//
// Ownership: the loop owns its pump (shared with posters that are waking it)
// and holds one share of its proxy, which it detaches when destroyed. Tasks
// still queued when the loop is destroyed are destroyed unrun.
//
// Tasks must not throw.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "nbase/message_pump.h"
#include "nbase/observer_list.h"
#include "nbase/task.h"
#include "nbase/task_queue.h"

namespace nbase {

class DefaultMessagePump;
class MessageDispatcher;
class MessageLoopProxy;
class WinUIMessagePump;
class WinIOMessagePump;

// Which pump a loop waits with. Custom is used only by FrameworkThread, for a
// loop made by its MessageLoopFactory.
enum class LoopType : int32_t { Default = 0, UI = 1, IO = 2, Custom = 3 };

// Told around every task the loop runs, empty ones included.
class TaskObserver {
 public:
  virtual void WillRunTask() = 0;
  virtual void DidRunTask() = 0;

 protected:
  ~TaskObserver() = default;
};

// Told once, while the loop is being destroyed and after its tasks are gone.
class DestructionObserver {
 public:
  virtual void OnLoopDestroying() = 0;

 protected:
  ~DestructionObserver() = default;
};

// One active Run of a loop; lives on the running thread's stack.
struct LoopRunState {
  int32_t depth = 1;
  bool quit_requested = false;
  MessageDispatcher* dispatcher = nullptr;
};

class MessageLoop : public MessagePump::Delegate {
 public:
  static constexpr size_t kCacheLine = 64;

  // A loop of type Default, waiting on an event.
  MessageLoop();
  ~MessageLoop() override;
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // The calling thread's current loop, or null.
  static MessageLoop* Current();

  // Any thread. Queues `task` to run as soon as the loop gets to it. Tasks
  // are taken by value: pass a temporary (or std::move) to spare a copy.
  void PostTask(Task task);
  // Any thread. Like PostTask, but the task runs only at the outermost level
  // of the loop; inside a nested run it waits until the loop is back out.
  void PostNonNestableTask(Task task);
  // Any thread. Runs `task` no earlier than `delay_us` microseconds from now
  // (one-millisecond resolution). A zero delay is an ordinary post; a negative
  // one is already due.
  void PostDelayedTask(Task task, int64_t delay_us);
  void PostNonNestableDelayedTask(Task task, int64_t delay_us);

  // Any thread. The single entry by which every post reaches the loop; takes
  // over the record's contents (the caller's record is left unspecified).
  virtual void AddIncomingTask(QueuedTask* task);

  // Loop thread. Runs until a quit. `dispatcher` is used by UI loops only
  // (every window message then goes to it instead of being dispatched).
  // May be called from inside a task or a window procedure to run nested.
  void Run(MessageDispatcher* dispatcher = nullptr);

  // Loop thread, while running. The current run returns once the loop is
  // idle: every ready and due task still runs first; delayed tasks that are
  // not yet due do not hold it back.
  void QuitWhenIdle();

  LoopType type() const { return type_; }
  // Loop thread. The pump of a Default loop, for what only that pump does
  // (watching handles); null for a loop of another type.
  DefaultMessagePump* default_pump() const;
  // The run depth: 0 when not running, 1 for the outermost run.
  int32_t run_depth() const { return run_state_ ? run_state_->depth : 0; }
  // A posting handle that outlives the loop. Any thread while the loop exists.
  std::shared_ptr<MessageLoopProxy> message_loop_proxy() const { return proxy_; }

  // Loop thread. Observers are not owned and must outlive their registration.
  void AddTaskObserver(TaskObserver* observer) { task_observers_.AddObserver(observer); }
  void RemoveTaskObserver(TaskObserver* observer) { task_observers_.RemoveObserver(observer); }
  void AddDestructionObserver(DestructionObserver* observer) {
    destruction_observers_.AddObserver(observer);
  }
  void RemoveDestructionObserver(DestructionObserver* observer) {
    destruction_observers_.RemoveObserver(observer);
  }

  // MessagePump::Delegate; called only by the pump, on the loop's thread.
  bool ProcessWork() override;
  bool ProcessDelayedWork(int64_t* next_run_time) override;
  bool ProcessIdle() override;

 protected:
  // For loops that wait with another pump: replaces the default pump, which
  // is destroyed. Call from the derived constructor only.
  void ReplacePump(std::shared_ptr<MessagePump> pump, LoopType type);
  MessagePump* pump() const { return pump_.get(); }

 private:
  void RefillReadyQueue();
  // Returns the sequence number the task got.
  int32_t PushDelayed(QueuedTask&& task);
  QueuedTask PopDelayed();
  void RunQueuedTask(QueuedTask& task);
  bool DiscardPendingTasks();
  bool AtOutermostLevel() const { return !run_state_ || run_state_->depth == 1; }

  // Declared first so it is destroyed last, after every queue.
  std::shared_ptr<MessagePump> pump_;
  LoopType type_ = LoopType::Default;

  // What posting threads write, on cache lines of its own: sharing a line
  // with the loop thread's per-task state would make every post fight the
  // running loop for that line.
  alignas(kCacheLine) CRITICAL_SECTION incoming_lock_;  // guards incoming_tasks_ only
  TaskQueue incoming_tasks_;

  // From here on: the loop's thread only.
  alignas(kCacheLine) LoopRunState* run_state_ = nullptr;
  bool tasks_allowed_ = true;
  TaskQueue ready_tasks_;
  TaskQueue deferred_tasks_;
  // A heap: front is the smallest run_time, then the smallest sequence.
  std::vector<QueuedTask> delayed_tasks_;
  int32_t next_sequence_ = 0;
  int64_t cached_now_ = 0;

  ObserverList<TaskObserver> task_observers_;
  ObserverList<DestructionObserver> destruction_observers_;

  std::shared_ptr<MessageLoopProxy> proxy_;
  MessageLoopProxy* proxy_raw_ = nullptr;
};

// A loop that services the thread's window messages between tasks.
class UIMessageLoop : public MessageLoop {
 public:
  UIMessageLoop();
  WinUIMessagePump* ui_pump() const;
};

// A loop that waits on an IO completion port between tasks.
class IOMessageLoop : public MessageLoop {
 public:
  IOMessageLoop();
  WinIOMessagePump* io_pump() const;
};

}  // namespace nbase
