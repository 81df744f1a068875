#include "login/winhttp_session.h"

#include <atomic>

#include "diag/log.h"
#include "login/winhttp_errors.h"
#include "nbase/system_library.h"

namespace lumo {

namespace {

// A refusal of the protocols is the same on every login of a process.
std::atomic<bool> g_protocolRefusalLogged{false};

// Asks for TLS 1.1 and 1.2 where the defaults lack them. The login goes on
// either way: a server that still takes TLS 1.0 answers as before.
void OfferTls12(const WinHttpApi& api, HINTERNET session, WindowsVersion version) {
  if (!DefaultProtocolsLackTls12(version)) return;
  DWORD protocols = kRequestedProtocols;
  if (api.SetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) return;
  const DWORD error = GetLastError();
  if (g_protocolRefusalLogged.exchange(true)) return;
  SdkLog(L"VerifyLoginToken this Windows (%lu.%lu) refused TLS 1.1 and 1.2 (WinHttpSetOption: %ls); the "
         L"request goes on with the system's default protocols, which a server that requires TLS 1.2 refuses",
         static_cast<unsigned long>(version.major), static_cast<unsigned long>(version.minor),
         DescribeLoginError(error).c_str());
}

}  // namespace

WindowsVersion RunningWindowsVersion() {
  // GetVersionExW and the version helpers answer 6.2 to a game without a
  // manifest on any later Windows; ntdll's own call does not. ntdll is in
  // every process.
  using GetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  WindowsVersion version;
  const auto get = nbase::LoadedFunction<GetVersionFn>(L"ntdll.dll", "RtlGetVersion");
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (get == nullptr || get(&info) != 0) return version;
  version.major = info.dwMajorVersion;
  version.minor = info.dwMinorVersion;
  return version;
}

bool DefaultProtocolsLackTls12(WindowsVersion version) {
  if (version.major == 0) return false;
  return version.major < 6 || (version.major == 6 && version.minor < 3);
}

HINTERNET OpenWinHttpSession(const WinHttpApi& api, const wchar_t* userAgent, ProxyMode& mode, DWORD& error,
                             WindowsVersion version) {
  mode = ProxyMode::kNone;
  error = 0;
  HINTERNET session = api.Open(userAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
  if (session != nullptr) {
    mode = ProxyMode::kAutomatic;
  } else {
    error = GetLastError();
    // Only the refusal of the access type itself earns the older one.
    if (error != ERROR_INVALID_PARAMETER) return nullptr;
    session = api.Open(userAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                       WINHTTP_FLAG_ASYNC);
    if (session == nullptr) {
      error = GetLastError();
      return nullptr;
    }
    error = 0;
    mode = ProxyMode::kWinHttpDefault;
  }
  OfferTls12(api, session, version);
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
