// Login: the work behind lumoGameLogin, on the game's window thread.
#include <cstring>
#include <cwchar>
#include <string>

#include "diag/log.h"
#include "launch/launch_params.h"
#include "login/verify_login.h"
#include "sdk/operations.h"

namespace lumo {

SdkError Login(SdkContext& ctx) {
  if (!ctx.initialised) {
    SdkLog(L"Login failed err=%d (NotInitialized)", SdkError_NotInitialized);
    return SdkError_NotInitialized;
  }
  // One success is enough for the whole session: no second request.
  if (ctx.loggedIn) return SdkError_Ok;

  if (!EnsureLaunchParamsLoaded(ctx)) {
    SdkLog(L"Login failed err=%d (LoginNoToken)", SdkError_LoginNoToken);
    return SdkError_LoginNoToken;
  }
  const wchar_t* stored = ctx.launchParams.token;
  if (stored[0] == L'\0') {
    SdkLog(L"Login failed err=%d (LoginNoToken)", SdkError_LoginNoToken);
    return SdkError_LoginNoToken;
  }

  const std::wstring token(stored, wcsnlen(stored, _countof(ctx.launchParams.token)));
  LoginInfo info;
  std::memset(&info, 0, sizeof(info));
  if (!VerifyLoginToken(token.c_str(), &info)) {
    // The record of an earlier session stays as it was.
    SdkLog(L"Login failed err=%d (LoginVerifyFailed)", SdkError_LoginVerifyFailed);
    return SdkError_LoginVerifyFailed;
  }
  std::memcpy(&ctx.loginInfo, &info, sizeof(info));
  ctx.loggedIn = true;
  SdkLog(L"Login success");
  return SdkError_Ok;
}

}  // namespace lumo
