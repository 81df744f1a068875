// The observer list of loops and pumps. Used on one thread only (the loop's).
//
// Observers may be added or removed while a notification pass runs: an
// observer added during a pass is reached by that same pass; a removed one is
// only nulled, and null entries are squeezed out once the outermost pass ends.
// The list does not own its observers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace nbase {

template <typename T>
class ObserverList {
 public:
  ObserverList() = default;
  ObserverList(const ObserverList&) = delete;
  ObserverList& operator=(const ObserverList&) = delete;

  void AddObserver(T* observer) {
    if (observer) observers_.push_back(observer);
  }

  void RemoveObserver(T* observer) {
    auto it = std::find(observers_.begin(), observers_.end(), observer);
    if (it == observers_.end()) return;
    *it = nullptr;
    Compact();
  }

  bool HasObserver(T* observer) const {
    return std::find(observers_.begin(), observers_.end(), observer) != observers_.end();
  }

  // Calls `notify(observer)` for every live observer, in the order added.
  template <typename F>
  void Notify(F notify) {
    if (observers_.empty()) return;
    ++notify_depth_;
    // Index walk with the length re-read every step: appends during the pass
    // may reallocate the array.
    for (size_t i = 0; i < observers_.size(); ++i) {
      T* observer = observers_[i];
      if (observer) notify(observer);
    }
    --notify_depth_;
    if (notify_depth_ < 1) Compact();
  }

  // Drops null entries, keeping the order of the rest; does nothing while a
  // pass runs, because the pass walks by index.
  void Compact() {
    if (notify_depth_ > 0) return;
    observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr), observers_.end());
  }

 private:
  int32_t notify_depth_ = 0;
  std::vector<T*> observers_;
};

}  // namespace nbase
