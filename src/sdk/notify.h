// The two messages the library sends to the host: "window ready" at the end
// of Init and the payment request of lumoShowPay. Game thread; both hand
// their envelope to the sender thread and return at once.
#pragma once

#include <cstdint>
#include <string>

#include "sdk/sdk_context.h"

namespace lumo {

class CIPCChannel;

// 0, or -5 when there is no channel object to send with. Sends nothing and
// answers 0 when the command line named no host channel.
SdkError NotifyHostWndReady(SdkContext& ctx);

// Compact JSON arrays of strings. Throw the JSON library's error when a text
// is not valid UTF-8.
std::string BuildWndReadyBody(int64_t gameId, HWND gameWnd, const std::string& channelName);
std::string BuildShowPayBody(int64_t gameId, const std::string& payText);

// Hands the envelope to the channel's sender for ctx's host pipe; false
// when there is no channel or no host pipe.
bool PostToHost(SdkContext& ctx, CIPCChannel* channel, const std::string& envelope);

}  // namespace lumo
