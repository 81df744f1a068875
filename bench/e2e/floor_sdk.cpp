#include "floor_sdk.h"

#include <cstring>
#include <utility>

#include "e2e_common.h"
#include "ipc/event_state.h"
#include "ipc/host_requests.h"

namespace e2e {

bool FloorSdk::Init(int64_t gameId, HWND gameWnd, const std::string& ownChannel, const std::string& hostChannel) {
  gameId_ = gameId;
  // The design's clock reads the multimedia timer: its DLL, loaded from the
  // system folder as the library loads it, and read once (what it makes at
  // load belongs to init's figures on both sides). Kept for the process.
  if (HMODULE timer = LoadLibraryExW(L"winmm.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    using Reading = DWORD(WINAPI*)();
    if (auto read = reinterpret_cast<Reading>(reinterpret_cast<void (*)()>(GetProcAddress(timer, "timeGetTime")))) {
      read();
    }
  }
  own_ = lumo::ShmEndpoint::Create(ownChannel.c_str());
  if (own_.status != lumo::ShmStatus::Ok) return false;
  InitializeCriticalSection(&lock_);
  wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  stopReceive_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const std::string ready = lumo::BuildWndReadyEnvelope(
      gameId, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(gameWnd)), ownChannel.data(), ownChannel.size());
  queue_.push_back(ready);
  host_ = lumo::ShmEndpoint::Open(hostChannel.c_str());
  writers_ = CreateMutexA(nullptr, FALSE, (hostChannel + lumo::kShmWritersLockSuffix).c_str());
  sender_ = std::thread([this] { SenderMain(); });
  receiver_ = std::thread([this] { ReceiverMain(); });
  SetEvent(wake_);
  return host_.status == lumo::ShmStatus::Ok;
}

int FloorSdk::ShowPay(const char* text) {
  std::string envelope = lumo::BuildShowPayEnvelope(gameId_, text, std::strlen(text));
  if (envelope.empty()) return -5;
  EnterCriticalSection(&lock_);
  const bool wasEmpty = queue_.empty();
  queue_.push_back(std::move(envelope));
  LeaveCriticalSection(&lock_);
  if (wasEmpty) SetEvent(wake_);
  return 0;
}

int FloorSdk::ShowPayOneHop(const char* text) {
  const std::string envelope = lumo::BuildShowPayEnvelope(gameId_, text, std::strlen(text));
  if (!host_.Write(envelope)) return -5;
  SetEvent(host_.serverEvent.handle);
  return 0;
}

// Bounded like the library's: 100 ms for the host to take what is in the
// slot; whether a message was pending.
bool FloorSdk::WaitUntilTaken() {
  bool pending = false;
  for (int i = 0; i < 100; ++i) {
    if (lumo::QueryEventState(host_.serverEvent.handle) != lumo::EventState::Signalled) break;
    pending = true;
    Sleep(1);
  }
  return pending;
}

void FloorSdk::Deliver(const std::string& payload) {
  // One turn of the writers' lock per message: the slot's message taken,
  // this one written, taken and given the grace for the host's copy.
  const DWORD waited = writers_ != nullptr ? WaitForSingleObject(writers_, 1000) : WAIT_FAILED;
  const bool held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  if (WaitUntilTaken()) Sleep(10);
  host_.Write(payload);
  SetEvent(host_.serverEvent.handle);
  WaitUntilTaken();
  Sleep(10);
  if (held) ReleaseMutex(writers_);
}

void FloorSdk::SenderMain() {
  for (;;) {
    WaitForSingleObject(wake_, INFINITE);
    for (;;) {
      EnterCriticalSection(&lock_);
      if (stop_ || queue_.empty()) {
        const bool stop = stop_;
        LeaveCriticalSection(&lock_);
        if (stop) return;
        break;
      }
      std::string payload = std::move(queue_.front());
      queue_.pop_front();
      LeaveCriticalSection(&lock_);
      Deliver(payload);
    }
  }
}

void FloorSdk::ReceiverMain() {
  HANDLE waits[2] = {stopReceive_, own_.serverEvent.handle};
  std::string message;
  while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) own_.Read(message);
}

void FloorSdk::Uninit() {
  EnterCriticalSection(&lock_);
  stop_ = true;
  LeaveCriticalSection(&lock_);
  SetEvent(wake_);
  SetEvent(stopReceive_);
  if (sender_.joinable()) sender_.join();
  if (receiver_.joinable()) receiver_.join();
  if (host_.status == lumo::ShmStatus::Ok) host_.Close();
  if (own_.status == lumo::ShmStatus::Ok) own_.Close();
  if (writers_ != nullptr) CloseHandle(writers_);
  CloseHandle(wake_);
  CloseHandle(stopReceive_);
  DeleteCriticalSection(&lock_);
}

}  // namespace e2e
