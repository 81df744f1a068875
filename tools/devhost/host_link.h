// The host's two ends of the IPC link: the host channel it owns and reads
// (HostChannelReader), and the game's own channel it writes to (GameSender).
//
// Threads: HostChannelReader runs one reader thread; Start/Stop on the main
// thread. GameSender may be called from any thread (reader thread, stdin
// thread); it serialises sends with a lock.
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

#include "ipc/shm_endpoint.h"
#include "nbase/thread.h"

namespace devhost {

// Sends envelopes into the game's channel, opened on first use. Messages
// given before the channel name is known wait for it, in order.
class GameSender {
 public:
  GameSender() = default;
  ~GameSender();
  GameSender(const GameSender&) = delete;
  GameSender& operator=(const GameSender&) = delete;

  void SetChannel(const std::string& name);  // flushes waiting messages
  void Send(const std::string& msg, const std::string& body);

 private:
  void SendNow(const std::string& msg, const std::string& body);  // lock held
  void WaitUntilTaken();                                          // lock held

  std::mutex lock_;
  std::string channel_;
  lumo::ShmEndpoint endpoint_{};
  bool signalled_ = false;  // a message was announced on this endpoint
  std::deque<std::pair<std::string, std::string>> waiting_;
};

// Reads the host channel: prints every message, hands the game's channel
// name from "IpcMsg_GameSDK_GameWndReady" to the sender and then calls
// `onGameReady` (on the reader thread) when one was given.
class HostChannelReader {
 public:
  HostChannelReader() = default;
  ~HostChannelReader();
  HostChannelReader(const HostChannelReader&) = delete;
  HostChannelReader& operator=(const HostChannelReader&) = delete;

  // `endpoint` is the created host channel; it must outlive Stop. After each
  // read the thread pauses `readDelayMs` (a busy host). `onGameReady` runs on
  // the reader thread when the game's window-ready message arrives.
  bool Start(lumo::ShmEndpoint* endpoint, GameSender* sender, bool printRaw, unsigned readDelayMs = 0,
             std::function<void()> onGameReady = nullptr);
  // Prints a message signalled before the call, then ends the thread.
  void Stop();
  // The game window the last window-ready message named (null before);
  // any thread.
  HWND gameWindow() const { return gameWindow_.load(); }

 private:
  void ThreadMain();

  lumo::ShmEndpoint* endpoint_ = nullptr;
  bool printRaw_ = false;
  unsigned readDelayMs_ = 0;
  GameSender* sender_ = nullptr;
  std::function<void()> onGameReady_;
  std::atomic<HWND> gameWindow_{nullptr};
  HANDLE stop_ = nullptr;
  nbase::Thread thread_;
};

// The third element of a GameWndReady body (a JSON array of strings), or "".
std::string GameChannelFromReadyBody(const std::string& body);
// The second element of a GameWndReady body as a window handle, or null.
HWND GameWindowFromReadyBody(const std::string& body);

}  // namespace devhost
