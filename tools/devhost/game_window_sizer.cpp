#include "devhost/game_window_sizer.h"

#include <utility>

#include "nbase/lock.h"

namespace devhost {

struct GameWindowSizer::Shared {
  ~Shared() {
    if (wake != nullptr) CloseHandle(wake);
  }

  nbase::Lock lock;
  HWND game = nullptr;  // the latest request, until the thread takes it
  int width = 0;
  int height = 0;
  bool pending = false;
  bool stop = false;
  HANDLE wake = nullptr;  // auto-reset: a request or the stop
};

namespace {

// Each wait for work has a bound, so a stop is seen even if its wake-up
// were lost.
constexpr DWORD kWaitSliceMs = 1000;

}  // namespace

GameWindowSizer::~GameWindowSizer() { Stop(nbase::kThreadJoinBoundMs); }

bool GameWindowSizer::Start() {
  auto shared = std::make_shared<Shared>();
  shared->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (shared->wake == nullptr) return false;
  const bool created = thread_.Create([shared] {
    for (;;) {
      WaitForSingleObject(shared->wake, kWaitSliceMs);
      HWND game = nullptr;
      int width = 0;
      int height = 0;
      {
        nbase::AutoLock hold(shared->lock);
        if (shared->stop) return;
        if (!shared->pending) continue;
        shared->pending = false;
        game = shared->game;
        width = shared->width;
        height = shared->height;
      }
      // Synchronous: returns once the game's thread has handled the change.
      SetWindowPos(game, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  });
  if (!created) return false;
  shared_ = std::move(shared);
  return true;
}

void GameWindowSizer::Request(HWND game, int width, int height) {
  if (!shared_) return;
  {
    nbase::AutoLock hold(shared_->lock);
    shared_->game = game;
    shared_->width = width;
    shared_->height = height;
    shared_->pending = true;
  }
  SetEvent(shared_->wake);
}

void GameWindowSizer::Stop(DWORD boundMs) {
  if (!shared_) return;
  {
    nbase::AutoLock hold(shared_->lock);
    shared_->stop = true;
  }
  SetEvent(shared_->wake);
  if (!thread_.Join(boundMs)) thread_.LetGo();
  shared_.reset();
}

}  // namespace devhost
