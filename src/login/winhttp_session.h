// The WinHTTP session of one login request: the proxy it goes through and
// the TLS versions it offers.
//
// The session is asynchronous (WINHTTP_FLAG_ASYNC): its requests complete
// through their status callbacks, so the thread that runs a request can wait
// for each step with a bound and end the request itself (http_client.cpp).
//
// The session takes the proxy the way browsers and launchers do: Windows'
// and the user's proxy settings, a proxy script (PAC) and auto-detection
// (WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, Windows 8.1 and later). Earlier
// Windows refuse that access type with ERROR_INVALID_PARAMETER; the session
// then reads only WinHTTP's own proxy setting ("netsh winhttp"), as before.
// Finding the proxy happens while the request is sent, inside the request's
// deadline.
//
// WinHTTP's default protocols on Windows 7 SP1 and 8.0 (and their servers)
// stop at TLS 1.0, which verify servers refuse; there the session asks for
// TLS 1.0 to 1.2 itself (WINHTTP_OPTION_SECURE_PROTOCOLS). From 8.1 on the
// defaults already hold TLS 1.2, and later versions, and stay untouched.
// Any thread; the caller owns the session handle.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include "login/winhttp_api.h"

namespace lumo {

enum class ProxyMode {
  kNone,            // no session was opened
  kAutomatic,       // Windows' and the user's settings, PAC, auto-detection
  kWinHttpDefault,  // WinHTTP's own setting only (Windows before 8.1)
};

// A Windows version, as major.minor (6.1 is Windows 7, 6.3 Windows 8.1).
struct WindowsVersion {
  DWORD major = 0;
  DWORD minor = 0;
};

// The running Windows' version as the system knows it (RtlGetVersion),
// whatever the game's manifest claims; 0.0 when it cannot be read.
WindowsVersion RunningWindowsVersion();

// True where WinHTTP's default protocols lack TLS 1.2: Windows before 8.1.
// False for 0.0 (unknown): such a system keeps its defaults.
bool DefaultProtocolsLackTls12(WindowsVersion version);

// The protocols the session asks for where the defaults lack TLS 1.2.
constexpr DWORD kRequestedProtocols =
    WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;

// Opens an asynchronous session for `userAgent` with the automatic proxy, or
// with WinHTTP's own setting where this Windows refuses that. On `version`
// (the running Windows unless a test says otherwise) before 8.1 it asks for
// kRequestedProtocols; a refusal of that is logged once per process and the
// session goes on with the defaults. Null on failure, with the Windows error
// in `error`. `mode` says which proxy the session uses.
HINTERNET OpenWinHttpSession(const WinHttpApi& api, const wchar_t* userAgent, ProxyMode& mode, DWORD& error,
                             WindowsVersion version = RunningWindowsVersion());

// For the log: "automatic (Windows' and the user's proxy settings)" ...
const wchar_t* ProxyModeText(ProxyMode mode);

}  // namespace lumo
