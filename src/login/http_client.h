// One HTTP(S) GET over WinHTTP, for the login verification.
//
// Every call opens its own session, connection and request and closes them
// before returning: no state, cookies, connection reuse or retries. Whatever
// the server does, the call ends within one overall deadline, from finding
// the proxy and resolving the name to the last body byte. A body is at most
// kMaxBodyBytes and must be as long as its Content-Length says; redirects
// are not followed and a 3xx answer is a failure. Any other status is not
// looked at: its body is handed back. Certificate errors are never ignored.
//
// WinHTTP runs in its asynchronous mode: the calling thread starts each step
// of the request and waits for its completion, which WinHTTP's status
// callback reports from a thread of its own, with what is left of the
// deadline. When the deadline passes first, the calling thread closes the
// request itself; no other thread ever calls WinHTTP on its handles. Blocks
// the calling thread; calls share nothing, so any thread may call, also
// concurrently.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "login/winhttp_session.h"

namespace lumo {

// The whole request, name resolution to the last body byte.
constexpr DWORD kHttpDeadlineMs = 15000;
// The verify answer is a few hundred bytes.
constexpr size_t kMaxBodyBytes = 64 * 1024;
// How long a call waits, after closing its request, for WinHTTP to say the
// handle is gone (its last callback). Past it the call returns and leaves the
// callback's state allocated for good, so that a later callback finds it.
constexpr DWORD kHandleClosingWaitMs = 3000;

// Why a GET failed, for the caller's log.
enum class HttpFailure {
  kNone,
  kUnavailable,  // winhttp.dll could not be loaded
  kFailed,       // URL, connection, TLS, certificate, read error
  kTimeout,      // the overall deadline passed
  kTooLarge,     // the body is (or is announced as) over kMaxBodyBytes
  kTruncated,    // the body ended before its Content-Length
  kRedirect,     // a 3xx answer
};

// How a GET went, for the caller's log.
struct HttpOutcome {
  HttpFailure failure = HttpFailure::kNone;
  // The WinHTTP function that failed and the Windows or WinHTTP error it
  // gave (GetLastError, or the error its completion reported); for a step the
  // deadline overtook, that step's function and ERROR_WINHTTP_TIMEOUT. Null
  // and 0 where no call failed (a redirect, a body too large or cut short, a
  // deadline that passed between calls).
  const wchar_t* call = nullptr;
  DWORD error = 0;
  // WINHTTP_CALLBACK_STATUS_FLAG_* bits reported with a failed TLS handshake
  // (WINHTTP_CALLBACK_STATUS_SECURE_FAILURE); 0 when none was reported.
  DWORD certificateFlags = 0;
  ProxyMode proxy = ProxyMode::kNone;
  DWORD status = 0;  // the HTTP status, once an answer arrived
};

// GETs the absolute `url` (scheme, host, optional port, path and query).
// `body` is emptied first, then receives the body bytes exactly as sent.
// False on any failure; `body` may then hold a partial body and `outcome`
// (when given) says why. `deadlineMs` bounds the whole call, finding the
// proxy included; the call itself may last up to kHandleClosingWaitMs
// longer, while WinHTTP lets go of a request the deadline ended.
bool HttpGet(const wchar_t* url, std::string& body, HttpOutcome* outcome = nullptr,
             DWORD deadlineMs = kHttpDeadlineMs);

// HttpGet through `api` rather than the system's WinHTTP: tests stand in
// for WinHTTP's callbacks with it.
bool HttpGetThrough(const WinHttpApi& api, const wchar_t* url, std::string& body, HttpOutcome* outcome,
                    DWORD deadlineMs);

// The cause of a failed GET in a few words and, where a call failed, its
// error by name: "request failed in WinHttpSendRequest: WinHTTP error 12029
// ERROR_WINHTTP_CANNOT_CONNECT (...)", with the certificate status after it
// when a TLS handshake failed.
std::wstring DescribeHttpFailure(const HttpOutcome& outcome);

// A short English word for the log ("timeout", "too large", ...).
const wchar_t* HttpFailureText(HttpFailure failure);

}  // namespace lumo
