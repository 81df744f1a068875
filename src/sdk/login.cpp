// Login: the work behind lumoGameLogin, on whichever thread calls it.
//
// The request runs on a helper thread while the calling thread waits for it,
// serving sent messages only (helper_call.h): the game's window thread calls
// it typically, and once that window is embedded the host's window thread
// sends to it and waits for the answer, so a slow or silent verify server
// must not stop the launcher.
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "diag/log.h"
#include "login/http_client.h"
#include "login/verify_login.h"
#include "nbase/thread.h"
#include "sdk/helper_call.h"
#include "sdk/operations.h"

namespace lumo {

namespace {

// A helper that has not begun by then is called off and the request is not
// sent: a thread that holds the loader lock (lumoGameLogin inside a
// DllMain) cannot have a new thread begin at all, and WinHTTP, which loads
// DLLs and waits on threads of its own, must not run under that lock.
// Short against the request's own deadline, long against a thread start on
// a busy machine.
constexpr DWORD kHelperStartBoundMs = nbase::kThreadStartBoundMs;
// The request ends by its own deadline and WinHTTP's report that the
// request is gone; the wait is bounded all the same.
constexpr DWORD kRequestWaitMs = kHttpDeadlineMs + kHandleClosingWaitMs + 2000;

// What the helper and the caller share; the last of the two frees it.
struct VerifyJob {
  std::wstring token;
  LoginInfo info;
  bool verified = false;
  std::wstring cause;
};

// VerifyLoginToken on a helper thread. False when it failed, when no helper
// could begin (the request is then never sent) or when the request outlived
// the wait (its answer is then dropped); `cause` says which, for the
// failure line.
bool VerifyServingSentMessages(const std::wstring& token, LoginInfo* info, std::wstring& cause) {
  std::shared_ptr<VerifyJob> job = std::make_shared<VerifyJob>();
  job->token = token;
  std::memset(&job->info, 0, sizeof(job->info));
  switch (RunOnHelperThread(
      [job] { job->verified = VerifyLoginToken(job->token.c_str(), &job->info, &job->cause); }, nullptr,
      kHelperStartBoundMs, kRequestWaitMs)) {
    case HelperCallResult::Finished:
      std::memcpy(info, &job->info, sizeof(*info));
      cause = job->cause;
      return job->verified;
    case HelperCallResult::TimedOut:
      SdkLog(L"Login request not done in %lu ms, its answer will be ignored", static_cast<unsigned long>(kRequestWaitMs));
      cause = L"the request did not end within " + std::to_wstring(kRequestWaitMs) + L" ms";
      return false;
    case HelperCallResult::NotStarted:
    default:
      SdkLog(L"Login cannot start the request thread within %lu ms (no thread begins while the loader lock is "
             L"held): the request was not sent; lumoGameLogin belongs outside DllMain, or another thread held the "
             L"loader lock all that time",
             static_cast<unsigned long>(kHelperStartBoundMs));
      cause = L"the request thread could not start: call lumoGameLogin outside DllMain (or another thread held the "
              L"loader lock for " + std::to_wstring(kHelperStartBoundMs) + L" ms)";
      return false;
  }
}

}  // namespace

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

    EnsureLaunchParamsLoaded(ctx);
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
  std::wstring cause;
  if (!VerifyServingSentMessages(token, &info, cause)) {
    // The record of an earlier session stays as it was.
    SdkLog(L"Login failed err=%d (LoginVerifyFailed): %ls", SdkError_LoginVerifyFailed, cause.c_str());
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
