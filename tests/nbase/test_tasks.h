// Helpers for the task framework's tests: tasks that log when they run and
// when their last copy is destroyed, and a pump whose Run follows a script.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "nbase/message_loop.h"
#include "nbase/message_pump.h"

namespace nbase_test {

// A thread-safe list of events ("ran:a", "gone:a").
class EventLog {
 public:
  void Add(const std::string& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event);
  }
  std::vector<std::string> Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  // Events with the given prefix, prefix removed, in order.
  std::vector<std::string> With(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& e : Events()) {
      if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e.substr(prefix.size()));
    }
    return out;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
};

// Logs "gone:<name>" when the last copy of the task that holds it goes.
struct Marker {
  Marker(EventLog* log, std::string name) : log(log), name(std::move(name)) {}
  ~Marker() { log->Add("gone:" + name); }
  EventLog* log;
  std::string name;
};

// A task that logs "ran:<name>" when run and "gone:<name>" when destroyed.
inline nbase::Task Tracked(EventLog* log, const std::string& name) {
  auto marker = std::make_shared<Marker>(log, name);
  return [marker] { marker->log->Add("ran:" + marker->name); };
}

// A pump that records what the loop asks of it; each Run (nested ones
// included) runs the next script with the loop as delegate.
class ScriptedPump : public nbase::MessagePump {
 public:
  using Script = std::function<void(Delegate*)>;

  void Run(Delegate* delegate) override {
    Script script = std::move(scripts.front());
    scripts.pop_front();
    script(delegate);
  }
  void Quit() override { ++quits; }
  void WakeUp() override { ++wakeups; }
  void SetWakeUpTime(const int64_t& run_time) override { wake_times.push_back(run_time); }

  std::deque<Script> scripts;
  std::atomic<int> wakeups{0};
  int quits = 0;
  std::vector<int64_t> wake_times;
};

class ScriptedLoop : public nbase::MessageLoop {
 public:
  explicit ScriptedLoop(std::shared_ptr<ScriptedPump> pump) { ReplacePump(std::move(pump), nbase::LoopType::Default); }
};

}  // namespace nbase_test
