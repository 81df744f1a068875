// The messages the library sends to the host and the one path they take:
// "window ready" at the end of Init (here) and the payment request of
// lumoShowPay (pay_request.cpp). Any thread; both hand their envelope to the
// sender thread and return at once.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "sdk/sdk_context.h"

namespace lumo {

// 0, or -5 when the link cannot take the message. Sends nothing and
// answers 0 when the command line named no host channel.
SdkError NotifyHostWndReady(SdkContext& ctx);

// Message bodies: compact JSON arrays of strings. Throw the JSON library's
// error when a text is not valid UTF-8.
std::string SerializeStringArray(std::initializer_list<std::string> items);
std::string BuildWndReadyBody(int64_t gameId, HWND gameWnd, const std::string& channelName);
std::string BuildShowPayBody(int64_t gameId, const std::string& payText);

// Hands the envelope to the link's sender for ctx's host pipe; false when
// there is no host pipe, or the link is not running, refuses the size or
// has a full queue.
bool PostToHost(SdkContext& ctx, IpcLink& link, std::string envelope);

// Wraps the body `makeBody` builds into the envelope of `msg` and posts it.
// False when the body cannot be built (text not UTF-8) or PostToHost refuses.
bool PostMessageToHost(SdkContext& ctx, const char* msg, const std::function<std::string()>& makeBody);

}  // namespace lumo
