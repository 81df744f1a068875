// The cross-thread task queues the benchmark compares, and the two
// measurements (bulk and sparse) run on each. Every queue runs its tasks on a
// thread of its own; Post is called from the benchmark's thread.
#pragma once

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace bench {

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
    thread_ = std::thread([this] { Consume(); });
  }
  ~FloorQueue() {
    Post([this] { quit_ = true; });
    thread_.join();
    CloseHandle(event_);
    DeleteCriticalSection(&lock_);
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
  std::thread thread_;
};

// The textbook queue: std::mutex, std::condition_variable, one task at a time.
class CondVarQueue {
 public:
  CondVarQueue() : thread_([this] { Consume(); }) {}
  ~CondVarQueue() {
    Post([this] { quit_ = true; });
    thread_.join();
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
  std::thread thread_;
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
// queues' callable types store without allocating.
template <typename Queue>
BulkResult RunBulk(Queue& queue, int count) {
  struct State {
    int target;
    int done = 0;
    int64_t end = 0;
    HANDLE finished;
  } state{count, 0, 0, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  State* s = &state;
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
  WaitForSingleObject(state.finished, INFINITE);
  CloseHandle(state.finished);
  BulkResult result;
  result.tasks_per_s = count / TicksToSeconds(state.end - start);
  result.post_ns = TicksToSeconds(posted - start) * 1e9 / count;
  return result;
}

// One post per millisecond to an idle queue, measured on several queues at
// once: sample i goes to every queue in turn (in an order that rotates), so
// a change in the machine's load hits all of them alike.
class SparseRun {
 public:
  explicit SparseRun(size_t queues) : post_us_(queues), latency_us_(queues) {
    done_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }
  ~SparseRun() { CloseHandle(done_); }

  template <typename Queue>
  void Sample(size_t index, Queue& queue) {
    Sleep(1);
    int64_t* ran = &ran_;
    HANDLE done = done_;
    const int64_t before = Ticks();
    queue.Post([ran, done] {
      *ran = Ticks();
      SetEvent(done);
    });
    post_us_[index].push_back(TicksToSeconds(Ticks() - before) * 1e6);
    // The task has run before the next post: every post meets an idle queue.
    WaitForSingleObject(done_, INFINITE);
    latency_us_[index].push_back(TicksToSeconds(ran_ - before) * 1e6);
  }

  SparseResult Result(size_t index) const {
    SparseResult result;
    result.post_us = Median(post_us_[index]);
    result.latency_us = Median(latency_us_[index]);
    return result;
  }

 private:
  HANDLE done_;
  int64_t ran_ = 0;
  std::vector<std::vector<double>> post_us_, latency_us_;
};

template <typename Queue>
SparseResult RunSparse(Queue& queue, int count) {
  SparseRun run(1);
  for (int i = 0; i < count; ++i) run.Sample(0, queue);
  return run.Result(0);
}

}  // namespace bench
