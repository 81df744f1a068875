// The cross-thread task queues the benchmark compares, and the two
// measurements (bulk and sparse) run on each. Every queue runs its tasks on a
// thread of its own; Post is called from the benchmark's thread.
//
// Every wait of the harness has a bound. A measurement whose tasks do not
// all run within it reports failure instead of a figure, and a queue whose
// thread does not end within Stop's bound is never destroyed: its thread
// still runs on the queue's memory and ends with the process.
#pragma once

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "nbase/thread.h"

namespace bench {

// How long one measurement (all the tasks of a bulk run, one sparse sample)
// may take before its queue is given up, and how long a queue's thread may
// take to end once told to. Asio's completion-port queue takes over two
// minutes for a million posts under Wine on a busy machine.
constexpr DWORD kMeasureBoundMs = 300000;
constexpr DWORD kStopBoundMs = 5000;

// A queue's consumer thread, running `body`; its Stop joins it with a bound.
inline std::unique_ptr<nbase::Thread> StartConsumer(std::function<void()> body) {
  std::unique_ptr<nbase::Thread> thread(new nbase::Thread);
  thread->Create(std::move(body));
  return thread;
}

// Stops and frees `queue`; one whose thread does not end within the bound
// is left to the process exit (see above). False then.
template <typename Queue>
bool Retire(Queue* queue) {
  if (!queue->Stop(kStopBoundMs)) return false;
  delete queue;
  return true;
}

inline int64_t Ticks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

inline double TicksToSeconds(int64_t ticks) {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  return static_cast<double>(ticks) / frequency;
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// The bare floor of the loop's design: a critical-section-guarded vector that
// the consumer takes whole, and an auto-reset event set only by the post that
// finds the vector empty.
class FloorQueue {
 public:
  FloorQueue() {
    InitializeCriticalSectionAndSpinCount(&lock_, 2000);
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    thread_ = StartConsumer([this] { Consume(); });
  }
  ~FloorQueue() {
    CloseHandle(event_);
    DeleteCriticalSection(&lock_);
  }
  bool Stop(DWORD bound_ms) {
    Post([this] { quit_ = true; });
    return thread_->Join(bound_ms);
  }
  void Post(std::function<void()> task) {
    EnterCriticalSection(&lock_);
    const bool was_empty = incoming_.empty();
    incoming_.push_back(std::move(task));
    LeaveCriticalSection(&lock_);
    if (was_empty) SetEvent(event_);
  }

 private:
  void Consume() {
    std::vector<std::function<void()>> batch;
    while (!quit_) {
      EnterCriticalSection(&lock_);
      batch.swap(incoming_);
      LeaveCriticalSection(&lock_);
      if (batch.empty()) {
        WaitForSingleObject(event_, INFINITE);
        continue;
      }
      for (auto& task : batch) task();
      batch.clear();
    }
  }

  CRITICAL_SECTION lock_;
  HANDLE event_;
  std::vector<std::function<void()>> incoming_;
  bool quit_ = false;  // consumer thread only
  std::unique_ptr<nbase::Thread> thread_;
};

// The textbook queue: std::mutex, std::condition_variable, one task at a time.
class CondVarQueue {
 public:
  CondVarQueue() : thread_(StartConsumer([this] { Consume(); })) {}
  bool Stop(DWORD bound_ms) {
    Post([this] { quit_ = true; });
    return thread_->Join(bound_ms);
  }
  void Post(std::function<void()> task) {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      queue_.push_back(std::move(task));
    }
    ready_.notify_one();
  }

 private:
  void Consume() {
    while (!quit_) {
      std::unique_lock<std::mutex> hold(mutex_);
      ready_.wait(hold, [this] { return !queue_.empty(); });
      std::function<void()> task = std::move(queue_.front());
      queue_.pop_front();
      hold.unlock();
      task();
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> queue_;
  bool quit_ = false;  // consumer thread only
  std::unique_ptr<nbase::Thread> thread_;
};

struct BulkResult {
  double tasks_per_s = 0;
  double post_ns = 0;  // the poster's cost per post
};

struct SparseResult {
  double post_us = 0;     // the poster's cost per post (median)
  double latency_us = 0;  // post to run (median)
};

// One thread posts `count` tiny tasks; throughput runs from the first post to
// the last task's run. Each task captures one pointer, as small a task as the
// queues' callable types store without allocating. False when the tasks did
// not all run within kMeasureBoundMs (the queue is to be given up).
template <typename Queue>
bool RunBulk(Queue& queue, int count, BulkResult* result) {
  struct State {
    int target;
    int done = 0;
    int64_t end = 0;
    HANDLE finished;
  };
  // The queue's tasks may still run after a wait that gave up: what they
  // touch is then never freed.
  State* s = new State{count, 0, 0, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  const int64_t start = Ticks();
  for (int i = 0; i < count; ++i) {
    queue.Post([s] {
      if (++s->done == s->target) {
        s->end = Ticks();
        SetEvent(s->finished);
      }
    });
  }
  const int64_t posted = Ticks();
  if (WaitForSingleObject(s->finished, kMeasureBoundMs) != WAIT_OBJECT_0) return false;
  CloseHandle(s->finished);
  result->tasks_per_s = count / TicksToSeconds(s->end - start);
  result->post_ns = TicksToSeconds(posted - start) * 1e9 / count;
  delete s;
  return true;
}

// One post per millisecond to an idle queue, measured on several queues at
// once: sample i goes to every queue in turn (in an order that rotates), so
// a change in the machine's load hits all of them alike.
// A queue whose sample did not run within kMeasureBoundMs is given up: its
// later samples are skipped and ok(index) turns false.
class SparseRun {
 public:
  explicit SparseRun(size_t queues) : probes_(queues), post_us_(queues), latency_us_(queues) {
    for (Probe*& probe : probes_) probe = new Probe{0, CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  }
  ~SparseRun() {
    for (Probe* probe : probes_) {
      if (probe == nullptr) continue;
      CloseHandle(probe->done);
      delete probe;
    }
  }

  template <typename Queue>
  void Sample(size_t index, Queue& queue) {
    Probe* probe = probes_[index];
    if (probe == nullptr) return;
    Sleep(1);
    const int64_t before = Ticks();
    queue.Post([probe] {
      probe->ran = Ticks();
      SetEvent(probe->done);
    });
    post_us_[index].push_back(TicksToSeconds(Ticks() - before) * 1e6);
    // The task has run before the next post: every post meets an idle queue.
    if (WaitForSingleObject(probe->done, kMeasureBoundMs) != WAIT_OBJECT_0) {
      probes_[index] = nullptr;  // its task may still run: left to the process exit
      return;
    }
    latency_us_[index].push_back(TicksToSeconds(probe->ran - before) * 1e6);
  }

  bool ok(size_t index) const { return probes_[index] != nullptr; }
  SparseResult Result(size_t index) const {
    SparseResult result;
    result.post_us = Median(post_us_[index]);
    result.latency_us = Median(latency_us_[index]);
    return result;
  }

 private:
  // Each queue's own, so that a late task of a queue given up cannot end
  // another queue's wait.
  struct Probe {
    int64_t ran;
    HANDLE done;
  };
  std::vector<Probe*> probes_;
  std::vector<std::vector<double>> post_us_, latency_us_;
};

template <typename Queue>
bool RunSparse(Queue& queue, int count, SparseResult* result) {
  SparseRun run(1);
  for (int i = 0; i < count && run.ok(0); ++i) run.Sample(0, queue);
  if (!run.ok(0)) return false;
  *result = run.Result(0);
  return true;
}

}  // namespace bench
