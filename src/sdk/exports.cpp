// The five C exports. Each logs its entry line, fetches the SdkContext and
// hands it to the operation; no C++ exception ever crosses this boundary.
#include "LumoGameSDK.h"

#include <exception>

#include "diag/log.h"
#include "sdk/operations.h"
#include "sdk/sdk_context.h"

using namespace lumo;

namespace {

// Runs `work`; an escaping exception (allocation failure, a serialiser error,
// a thread that could not start) is logged and answered with `code`.
template <typename Work>
SdkError Guarded(const wchar_t* failureFormat, SdkError code, Work&& work) {
  try {
    return work();
  } catch (...) {
    try {
      SdkLog(failureFormat, static_cast<int>(code));
    } catch (...) {
    }
    return code;
  }
}

}  // namespace

extern "C" {

LUMO_API SdkError LUMO_CALL lumoGameInit(void) {
  return Guarded(L"Init failed err=%d (IpcGameStartFailed)", SdkError_IpcGameStartFailed, [] {
    SdkLog(L"lumoGameInit enter");
    return Init(GetSdkContext());
  });
}

LUMO_API SdkError LUMO_CALL lumoGameLogin(void) {
  return Guarded(L"Login failed err=%d (LoginVerifyFailed)", SdkError_LoginVerifyFailed, [] {
    SdkLog(L"lumoGameLogin enter");
    return Login(GetSdkContext());
  });
}

LUMO_API const LoginInfo* LUMO_CALL lumoGetLoginInfo(void) {
  try {
    SdkContext& ctx = GetSdkContext();
    return ctx.loggedIn ? &ctx.loginInfo : nullptr;
  } catch (...) {
    return nullptr;
  }
}

LUMO_API SdkError LUMO_CALL lumoShowPay(const char* text) {
  return Guarded(L"ShowPay failed err=%d (IpcPostFailed)", SdkError_IpcPostFailed, [text] {
    SdkLog(L"lumoShowPay enter");
    return ShowPay(GetSdkContext(), text);
  });
}

LUMO_API void LUMO_CALL lumoGameUninit(void) {
  Guarded(L"Uninit failed", SdkError_Ok, [] {
    SdkLog(L"lumoGameUninit enter");
    Uninit(GetSdkContext());
    return SdkError_Ok;
  });
}

}  // extern "C"
