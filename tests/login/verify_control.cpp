#include "login/verify_control.h"

#include <winsock2.h>
#include <windows.h>
#include <winhttp.h>

#include <nlohmann/json.hpp>

#include "build_config.h"

namespace lumo_test {

namespace {

struct Handle {
  HINTERNET h = nullptr;
  ~Handle() {
    if (h) WinHttpCloseHandle(h);
  }
};

// `port` 0: the port of VerifyServerHost().
bool Send(const wchar_t* verb, const std::wstring& pathAndQuery, const std::string& data,
          DWORD& status, std::string& response, INTERNET_PORT port = 0) {
  const std::wstring url = VerifyServerUrl(pathAndQuery);
  wchar_t host[256] = {};
  wchar_t path[4096] = {};
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = 256;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = 4096;
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;

  Handle session, connection, request;
  session.h = WinHttpOpen(L"lumo-test", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
  if (!session.h) return false;
  connection.h = WinHttpConnect(session.h, host, port != 0 ? port : parts.nPort, 0);
  if (!connection.h) return false;
  request.h = WinHttpOpenRequest(connection.h, verb, path, nullptr, nullptr, nullptr,
                                 WINHTTP_FLAG_SECURE);
  if (!request.h) return false;
  if (!WinHttpSendRequest(request.h, nullptr, 0, const_cast<char*>(data.data()),
                          static_cast<DWORD>(data.size()), static_cast<DWORD>(data.size()), 0) ||
      !WinHttpReceiveResponse(request.h, nullptr)) {
    return false;
  }
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           nullptr, &status, &size, nullptr)) {
    return false;
  }
  response.clear();
  for (;;) {
    char buffer[4096];
    DWORD got = 0;
    if (!WinHttpReadData(request.h, buffer, sizeof(buffer), &got)) return false;
    if (got == 0) return true;
    response.append(buffer, got);
  }
}

// One of the server's other listeners ("second_port", "untrusted_port",
// "other_name_port"), asked on the main port.
INTERNET_PORT InfoPort(const char* key) {
  DWORD status = 0;
  std::string response;
  if (!Send(L"GET", L"/__control/info", std::string(), status, response) || status != 200) {
    return 0;
  }
  const nlohmann::json doc = nlohmann::json::parse(response, nullptr, false);
  return doc.is_object() ? static_cast<INTERNET_PORT>(doc.value(key, 0)) : 0;
}

INTERNET_PORT SecondPort() { return InfoPort("second_port"); }

}  // namespace

std::wstring VerifyServerHost() { return LUMO_VERIFY_HOST_W; }

int UntrustedPort() { return InfoPort("untrusted_port"); }

int OtherNamePort() { return InfoPort("other_name_port"); }

int ClosedLocalPort() {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 0;
  int port = 0;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s != INVALID_SOCKET) {
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(at);
    if (bind(s, reinterpret_cast<sockaddr*>(&at), sizeof(at)) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&at), &size) == 0) {
      port = ntohs(at.sin_port);
    }
    closesocket(s);
  }
  WSACleanup();
  return port;
}

std::wstring VerifyServerUrl(const std::wstring& pathAndQuery) {
  return L"https://" + VerifyServerHost() + pathAndQuery;
}

bool SetVerifyAnswer(int status, const std::string& body) {
  DWORD got = 0;
  std::string response;
  return Send(L"POST", L"/__control/answer?status=" + std::to_wstring(status), body, got,
              response) &&
         got == 204;
}

bool ArmHandshakeStall() {
  DWORD got = 0;
  std::string response;
  return Send(L"POST", L"/__control/stall-handshake", std::string(), got, response) &&
         got == 204;
}

bool ResetVerifyServer() {
  DWORD got = 0;
  std::string response;
  return Send(L"POST", L"/__control/reset", std::string(), got, response) && got == 204;
}

bool ReadLastVerifyRequest(VerifyRequestRecord& out, bool second) {
  // Learnt once, while nothing is armed; the port stays for the server's life.
  static const INTERNET_PORT secondPort = SecondPort();
  if (second && secondPort == 0) return false;
  DWORD status = 0;
  std::string response;
  if (!Send(L"GET", L"/__control/last", std::string(), status, response,
            second ? secondPort : 0) ||
      status != 200) {
    return false;
  }
  const nlohmann::json doc = nlohmann::json::parse(response, nullptr, false);
  if (!doc.is_object()) return false;
  out = VerifyRequestRecord();
  out.count = doc.value("count", -1);
  out.path = doc.value("path", std::string());
  out.stalled = doc.value("stalled", 0);
  if (doc.contains("tokens")) {
    for (auto it = doc["tokens"].begin(); it != doc["tokens"].end(); ++it) {
      out.tokens[it.key()] = it.value().get<int>();
    }
  }
  if (doc.contains("query")) {
    for (auto it = doc["query"].begin(); it != doc["query"].end(); ++it) {
      out.query[it.key()] = it.value().get<std::vector<std::string>>();
    }
  }
  return out.count >= 0;
}

}  // namespace lumo_test
