#include "hostcheck/channel_watch.h"

#include <cstring>

#include "hostcheck/clock.h"
#include "ipc/envelope.h"
#include "ipc/event_state.h"
#include "ipc/shm_layout.h"

namespace hostcheck {

std::string RegionPayload(const unsigned char* view) {
  unsigned char copy[lumo::kShmRegionSize];
  std::memcpy(copy, view, sizeof(copy));  // one snapshot, as a reader takes it
  uint32_t length = 0;
  std::memcpy(&length, copy, sizeof(length));
  if (length > lumo::kShmMaxPayload) return std::string();
  return std::string(reinterpret_cast<const char*>(copy) + 4, length);
}

ChannelWatch::~ChannelWatch() { Stop(); }

void ChannelWatch::Start(HANDLE serverEvent, const unsigned char* view) {
  serverEvent_ = serverEvent;
  view_ = view;
  last_ = RegionPayload(view_);
  stop_.store(false);
  thread_.Create([this] { PollMain(); });
}

void ChannelWatch::Stop() {
  stop_.store(true);
  if (!thread_.Join()) thread_.LetGo();  // one polling round at most
}

std::vector<Delivery> ChannelWatch::Deliveries() const {
  std::lock_guard<std::mutex> guard(lock_);
  return deliveries_;
}

void ChannelWatch::PollMain() {
  // A message is judged only by state reads of later rounds: the writer
  // stores the message and then signals, so the round that first sees the
  // message may still read the event's state from before the signal.
  size_t judgedFrom = 0;  // deliveries before this index are settled
  while (!stop_.load()) {
    const double now = NowMs();
    const lumo::EventState state = lumo::QueryEventState(serverEvent_);
    if (state == lumo::EventState::Unknown) stateUnknown_.store(true);
    const std::string payload = RegionPayload(view_);
    {
      std::lock_guard<std::mutex> guard(lock_);
      for (size_t i = judgedFrom; i < deliveries_.size(); ++i) {
        Delivery& d = deliveries_[i];
        if (state == lumo::EventState::NotSignalled) {
          d.taken = true;
          d.heldMs = now - d.appearedMs;
          judgedFrom = i + 1;
        }
      }
      std::string msg, body;
      // A copy taken while the writer was busy is no envelope: the next round sees it whole.
      if (payload != last_ && lumo::ParseEnvelope(payload, msg, body)) {
        for (size_t i = judgedFrom; i < deliveries_.size(); ++i) {
          deliveries_[i].overwritten = true;
          deliveries_[i].heldMs = now - deliveries_[i].appearedMs;
        }
        judgedFrom = deliveries_.size();
        Delivery d;
        d.payload = payload;
        d.appearedMs = now;
        deliveries_.push_back(d);
        last_ = payload;
      }
    }
    Sleep(1);
  }
}

}  // namespace hostcheck
