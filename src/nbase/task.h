// The unit of work of every MessageLoop, and the record the loop keeps it in.
#pragma once

#include <cstdint>
#include <functional>

namespace nbase {

// A copyable callable with no arguments and no result. An empty one may be
// posted; running it does nothing.
using Task = std::function<void()>;

// One queued task. All four queues of a loop hold these records.
struct QueuedTask {
  // Microseconds on the MonotonicNow clock; 0 means "run as soon as possible".
  int64_t run_time = 0;
  // Given by the loop when the task enters its delayed heap; breaks ties
  // between equal run times so that they run in the order they were queued.
  int32_t sequence = 0;
  // False for tasks that may only run at the outermost level of the loop.
  bool nestable = true;
  Task task;
};

}  // namespace nbase
