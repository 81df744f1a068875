#include "login/winhttp_session.h"

namespace lumo {

HINTERNET OpenWinHttpSession(const WinHttpApi& api, const wchar_t* userAgent, ProxyMode& mode, DWORD& error) {
  mode = ProxyMode::kNone;
  error = 0;
  HINTERNET session =
      api.Open(userAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (session != nullptr) {
    mode = ProxyMode::kAutomatic;
    return session;
  }
  error = GetLastError();
  // Only the refusal of the access type itself earns the older one.
  if (error != ERROR_INVALID_PARAMETER) return nullptr;
  session = api.Open(userAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (session == nullptr) {
    error = GetLastError();
    return nullptr;
  }
  error = 0;
  mode = ProxyMode::kWinHttpDefault;
  return session;
}

const wchar_t* ProxyModeText(ProxyMode mode) {
  switch (mode) {
    case ProxyMode::kAutomatic:
      return L"automatic (Windows' and the user's proxy settings, proxy script, auto-detection)";
    case ProxyMode::kWinHttpDefault:
      return L"WinHTTP's own setting only (netsh winhttp): this Windows refused the automatic proxy";
    case ProxyMode::kNone:
    default:
      return L"none (no session)";
  }
}

}  // namespace lumo
