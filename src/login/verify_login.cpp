#include "login/verify_login.h"

#include <cstring>

#include "build_config.h"
#include "diag/log.h"
#include "diag/utf8.h"
#include "login/http_client.h"
#include "login/percent_encode.h"
#include "login/verify_host.h"
#include "login/verify_response.h"

namespace lumo {

std::wstring MakeVerifyUrl(const wchar_t* host, const wchar_t* token) {
  // Encoded, so that "&", "=", "#", "+", "%" or "/" in a token cannot add a
  // parameter, cut the token short or be decoded into something else.
  const std::string encoded = PercentEncode(Utf16ToUtf8(token));
  std::wstring url = L"https://";
  url += host;
  url += L"/game_login/verify?token=";
  url.append(encoded.begin(), encoded.end());  // ASCII only
  return url;
}

bool VerifyLoginTokenWith(const wchar_t* builtInHost, const wchar_t* token, LoginInfo* info,
                          std::wstring* cause) {
  std::wstring ignored;
  std::wstring& why = cause != nullptr ? *cause : ignored;
  why.clear();
  if (info == nullptr) {
    why = L"no record";
    return false;
  }
  std::memset(info, 0, sizeof(*info));
  info->size = static_cast<int32_t>(sizeof(LoginInfo));

  if (token == nullptr || token[0] == L'\0') {
    SdkLog(L"VerifyLoginToken empty token");
    why = L"empty token";
    return false;
  }

  bool overridden = false;
  const std::wstring host = ChooseVerifyHost(builtInHost, &overridden);
  if (overridden) {
    SdkLog(L"VerifyLoginToken verify host %ls (development override from LumoGameSDK.ini)",
           host.c_str());
  } else {
    SdkLog(L"VerifyLoginToken verify host %ls", host.c_str());
  }

  const std::wstring url = MakeVerifyUrl(host.c_str(), token);
  std::string body;
  HttpOutcome outcome;
  // The status code is not consulted (apart from refusing redirects): any
  // answer with a body is judged by its content alone.
  const bool got = HttpGet(url.c_str(), body, &outcome);
  if (outcome.proxy != ProxyMode::kNone) SdkLog(L"VerifyLoginToken proxy: %ls", ProxyModeText(outcome.proxy));
  if (!got || body.empty()) {
    why = got ? L"empty body (HTTP status " + std::to_wstring(outcome.status) + L")" : DescribeHttpFailure(outcome);
    SdkLog(L"VerifyLoginToken http failed: %ls", why.c_str());
    why = L"http failed: " + why;
    return false;
  }
  if (!ParseVerifyResponse(body, info)) {
    why = L"the answer (HTTP status " + std::to_wstring(outcome.status) + L", " + std::to_wstring(body.size()) +
          L" bytes) is not one of a verified token";
    SdkLog(L"VerifyLoginToken verify failed: %ls", why.c_str());
    int32_t code = 0;
    if (ReadVerifyCode(body, code) && code != 0) SdkLog(L"VerifyLoginToken refused by the server: code %d", code);
    why = L"verify failed: " + why;
    return false;
  }
  SdkLog(L"VerifyLoginToken success");
  return true;
}

bool VerifyLoginToken(const wchar_t* token, LoginInfo* info, std::wstring* cause) {
  return VerifyLoginTokenWith(LUMO_VERIFY_HOST_W, token, info, cause);
}

}  // namespace lumo
