// The messages the library sends to the host and the one path they take:
// "window ready" at the end of Init (here) and the payment request of
// lumoShowPay (pay_request.cpp); their envelopes are written by
// ipc/host_requests. Any thread; both hand their envelope to the
// sender thread and return at once.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ipc/send_result.h"
#include "sdk/sdk_context.h"

namespace lumo {

// 0, or -5 when the link cannot take the message (one log line names the
// cause). Sends nothing and answers 0 when the command line named no host
// channel.
SdkError NotifyHostWndReady(SdkContext& ctx);

// Hands the envelope to ctx's IPC link for its host pipe: Queued, or why
// not (IpcLink::Send). Logs nothing: the caller's failure line names the
// cause.
SendResult PostToHost(SdkContext& ctx, std::string envelope);

}  // namespace lumo
