// The launcher's parts for tests that play the host themselves: a host
// window on a thread of its own that answers messages, and a host channel
// whose messages are collected as they arrive. Built and destroyed on one
// test thread; Messages and WaitFor from that thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ipc/shm_endpoint.h"

namespace lumo_test {

class HostWindowThread {
 public:
  enum class OnNull {
    Answer,   // an ordinary launcher window
    Destroy,  // destroys itself when the first WM_NULL reaches it: gone the
              // moment a game has checked that it answers
    Hang,     // the first WM_NULL holds its thread for 1.5 s: a launcher busy
              // past the game's 1 s check
  };
  explicit HostWindowThread(OnNull onNull = OnNull::Answer);
  // Closes the window and ends the thread (waits at most 10 s).
  ~HostWindowThread();
  HostWindowThread(const HostWindowThread&) = delete;
  HostWindowThread& operator=(const HostWindowThread&) = delete;

  HWND hwnd() const { return hwnd_; }

 private:
  static DWORD WINAPI ThreadMain(void* self);
  void Run();
  OnNull onNull_;
  HANDLE ready_ = nullptr;
  HWND hwnd_ = nullptr;
  DWORD threadId_ = 0;
  HANDLE thread_ = nullptr;
};

class HostChannelReader {
 public:
  // Creates the server side of channel `name` and starts reading: a copy
  // of the region at every wake, then a pause of `pauseAfterReadMs` (a host
  // busy with each message).
  explicit HostChannelReader(const std::string& name, DWORD pauseAfterReadMs = 0);
  ~HostChannelReader();
  HostChannelReader(const HostChannelReader&) = delete;
  HostChannelReader& operator=(const HostChannelReader&) = delete;

  bool ok() const { return endpoint_.status == lumo::ShmStatus::Ok; }
  // The envelopes read so far, in order.
  std::vector<std::string> Messages();
  // Waits until an envelope containing `needle` has been read.
  bool WaitFor(const std::string& needle, DWORD timeoutMs);

 private:
  void Read();
  lumo::ShmEndpoint endpoint_{};
  DWORD pauseAfterReadMs_ = 0;
  HANDLE stop_ = nullptr;
  std::mutex lock_;
  std::vector<std::string> messages_;
  std::thread thread_;
};

// What a host read from each game, by game id (the first element of every
// body), in the host's order: "ready" for a window-ready message, the text
// of each payment.
std::map<std::string, std::vector<std::string>> MessagesByGame(const std::vector<std::string>& envelopes);

}  // namespace lumo_test
