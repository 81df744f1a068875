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

// The envelope of `msg` whose body is [gameId, <numbers>..., text]: the
// numbers need no escaping, the text is escaped for the body and again for
// the envelope. Empty when the text is not valid UTF-8.
std::string BuildEnvelopeOf(const char* msg, size_t msgSize, int64_t gameId, const uint64_t* numbers,
                            size_t numberCount, const char* text, size_t textSize) {
  std::string out;
  // Most text needs no escaping: one allocation in the common case.
  out.reserve(sizeof(kBodyOpen) + 24 * (numberCount + 1) + textSize + textSize / 8 + msgSize + sizeof(kClose) +
              16);
  out.append(kBodyOpen);
  out.append(std::to_string(gameId));
  for (size_t i = 0; i < numberCount; ++i) {
    out.append(kItemSeparator);
    out.append(std::to_string(numbers[i]));
  }
  out.append(kItemSeparator);
  if (!AppendJsonStringContent(out, text, textSize, 2)) return std::string();
  out.append(kBodyCloseMsg);
  out.append(msg, msgSize);
  out.append(kClose);
  return out;
}

}  // namespace

std::string BuildWndReadyEnvelope(int64_t gameId, uint64_t gameWnd, const char* channelName, size_t channelSize) {
  return BuildEnvelopeOf(kMsgGameWndReady, sizeof(kMsgGameWndReady) - 1, gameId, &gameWnd, 1, channelName,
                         channelSize);
}

std::string BuildShowPayEnvelope(int64_t gameId, const char* payText, size_t payTextSize) {
  return BuildEnvelopeOf(kMsgShowPay, sizeof(kMsgShowPay) - 1, gameId, nullptr, 0, payText, payTextSize);
}

}  // namespace lumo
