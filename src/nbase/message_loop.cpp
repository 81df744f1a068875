#include "nbase/message_loop.h"

#include <algorithm>
#include <utility>

#include "nbase/default_message_pump.h"
#include "nbase/lazy_tls_slot.h"
#include "nbase/message_loop_proxy.h"
#include "nbase/monotonic_clock.h"
#include "nbase/win_io_message_pump.h"
#include "nbase/win_ui_message_pump.h"

namespace nbase {

namespace {

LazyTlsSlot g_current_loop;

// Heap order for delayed_tasks_: "a after b" puts the earliest run time, then
// the lowest sequence, at the front. Sequences compare as signed numbers.
bool RunsAfter(const QueuedTask& a, const QueuedTask& b) {
  if (a.run_time != b.run_time) return a.run_time > b.run_time;
  return a.sequence > b.sequence;
}

// A bound on destruction passes: tasks whose destructors post new tasks are
// discarded too, but a task that re-posts itself forever cannot hang the
// thread.
constexpr int kMaxDiscardPasses = 100;

}  // namespace

MessageLoop::MessageLoop() : pump_(std::make_shared<DefaultMessagePump>()) {
  InitializeCriticalSectionAndSpinCount(&incoming_lock_, 2000);
  g_current_loop.Set(this);
  proxy_ = MessageLoopProxy::Create(this);
  proxy_raw_ = proxy_.get();
}

MessageLoop::~MessageLoop() {
  for (int pass = 0; pass < kMaxDiscardPasses; ++pass) {
    DiscardPendingTasks();
    RefillReadyQueue();
    if (!DiscardPendingTasks()) break;
  }
  destruction_observers_.Notify([](DestructionObserver* o) { o->OnLoopDestroying(); });

  proxy_raw_->DetachLoop();
  proxy_raw_ = nullptr;
  proxy_.reset();

  g_current_loop.Set(nullptr);

  // Whatever is still queued (posted by observers or by the proxy's release)
  // is destroyed unrun, before the lock it may have been queued under.
  ready_tasks_.clear();
  deferred_tasks_.clear();
  delayed_tasks_.clear();
  EnterCriticalSection(&incoming_lock_);
  TaskQueue incoming;
  incoming.swap(incoming_tasks_);
  LeaveCriticalSection(&incoming_lock_);
  incoming.clear();
  DeleteCriticalSection(&incoming_lock_);
}

DefaultMessagePump* MessageLoop::default_pump() const {
  // A derived loop may have replaced the pump and still call itself Default.
  return type_ == LoopType::Default ? dynamic_cast<DefaultMessagePump*>(pump_.get()) : nullptr;
}

MessageLoop* MessageLoop::Current() { return static_cast<MessageLoop*>(g_current_loop.Get()); }

void MessageLoop::ReplacePump(std::shared_ptr<MessagePump> pump, LoopType type) {
  pump_ = std::move(pump);
  type_ = type;
}

void MessageLoop::PostTask(Task task) {
  QueuedTask record{0, 0, true, std::move(task)};
  AddIncomingTask(&record);
}

void MessageLoop::PostNonNestableTask(Task task) {
  QueuedTask record{0, 0, false, std::move(task)};
  AddIncomingTask(&record);
}

void MessageLoop::PostDelayedTask(Task task, int64_t delay_us) {
  if (delay_us == 0) return PostTask(std::move(task));
  QueuedTask record{MonotonicNow() + delay_us, 0, true, std::move(task)};
  AddIncomingTask(&record);
}

void MessageLoop::PostNonNestableDelayedTask(Task task, int64_t delay_us) {
  if (delay_us == 0) return PostNonNestableTask(std::move(task));
  QueuedTask record{MonotonicNow() + delay_us, 0, false, std::move(task)};
  AddIncomingTask(&record);
}

void MessageLoop::AddIncomingTask(QueuedTask* task) {
  EnterCriticalSection(&incoming_lock_);
  const bool was_empty = incoming_tasks_.empty();
  incoming_tasks_.push_back(std::move(*task));
  if (!was_empty) {
    // The loop has not taken the queue since the post that found it empty,
    // so that post's wake-up is still on its way.
    LeaveCriticalSection(&incoming_lock_);
    return;
  }
  // The shared reference keeps the pump alive if the loop thread destroys the
  // loop the moment the lock is left; waking outside the lock keeps the lock
  // hold to an append.
  std::shared_ptr<MessagePump> pump = pump_;
  LeaveCriticalSection(&incoming_lock_);
  pump->WakeUp();
}

void MessageLoop::RefillReadyQueue() {
  if (!ready_tasks_.empty()) return;
  EnterCriticalSection(&incoming_lock_);
  if (!incoming_tasks_.empty()) incoming_tasks_.swap(ready_tasks_);
  LeaveCriticalSection(&incoming_lock_);
}

int32_t MessageLoop::PushDelayed(QueuedTask&& task) {
  const int32_t sequence = next_sequence_;
  // Wraps as a 32-bit number without signed overflow.
  next_sequence_ = static_cast<int32_t>(static_cast<uint32_t>(next_sequence_) + 1u);
  task.sequence = sequence;
  delayed_tasks_.push_back(std::move(task));
  std::push_heap(delayed_tasks_.begin(), delayed_tasks_.end(), RunsAfter);
  return sequence;
}

QueuedTask MessageLoop::PopDelayed() {
  std::pop_heap(delayed_tasks_.begin(), delayed_tasks_.end(), RunsAfter);
  QueuedTask top = std::move(delayed_tasks_.back());
  delayed_tasks_.pop_back();
  return top;
}

bool MessageLoop::ProcessWork() {
  if (!tasks_allowed_) return false;
  RefillReadyQueue();
  if (ready_tasks_.empty()) return false;
  for (;;) {
    QueuedTask task = ready_tasks_.pop_front();
    if (task.run_time != 0) {
      const int32_t sequence = PushDelayed(std::move(task));
      if (delayed_tasks_.front().sequence == sequence) pump_->SetWakeUpTime(delayed_tasks_.front().run_time);
    } else if (task.nestable || AtOutermostLevel()) {
      RunQueuedTask(task);
      return true;
    } else {
      deferred_tasks_.push_back(std::move(task));
    }
    if (ready_tasks_.empty()) {
      RefillReadyQueue();
      if (ready_tasks_.empty()) return false;
    }
  }
}

bool MessageLoop::ProcessDelayedWork(int64_t* next_run_time) {
  if (!tasks_allowed_ || delayed_tasks_.empty()) {
    cached_now_ = 0;
    *next_run_time = 0;
    return false;
  }
  const int64_t top_time = delayed_tasks_.front().run_time;
  if (top_time > cached_now_) {
    // Only read the clock when the cached reading says "not yet": a burst of
    // due tasks then costs a single reading.
    cached_now_ = MonotonicNow();
    if (top_time > cached_now_) {
      *next_run_time = top_time;
      return false;
    }
  }
  QueuedTask task = PopDelayed();
  if (!delayed_tasks_.empty()) *next_run_time = delayed_tasks_.front().run_time;
  if (task.nestable || AtOutermostLevel()) {
    RunQueuedTask(task);
    return true;
  }
  deferred_tasks_.push_back(std::move(task));
  return false;
}

bool MessageLoop::ProcessIdle() {
  if (AtOutermostLevel() && !deferred_tasks_.empty()) {
    QueuedTask task = deferred_tasks_.pop_front();
    RunQueuedTask(task);
    return true;
  }
  if (run_state_ && run_state_->quit_requested) pump_->Quit();
  return false;
}

// `queued` has already left its queue (it is the caller's local), so whatever
// the task does to the queues, nested runs included, cannot touch the
// callable being invoked.
void MessageLoop::RunQueuedTask(QueuedTask& queued) {
  tasks_allowed_ = false;
  task_observers_.Notify([](TaskObserver* o) { o->WillRunTask(); });
  if (queued.task) queued.task();
  task_observers_.Notify([](TaskObserver* o) { o->DidRunTask(); });
  tasks_allowed_ = true;
}

void MessageLoop::Run(MessageDispatcher* dispatcher) {
  LoopRunState state;
  state.depth = run_state_ ? run_state_->depth + 1 : 1;
  state.dispatcher = dispatcher;
  LoopRunState* const previous = run_state_;
  run_state_ = &state;
  if (dispatcher && type_ == LoopType::UI) {
    static_cast<WinUIMessagePump*>(pump_.get())->RunWithDispatcher(this, dispatcher);
  } else {
    pump_->Run(this);
  }
  run_state_ = previous;
}

void MessageLoop::QuitWhenIdle() {
  if (run_state_) run_state_->quit_requested = true;
}

bool MessageLoop::DiscardPendingTasks() {
  while (!ready_tasks_.empty()) {
    QueuedTask task = ready_tasks_.pop_front();
    // Delayed ones go through the heap so they are destroyed in run order.
    if (task.run_time != 0) PushDelayed(std::move(task));
  }
  deferred_tasks_.clear();
  const bool had_delayed = !delayed_tasks_.empty();
  while (!delayed_tasks_.empty()) PopDelayed();
  return had_delayed;
}

UIMessageLoop::UIMessageLoop() { ReplacePump(std::make_shared<WinUIMessagePump>(), LoopType::UI); }

WinUIMessagePump* UIMessageLoop::ui_pump() const { return static_cast<WinUIMessagePump*>(pump()); }

IOMessageLoop::IOMessageLoop() { ReplacePump(std::make_shared<WinIOMessagePump>(), LoopType::IO); }

WinIOMessagePump* IOMessageLoop::io_pump() const { return static_cast<WinIOMessagePump*>(pump()); }

}  // namespace nbase
