// Callbacks that turn into no-ops once the object they are bound to is gone.
//
// An object that hands out such callbacks derives from SupportWeakCallback;
// its destructor kills every callback made from it. The liveness test and the
// call are not one atomic step: run a weak callback on the thread that
// destroys the object, or otherwise make sure the object outlives the call.
// Callbacks may be copied and destroyed on any thread.
#pragma once

#include <memory>
#include <utility>

namespace nbase {

// Never instantiated: what serves as the flag is the counting record of a
// shared_ptr that owns a null WeakFlag pointer. The flag is alive while that
// record's strong count is non-zero.
class WeakFlag {};

class SupportWeakCallback {
 public:
  SupportWeakCallback() = default;
  // Drops the flag: every callback made from this object is dead from here on.
  virtual ~SupportWeakCallback() = default;
  SupportWeakCallback(const SupportWeakCallback&) = delete;
  SupportWeakCallback& operator=(const SupportWeakCallback&) = delete;

  // A weak reference to this object's flag, made on first use. Owner's
  // thread: the first call is not synchronised.
  std::weak_ptr<WeakFlag> GetWeakFlag() {
    // The record owns a null pointer, so only its count tells whether it exists.
    if (weak_flag_.use_count() == 0) {
      weak_flag_ = std::shared_ptr<WeakFlag>(static_cast<WeakFlag*>(nullptr));
    }
    return weak_flag_;
  }

 private:
  std::shared_ptr<WeakFlag> weak_flag_;
};

// A copyable callable with no arguments and no result that runs `call` only
// while the flag it was made from is alive.
template <typename F>
class WeakCallback {
 public:
  WeakCallback(std::weak_ptr<WeakFlag> flag, F call) : flag_(std::move(flag)), call_(std::move(call)) {}

  void operator()() const {
    if (!flag_.expired()) call_();
  }

  bool Expired() const { return flag_.expired(); }

 private:
  std::weak_ptr<WeakFlag> flag_;
  F call_;
};

// A member function with no arguments bound to its object.
template <typename T>
class BoundMethod {
 public:
  BoundMethod(T* object, void (T::*method)()) : object_(object), method_(method) {}
  void operator()() const { (object_->*method_)(); }

 private:
  T* object_;
  void (T::*method_)();
};

template <typename T>
WeakCallback<BoundMethod<T>> MakeWeakCallback(T* object, void (T::*method)()) {
  return WeakCallback<BoundMethod<T>>(object->GetWeakFlag(), BoundMethod<T>(object, method));
}

// Any callable with no arguments, tied to the life of `owner`.
template <typename F>
WeakCallback<F> MakeWeakCallback(SupportWeakCallback* owner, F call) {
  return WeakCallback<F>(owner->GetWeakFlag(), std::move(call));
}

}  // namespace nbase
