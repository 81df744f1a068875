#include "login/verify_login.h"

#include <cstring>

#include "build_config.h"
#include "diag/log.h"
#include "diag/text_convert.h"
#include "login/http_client.h"
#include "login/percent_encode.h"
#include "login/verify_host.h"
#include "login/verify_response.h"

namespace lumo {

std::wstring MakeVerifyUrl(const wchar_t* host, const wchar_t* token) {
  // Encoded, so that "&", "=", "#", "+", "%" or "/" in a token cannot add a
  // parameter, cut the token short or be decoded into something else.
  const std::string encoded = PercentEncode(WideToMultiByte(token, -1, CP_UTF8));
  std::wstring url = L"https://";
  url += host;
  url += L"/game_login/verify?token=";
  url.append(encoded.begin(), encoded.end());  // ASCII only
  return url;
}

bool VerifyLoginTokenWith(const wchar_t* builtInHost, const wchar_t* token, LoginInfo* info) {
  if (info == nullptr) return false;
  std::memset(info, 0, sizeof(*info));
  info->size = static_cast<int32_t>(sizeof(LoginInfo));

  if (token == nullptr || token[0] == L'\0') {
    SdkLog(L"VerifyLoginToken empty token");
    return false;
  }

  bool overridden = false;
  const std::wstring host = ChooseVerifyHost(builtInHost, &overridden);
  if (overridden) {
    SdkLog(L"VerifyLoginToken verify host %s (development override from LumoGameSDK.ini)",
           host.c_str());
  } else {
    SdkLog(L"VerifyLoginToken verify host %s", host.c_str());
  }

  const std::wstring url = MakeVerifyUrl(host.c_str(), token);
  std::string body;
  HttpFailure failure = HttpFailure::kNone;
  // The status code is not consulted (apart from refusing redirects): any
  // answer with a body is judged by its content alone.
  const bool got = HttpGet(url.c_str(), body, &failure);
  if (!got || body.empty()) {
    SdkLog(L"VerifyLoginToken http failed");
    if (!got) SdkLog(L"VerifyLoginToken http %s", HttpFailureText(failure));
    return false;
  }
  if (!ParseVerifyResponse(body, info)) {
    SdkLog(L"VerifyLoginToken verify failed");
    return false;
  }
  SdkLog(L"VerifyLoginToken success");
  return true;
}

bool VerifyLoginToken(const wchar_t* token, LoginInfo* info) {
  return VerifyLoginTokenWith(LUMO_VERIFY_HOST_W, token, info);
}

}  // namespace lumo
