// The payment request: the work behind lumoShowPay. Any thread; never waits
// for the host.
#include <cstring>

#include "diag/log.h"
#include "ipc/host_requests.h"
#include "sdk/host_messages.h"
#include "sdk/operations.h"

namespace lumo {

SdkError ShowPay(SdkContext& ctx, const char* text) {
  if (!ctx.initialised || !ctx.loggedIn) {
    SdkLog(L"ShowPay failed err=%d (NotInitialized)", SdkError_NotInitialized);
    return SdkError_NotInitialized;
  }
  if (text == nullptr) text = "";
  // An empty envelope (the text is not UTF-8) is refused by the link.
  const SendResult posted =
      PostToHost(ctx, ctx.ipc, BuildShowPayEnvelope(ctx.launchParams.gameId, text, std::strlen(text)));
  if (posted != SendResult::Queued) {
    SdkLog(L"ShowPay failed err=%d (IpcPostFailed): %ls", SdkError_IpcPostFailed, SendResultText(posted));
    return SdkError_IpcPostFailed;
  }
  SdkLog(L"ShowPay success");
  return SdkError_Ok;
}

}  // namespace lumo
