// Standalone Asio's io_context as a task queue: a thread runs the context and
// tasks arrive through asio::post. Which backend it uses (the completion port
// by default on Windows, a select reactor's queue with ASIO_DISABLE_IOCP) is
// fixed by the including program, so the two variants live in two programs.
#pragma once

// Asio wants the socket headers before windows.h.
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#if !defined(ASIO_HAS_THREADS)
#error "Asio without thread support: its scheduler would neither lock nor wake (see bench/CMakeLists.txt)"
#endif

#include <memory>
#include <utility>

#include "bench_queues.h"

namespace bench {

class AsioQueue {
 public:
  AsioQueue() : guard_(asio::make_work_guard(context_)), thread_(StartConsumer([this] { context_.run(); })) {}
  // The context's run returns once it has no work left.
  bool Stop(DWORD bound_ms) {
    guard_.reset();
    return thread_->Join(bound_ms);
  }
  template <typename F>
  void Post(F&& task) {
    asio::post(context_, std::forward<F>(task));
  }

 private:
  asio::io_context context_;
  asio::executor_work_guard<asio::io_context::executor_type> guard_;
  std::unique_ptr<nbase::Thread> thread_;
};

}  // namespace bench
