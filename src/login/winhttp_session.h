// The WinHTTP session of one login request and the proxy it goes through.
//
// The session takes the proxy the way browsers and launchers do: Windows'
// and the user's proxy settings, a proxy script (PAC) and auto-detection
// (WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, Windows 8.1 and later). Earlier
// Windows refuse that access type with ERROR_INVALID_PARAMETER; the session
// then reads only WinHTTP's own proxy setting ("netsh winhttp"), as before.
// Finding the proxy happens while the request is sent, inside the request's
// deadline. Any thread; the caller owns the session handle.
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

// Opens a session for `userAgent` with the automatic proxy, or with
// WinHTTP's own setting where this Windows refuses that. Null on failure,
// with the Windows error in `error`. `mode` says which proxy the session uses.
HINTERNET OpenWinHttpSession(const WinHttpApi& api, const wchar_t* userAgent, ProxyMode& mode, DWORD& error);

// For the log: "automatic (Windows' and the user's proxy settings)" ...
const wchar_t* ProxyModeText(ProxyMode mode);

}  // namespace lumo
