// Login: the work behind lumoGameLogin, on the game's window thread.
#include <cstring>
#include <cwchar>
#include <string>

#include "diag/log.h"
#include "login/verify_login.h"
#include "sdk/operations.h"

namespace lumo {

SdkError Login(SdkContext& ctx) {
  std::wstring token;
  uint32_t session = 0;
  {
    nbase::AutoLock lifecycle(ctx.lifecycle);
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
    token.assign(stored, wcsnlen(stored, _countof(ctx.launchParams.token)));
    session = ctx.sessionsEnded.load();
  }

  // The request runs without the lock, so that shutdown on another thread
  // is not held up by it.
  LoginInfo info;
  std::memset(&info, 0, sizeof(info));
  if (!VerifyLoginToken(token.c_str(), &info)) {
    // The record of an earlier session stays as it was.
    SdkLog(L"Login failed err=%d (LoginVerifyFailed)", SdkError_LoginVerifyFailed);
    return SdkError_LoginVerifyFailed;
  }

  nbase::AutoLock lifecycle(ctx.lifecycle);
  if (!ctx.initialised || ctx.sessionsEnded.load() != session) {
    // Shut down while the request ran: the answer belongs to no session.
    SdkLog(L"Login failed err=%d (NotInitialized)", SdkError_NotInitialized);
    return SdkError_NotInitialized;
  }
  if (!ctx.loggedIn) std::memcpy(&ctx.loginInfo, &info, sizeof(info));
  ctx.loggedIn = true;
  SdkLog(L"Login success");
  return SdkError_Ok;
}

}  // namespace lumo
