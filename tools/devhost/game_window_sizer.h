// Sizes the embedded game window to the host window's client area, from a
// thread of its own that owns no window.
//
// SetWindowPos on another thread's window waits until that thread has
// handled the messages it sends. SWP_ASYNCWINDOWPOS posts the request
// instead only when the two threads are on different input queues, and a
// game window embedded into the host's window shares the host thread's queue;
// so sized from the host's window thread, a hung game would hang the host's
// window too. Sized from here, a hung game holds only this thread; requests
// made meanwhile collapse into the latest, which is applied once the game
// answers again.
//
// Threads: Start, Request and Stop on the host's window thread; the sizing
// runs on the sizer's thread. The thread's state is shared with it, so a
// thread that Stop gives up on (held by a game that still hangs) may outlive
// the object.
#pragma once

#include <windows.h>

#include <memory>

#include "nbase/thread.h"

namespace devhost {

class GameWindowSizer {
 public:
  GameWindowSizer() = default;
  ~GameWindowSizer();
  GameWindowSizer(const GameWindowSizer&) = delete;
  GameWindowSizer& operator=(const GameWindowSizer&) = delete;

  // Starts the thread; false when it cannot be made (Request then does
  // nothing).
  bool Start();
  // Asks for `game` to be moved to 0,0 and sized `width` x `height` without
  // changing its z-order or activating it. Never waits.
  void Request(HWND game, int width, int height);
  // Ends the thread, waiting at most `boundMs` for a sizing in progress;
  // a thread still held by the game after that is let go.
  void Stop(DWORD boundMs);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  nbase::Thread thread_;
};

}  // namespace devhost
