// Verifying the launcher's login token against the verify endpoint
// (https://<LUMO_VERIFY_HOST>/game_login/verify?token=...). Runs on the
// caller's thread and blocks for the HTTPS request; stateless, so any
// thread may call. The caller owns the record.
#pragma once

#include <string>

#include "LumoGameSDK.h"

namespace lumo {

// The request URL for `token` on `host` ("name" or "name:port"); the token
// goes out as its percent-encoded UTF-8 bytes.
std::wstring MakeVerifyUrl(const wchar_t* host, const wchar_t* token);

// Asks the endpoint about `token` and fills `info` from its answer. `info`
// is reset (size 288, everything else zero) on every path and is meaningful
// only when the result is true. Logs one line saying how it ended.
bool VerifyLoginToken(const wchar_t* token, LoginInfo* info);

}  // namespace lumo
