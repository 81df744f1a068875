#include "login/winhttp_errors.h"

#include <cstdio>

namespace lumo {

namespace {

struct Named {
  uint32_t value;
  const wchar_t* name;
  const wchar_t* meaning;
};

// WinHTTP's errors ("Error Messages (Winhttp.h)") that a GET through a proxy
// to a TLS server can end with, and the Windows errors of loading WinHTTP
// and of its calls.
const Named kErrors[] = {
    {8, L"ERROR_NOT_ENOUGH_MEMORY", L"out of memory"},
    {87, L"ERROR_INVALID_PARAMETER", L"a call was refused"},
    {126, L"ERROR_MOD_NOT_FOUND", L"winhttp.dll was not found in the system folder"},
    {127, L"ERROR_PROC_NOT_FOUND", L"winhttp.dll lacks a function"},
    {12001, L"ERROR_WINHTTP_OUT_OF_HANDLES", L"no more WinHTTP handles"},
    {12002, L"ERROR_WINHTTP_TIMEOUT", L"timed out"},
    {12004, L"ERROR_WINHTTP_INTERNAL_ERROR", L"WinHTTP internal error"},
    {12005, L"ERROR_WINHTTP_INVALID_URL", L"the URL is not valid"},
    {12006, L"ERROR_WINHTTP_UNRECOGNIZED_SCHEME", L"the URL's scheme is not http or https"},
    {12007, L"ERROR_WINHTTP_NAME_NOT_RESOLVED",
     L"the server's name does not resolve: no network, DNS failing, or a wrong verify host"},
    {12017, L"ERROR_WINHTTP_OPERATION_CANCELLED", L"the request was called off"},
    {12029, L"ERROR_WINHTTP_CANNOT_CONNECT",
     L"no connection to the server: server down, port closed, or a firewall or proxy in the way"},
    {12030, L"ERROR_WINHTTP_CONNECTION_ERROR",
     L"the connection was reset or ended: a firewall, filter or proxy, or TLS refused by the server"},
    {12037, L"ERROR_WINHTTP_SECURE_CERT_DATE_INVALID",
     L"the server certificate has expired or is not valid yet (check the machine's clock)"},
    {12038, L"ERROR_WINHTTP_SECURE_CERT_CN_INVALID", L"the server certificate is for another name"},
    {12044, L"ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED",
     L"the server, or a proxy that inspects TLS, asks for a client certificate"},
    {12045, L"ERROR_WINHTTP_SECURE_INVALID_CA",
     L"the server certificate comes from a certification authority this machine does not trust"},
    {12057, L"ERROR_WINHTTP_SECURE_CERT_REV_FAILED",
     L"the certificate's revocation could not be checked (the revocation server is not reachable)"},
    {12152, L"ERROR_WINHTTP_INVALID_SERVER_RESPONSE", L"the server's answer is not HTTP"},
    {12156, L"ERROR_WINHTTP_REDIRECT_FAILED", L"a redirect could not be followed"},
    {12157, L"ERROR_WINHTTP_SECURE_CHANNEL_ERROR",
     L"the secure channel failed: a refused server certificate, or no TLS version or cipher in common"},
    {12166, L"ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT", L"the proxy script (PAC file) has an error"},
    {12167, L"ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT", L"the proxy script (PAC file) could not be downloaded"},
    {12169, L"ERROR_WINHTTP_SECURE_INVALID_CERT", L"the server certificate is not valid"},
    {12170, L"ERROR_WINHTTP_SECURE_CERT_REVOKED", L"the server certificate has been revoked"},
    {12172, L"ERROR_WINHTTP_NOT_INITIALIZED", L"WinHTTP is not initialised"},
    {12175, L"ERROR_WINHTTP_SECURE_FAILURE",
     L"the TLS handshake failed: a certificate or protocol error (see the certificate status)"},
    {12178, L"ERROR_WINHTTP_AUTO_PROXY_SERVICE_ERROR", L"the proxy could not be found (auto-proxy service)"},
    {12179, L"ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE", L"the server certificate is not for server authentication"},
    {12180, L"ERROR_WINHTTP_AUTODETECTION_FAILED", L"proxy auto-detection (WPAD) found no proxy script"},
    {12185, L"ERROR_WINHTTP_CLIENT_CERT_NO_PRIVATE_KEY", L"the client certificate has no private key"},
    {12188, L"ERROR_WINHTTP_SECURE_FAILURE_PROXY", L"the TLS handshake with the proxy failed"},
};

// WINHTTP_CALLBACK_STATUS_FLAG_* of the secure-failure notification.
const Named kCertificateFlags[] = {
    {0x00000001, L"CERT_REV_FAILED", L"revocation could not be checked"},
    {0x00000002, L"INVALID_CERT", L"certificate not valid"},
    {0x00000004, L"CERT_REVOKED", L"certificate revoked"},
    {0x00000008, L"INVALID_CA", L"issued by an authority this machine does not trust"},
    {0x00000010, L"CERT_CN_INVALID", L"issued for another name"},
    {0x00000020, L"CERT_DATE_INVALID", L"expired or not valid yet"},
    {0x00000040, L"CERT_WRONG_USAGE", L"not for server authentication"},
    {0x80000000, L"SECURITY_CHANNEL_ERROR", L"TLS channel error"},
};

// "<name> (<meaning>)" after `text`.
void AppendNamed(std::wstring& text, const Named& named) {
  text += named.name;
  text += L" (";
  text += named.meaning;
  text += L")";
}

}  // namespace

std::wstring DescribeLoginError(uint32_t error) {
  for (const Named& e : kErrors) {
    if (e.value != error) continue;
    std::wstring text = error >= 12000 && error < 13000 ? L"WinHTTP error " : L"Windows error ";
    text += std::to_wstring(error);
    text += L" ";
    AppendNamed(text, e);
    return text;
  }
  return L"Windows error " + std::to_wstring(error);
}

std::wstring DescribeSecureFailureFlags(uint32_t flags) {
  if (flags == 0) return std::wstring();
  wchar_t hex[16] = {};
  std::swprintf(hex, sizeof(hex) / sizeof(hex[0]), L"0x%08X", static_cast<unsigned>(flags));
  std::wstring text = L"certificate status ";
  text += hex;
  const wchar_t* separator = L": ";
  for (const Named& f : kCertificateFlags) {
    if ((flags & f.value) == 0) continue;
    text += separator;
    AppendNamed(text, f);
    separator = L", ";
  }
  return text;
}

}  // namespace lumo
