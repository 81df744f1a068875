// One synchronous HTTP(S) GET over WinHTTP, for the login verification.
//
// Every call opens its own session, connection and request and closes them
// before returning: no state, cookies, connection reuse or retries. The
// status code and headers are not looked at; any response that arrives is
// success here and its body is handed back. Certificate errors are never
// ignored. Blocks the calling thread (up to 15 s per phase); calls share
// nothing, so any thread may call, also concurrently.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <string>

namespace lumo {

// GETs the absolute `url` (scheme, host, optional port, path and query).
// `body` is emptied first, then receives the body bytes exactly as sent.
// False on any failure; `body` may then hold a partial body.
bool HttpGet(const wchar_t* url, std::string& body);

// Reads the whole body of an answered request into `body` (emptied first).
bool ReadResponseBody(HINTERNET request, std::string& body);

}  // namespace lumo
