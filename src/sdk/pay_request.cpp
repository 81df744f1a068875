// The payment request: the work behind lumoShowPay. Any thread; never waits
// for the host.
#include <cstring>

#include "diag/log.h"
#include "ipc/host_requests.h"
#include "ipc/shm_layout.h"
#include "sdk/host_messages.h"
#include "sdk/operations.h"

namespace lumo {

SdkError ShowPay(SdkContext& ctx, const char* text) {
  if (!ctx.initialised || !ctx.loggedIn) {
    SdkLog(L"ShowPay failed err=%d (NotInitialized)", SdkError_NotInitialized);
    return SdkError_NotInitialized;
  }
  if (text == nullptr) text = "";
  const size_t length = std::strlen(text);
  // Escaping only lengthens a text: one longer than a host channel's payload
  // gets its answer from its length alone, before any of it (megabytes,
  // maybe) is copied and escaped. A shorter one that still does not fit with
  // its envelope is refused by the channel with the same cause.
  if (length > kShmMaxPayload) {
    SdkLog(L"ShowPay failed err=%d (IpcPostFailed): %ls", SdkError_IpcPostFailed, SendResultText(SendResult::TooLarge));
    return SdkError_IpcPostFailed;
  }
  // An empty envelope (the text is not UTF-8) is refused by the link.
  const SendResult posted = PostToHost(ctx, BuildShowPayEnvelope(ctx.launchParams.gameId, text, length));
  if (posted != SendResult::Queued) {
    SdkLog(L"ShowPay failed err=%d (IpcPostFailed): %ls", SdkError_IpcPostFailed, SendResultText(posted));
    return SdkError_IpcPostFailed;
  }
  SdkLog(L"ShowPay success");
  return SdkError_Ok;
}

}  // namespace lumo
