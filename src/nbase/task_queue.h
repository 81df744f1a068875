// FIFO of QueuedTask records with a constant-time swap of whole contents, so
// that a loop can take every posted task out from under its lock at once.
// Not thread-safe: the owner guards it.
//
// A vector read from a moving head rather than a deque: the storage is reused
// batch after batch, so queuing a task allocates nothing once the buffers have
// grown to the traffic. The buffers keep the size of the largest backlog seen:
// handing a burst's buffer back would make the poster regrow (and fault in)
// fresh memory for every batch of the next burst, and a consumer that catches
// up for a moment mid-burst cannot tell the burst has not ended.
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
    if (++head_ == items_.size()) {
      head_ = 0;
      items_.clear();
    }
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
  std::vector<QueuedTask> items_;
  size_t head_ = 0;
};

}  // namespace nbase
