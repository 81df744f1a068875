// The pump of IO loops: waits on an IO completion port between tasks and
// hands completed IO to the handler given as the completion key.
//
// Conventions for anyone who associates a handle with the port: the
// completion key is the IOHandler to tell; every OVERLAPPED is the first
// member of a heap-allocated IOOperation; an operation whose handler has been
// set to null (abandoned) is deleted by the pump when it completes, without
// telling anybody.
//
// Threads: made, run and destroyed on the loop's thread; WakeUp from any
// thread. Owns the port. Handlers and observers are not owned.
#pragma once

#include <windows.h>

#include "nbase/observer_list.h"
#include "nbase/win_message_pump.h"

namespace nbase {

class IOHandler;

struct IOOperation {
  OVERLAPPED overlapped = {};
  IOHandler* handler = nullptr;  // null once the operation is abandoned
};

class IOHandler {
 public:
  virtual ~IOHandler() = default;
  // `error` is 0 on success, otherwise the Windows error of the operation.
  virtual void OnIOComplete(IOOperation* operation, DWORD bytes_transferred, DWORD error) = 0;
};

// Told around every completion delivered to a handler.
class IOObserver {
 public:
  virtual void BeforeIOEvent() = 0;
  virtual void AfterIOEvent() = 0;

 protected:
  ~IOObserver() = default;
};

class WinIOMessagePump : public WinMessagePump {
 public:
  WinIOMessagePump();
  ~WinIOMessagePump() override;
  WinIOMessagePump(const WinIOMessagePump&) = delete;
  WinIOMessagePump& operator=(const WinIOMessagePump&) = delete;

  void WakeUp() override;
  void SetWakeUpTime(const int64_t& run_time) override;

  void AddObserver(IOObserver* observer) { observers_.AddObserver(observer); }
  void RemoveObserver(IOObserver* observer) { observers_.RemoveObserver(observer); }

  HANDLE completion_port() const { return completion_port_; }

 protected:
  void PumpLoop() override;

 private:
  // True if a packet (wake-up or IO) was taken within `timeout_ms`.
  bool WaitForIOCompletion(DWORD timeout_ms);

  HANDLE completion_port_ = INVALID_HANDLE_VALUE;
  ObserverList<IOObserver> observers_;
};

}  // namespace nbase
