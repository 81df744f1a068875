#include "login/http_client.h"

#include <vector>

namespace lumo {

namespace {

const wchar_t kUserAgent[] = L"LumoGameSDK/1.0";
constexpr int kTimeoutMs = 15000;
constexpr DWORD kHostUnits = 256;
constexpr DWORD kPathUnits = 2048;

// Owns one WinHTTP handle. Declared in opening order (session, connection,
// request), the locals close in the reverse order on every path, also when
// an allocation fails while the body is read.
class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET h) : h_(h) {}
  ~InternetHandle() {
    if (h_) WinHttpCloseHandle(h_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HINTERNET h_;
};

}  // namespace

bool HttpGet(const wchar_t* url, std::string& body) {
  body.clear();
  if (url == nullptr) return false;

  // Only host and path (with the query) are asked for; a URL whose parts do
  // not fit these buffers fails here, before any handle is open.
  wchar_t host[kHostUnits] = {};
  wchar_t path[kPathUnits] = {};
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = kHostUnits;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kPathUnits;
  if (!WinHttpCrackUrl(url, 0, 0, &parts)) return false;

  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  INTERNET_PORT port = parts.nPort;
  if (port == 0) port = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;

  InternetHandle session(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                     WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return false;
  WinHttpSetTimeouts(session.get(), kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs);

  InternetHandle connection(WinHttpConnect(session.get(), host, port, 0));
  if (!connection) return false;

  // No security flags are relaxed: an untrusted, expired or mismatched
  // certificate makes sending fail.
  InternetHandle request(WinHttpOpenRequest(connection.get(), L"GET", path, nullptr,
                                            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                            secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request) return false;

  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                          WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return false;
  }
  return ReadResponseBody(request.get(), body);
}

bool ReadResponseBody(HINTERNET request, std::string& body) {
  body.clear();
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) return false;
    if (available == 0) return true;
    std::vector<char> chunk(available);
    DWORD read = 0;
    if (!WinHttpReadData(request, chunk.data(), available, &read)) return false;
    body.append(chunk.data(), read < available ? read : available);
  }
}

}  // namespace lumo
