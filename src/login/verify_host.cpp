#include "login/verify_host.h"

#include <windows.h>

#include "diag/log.h"
#include "diag/sdk_ini.h"
#include "diag/text_convert.h"
#include "diag/utf8.h"
#include "login/dev_verify_host.h"

namespace lumo {

namespace {

// Longer values are no host name anyway; they are read cut and refused.
constexpr DWORD kValueUnits = 300;

const wchar_t* IgnoredBecause(DevVerifyHost verdict) {
  switch (verdict) {
    case DevVerifyHost::kNotLoopback: return L"only localhost, 127.0.0.1 or [::1] are allowed";
    case DevVerifyHost::kNoPort: return L"a port is required";
    case DevVerifyHost::kBadPort: return L"the port is not a number from 1 to 65535";
    default: return L"";
  }
}

}  // namespace

std::wstring ChooseVerifyHost(const wchar_t* builtIn, bool* overridden) {
  if (overridden != nullptr) *overridden = false;
  const std::wstring fallback = builtIn != nullptr ? builtIn : L"";
  wchar_t value[kValueUnits] = {};
  ReadSdkIniString(L"dev", L"verify_host", L"", value, kValueUnits);
  std::string hostPort;
  const DevVerifyHost verdict = ParseDevVerifyHost(Utf16ToUtf8(value), hostPort);
  if (verdict == DevVerifyHost::kAbsent) return fallback;
  if (verdict != DevVerifyHost::kHonoured) {
    SdkLog(L"LumoGameSDK.ini [dev] verify_host ignored: %ls", IgnoredBecause(verdict));
    return fallback;
  }
  if (overridden != nullptr) *overridden = true;
  return Utf8ToWide(hostPort.c_str(), -1);  // ASCII only
}

}  // namespace lumo
