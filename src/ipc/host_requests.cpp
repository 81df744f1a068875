#include "ipc/host_requests.h"

#include "ipc/envelope.h"
#include "ipc/ipc_names.h"

namespace lumo {

std::string BuildWndReadyEnvelope(int64_t gameId, uint64_t gameWnd, const char* channelName, size_t channelSize) {
  const std::string numbers[2] = {std::to_string(gameId), std::to_string(gameWnd)};
  const ArrayBody body{numbers, 2};
  return WriteEnvelope(kMsgGameWndReady, sizeof(kMsgGameWndReady) - 1, channelName, channelSize, &body);
}

std::string BuildShowPayEnvelope(int64_t gameId, const char* payText, size_t payTextSize) {
  const std::string number = std::to_string(gameId);
  const ArrayBody body{&number, 1};
  return WriteEnvelope(kMsgShowPay, sizeof(kMsgShowPay) - 1, payText, payTextSize, &body);
}

}  // namespace lumo
