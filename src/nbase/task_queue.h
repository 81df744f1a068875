// FIFO of QueuedTask records with a constant-time swap of whole contents, so
// that a loop can take every posted task out from under its lock at once.
// Not thread-safe: the owner guards it.
//
// A vector read from a moving head rather than a deque: after a few batches
// the storage is reused and queuing a task allocates nothing.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "nbase/task.h"

namespace nbase {

class TaskQueue {
 public:
  bool empty() const { return head_ == items_.size(); }
  size_t size() const { return items_.size() - head_; }

  void push_back(QueuedTask&& task) { items_.push_back(std::move(task)); }
  void push_back(const QueuedTask& task) { items_.push_back(task); }

  // Removes and returns the front record. Precondition: not empty.
  QueuedTask pop_front() {
    QueuedTask front = std::move(items_[head_]);
    if (++head_ == items_.size()) Reset();
    return front;
  }

  void swap(TaskQueue& other) noexcept {
    items_.swap(other.items_);
    std::swap(head_, other.head_);
  }

  void clear() {
    while (!empty()) pop_front();
  }

 private:
  // Keeps the storage of ordinary batches for reuse, but hands a burst's
  // large buffer back instead of holding it for the life of the loop.
  void Reset() {
    head_ = 0;
    if (items_.capacity() > kKeptCapacity) {
      std::vector<QueuedTask>().swap(items_);
    } else {
      items_.clear();
    }
  }

  static constexpr size_t kKeptCapacity = 4096;
  std::vector<QueuedTask> items_;
  size_t head_ = 0;
};

}  // namespace nbase
