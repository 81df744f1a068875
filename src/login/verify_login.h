// Verifying the launcher's login token against the verify endpoint
// (https://<host>/game_login/verify?token=...). Runs on the caller's thread
// and blocks for the HTTPS request, at most the HTTP client's deadline;
// stateless, so any thread may call. The caller owns the record.
#pragma once

#include <string>

#include "LumoGameSDK.h"

namespace lumo {

// The request URL for `token` on `host` ("name" or "name:port"); the token
// goes out as its percent-encoded UTF-8 bytes.
std::wstring MakeVerifyUrl(const wchar_t* host, const wchar_t* token);

// Asks the endpoint about `token` and fills `info` from its answer. `info`
// is reset (size 288, everything else zero) on every path and is meaningful
// only when the result is true. The host is `builtInHost` unless
// LumoGameSDK.ini names a loopback development override. Logs the host
// asked (never the token), the proxy the request went through and how it
// ended; a failure line ends with its cause (the WinHTTP or Windows error
// by number and name, the certificate status of a failed TLS handshake),
// which `cause`, when given, receives too ("http failed: ...").
bool VerifyLoginTokenWith(const wchar_t* builtInHost, const wchar_t* token, LoginInfo* info,
                          std::wstring* cause = nullptr);

// VerifyLoginTokenWith the verify host this library was built for.
bool VerifyLoginToken(const wchar_t* token, LoginInfo* info, std::wstring* cause = nullptr);

}  // namespace lumo
