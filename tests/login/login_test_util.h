// Shared pieces of the login tests: expected records and server checks.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "LumoGameSDK.h"
#include "login/verify_control.h"
#include "support/test_support.h"

namespace lumo_test {

// A record as VerifyLoginToken leaves it: size 288, the given fields, every
// other byte zero.
inline LoginInfo MakeRecord(int64_t uid, const std::wstring& appid, const std::wstring& sid,
                            int64_t time, int32_t utype) {
  LoginInfo r;
  std::memset(&r, 0, sizeof(r));
  r.size = 288;
  r.uid = uid;
  std::memcpy(r.appid, appid.c_str(), appid.size() * sizeof(wchar_t));
  std::memcpy(r.sid, sid.c_str(), sid.size() * sizeof(wchar_t));
  r.time = time;
  r.utype = utype;
  return r;
}

inline ::testing::AssertionResult SameBytes(const LoginInfo& got, const LoginInfo& want) {
  if (std::memcmp(&got, &want, sizeof(LoginInfo)) == 0) return ::testing::AssertionSuccess();
  const unsigned char* g = reinterpret_cast<const unsigned char*>(&got);
  const unsigned char* w = reinterpret_cast<const unsigned char*>(&want);
  size_t at = 0;
  while (g[at] == w[at]) ++at;
  return ::testing::AssertionFailure()
         << "records differ from byte " << at << ": size " << got.size << " uid " << got.uid
         << " appid \"" << Narrow(std::wstring(got.appid, wcsnlen(got.appid, 64))) << "\" sid \""
         << Narrow(std::wstring(got.sid, wcsnlen(got.sid, 64))) << "\" time " << got.time
         << " utype " << got.utype << " (expected uid " << want.uid << " time " << want.time
         << " utype " << want.utype << ")";
}

inline int VerifyRequestCount() {
  VerifyRequestRecord last;
  return ReadLastVerifyRequest(last) ? last.count : -1;
}

inline ::testing::AssertionResult VerifyServerAnswers() {
  if (SetVerifyAnswer(200, "")) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "the verify server at " << Narrow(VerifyServerHost())
         << " does not answer; run the tests through scripts/test.sh";
}

}  // namespace lumo_test
