#include "ipc/host_requests.h"

#include "diag/json_string.h"
#include "ipc/ipc_names.h"

namespace lumo {

namespace {

// The body array sits inside the envelope's "body" string, so its own quotes
// appear escaped (\") and its strings' contents are escaped twice. Numbers
// need no escaping.
constexpr char kBodyOpen[] = "{\"body\":\"[\\\"";
constexpr char kItemSeparator[] = "\\\",\\\"";
constexpr char kBodyCloseMsg[] = "\\\"]\",\"msg\":\"";
constexpr char kClose[] = "\"}";

}  // namespace

std::string BuildWndReadyEnvelope(int64_t gameId, uint64_t gameWnd, const char* channelName, size_t channelSize) {
  std::string out;
  out.reserve(sizeof(kBodyOpen) + 60 + channelSize + sizeof(kMsgGameWndReady) + 16);
  out.append(kBodyOpen);
  out.append(std::to_string(gameId));
  out.append(kItemSeparator);
  out.append(std::to_string(gameWnd));
  out.append(kItemSeparator);
  if (!AppendJsonStringContent(out, channelName, channelSize, 2)) return std::string();
  out.append(kBodyCloseMsg);
  out.append(kMsgGameWndReady);
  out.append(kClose);
  return out;
}

std::string BuildShowPayEnvelope(int64_t gameId, const char* payText, size_t payTextSize) {
  std::string out;
  // Most pay text needs no escaping: one allocation in the common case.
  out.reserve(sizeof(kBodyOpen) + 40 + payTextSize + payTextSize / 8 + sizeof(kMsgShowPay) + 16);
  out.append(kBodyOpen);
  out.append(std::to_string(gameId));
  out.append(kItemSeparator);
  if (!AppendJsonStringContent(out, payText, payTextSize, 2)) return std::string();
  out.append(kBodyCloseMsg);
  out.append(kMsgShowPay);
  out.append(kClose);
  return out;
}

}  // namespace lumo
