// The work behind the exports, with the process's SdkContext. Meant for the
// game's window thread, safe from any thread (see SdkContext for the locks).
#pragma once

#include "sdk/sdk_context.h"

namespace lumo {

SdkError Init(SdkContext& ctx);                     // lumoGameInit
// lumoGameLogin. Blocks for the request (bounded), without holding a lock.
SdkError Login(SdkContext& ctx);
// lumoShowPay: 0, -6 before a successful Init and login or once shutdown
// began, -5 when the request cannot be built (text not UTF-8), would not fit
// the host channel (envelope over 2044 bytes), the queue of messages for the
// host is full, or there is nowhere to send it. Never waits for the host.
SdkError ShowPay(SdkContext& ctx, const char* text);
// lumoGameUninit. Returns within about 2 s, whatever the host does.
void Uninit(SdkContext& ctx);

}  // namespace lumo
