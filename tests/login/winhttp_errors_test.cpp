// The names of the errors a login meets, and the proxy of its session.
#include "login/winhttp_errors.h"

#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>

#include <string>

#include "login/winhttp_api.h"
#include "login/winhttp_session.h"
#include "support/test_support.h"

namespace {

using lumo::DescribeLoginError;
using lumo::DescribeSecureFailureFlags;

struct HeaderName {
  DWORD value;
  const wchar_t* name;
};
// The value each name has in winhttp.h and winerror.h: the table must give
// every one of them under its own name.
#define LUMO_NAMED(x) {x, L## #x}
const HeaderName kHeaderNames[] = {
    LUMO_NAMED(ERROR_NOT_ENOUGH_MEMORY),
    LUMO_NAMED(ERROR_INVALID_PARAMETER),
    LUMO_NAMED(ERROR_MOD_NOT_FOUND),
    LUMO_NAMED(ERROR_PROC_NOT_FOUND),
    LUMO_NAMED(ERROR_WINHTTP_OUT_OF_HANDLES),
    LUMO_NAMED(ERROR_WINHTTP_TIMEOUT),
    LUMO_NAMED(ERROR_WINHTTP_INTERNAL_ERROR),
    LUMO_NAMED(ERROR_WINHTTP_INVALID_URL),
    LUMO_NAMED(ERROR_WINHTTP_UNRECOGNIZED_SCHEME),
    LUMO_NAMED(ERROR_WINHTTP_NAME_NOT_RESOLVED),
    LUMO_NAMED(ERROR_WINHTTP_OPERATION_CANCELLED),
    LUMO_NAMED(ERROR_WINHTTP_CANNOT_CONNECT),
    LUMO_NAMED(ERROR_WINHTTP_CONNECTION_ERROR),
    LUMO_NAMED(ERROR_WINHTTP_SECURE_CERT_DATE_INVALID),
    LUMO_NAMED(ERROR_WINHTTP_SECURE_CERT_CN_INVALID),
    LUMO_NAMED(ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED),
    LUMO_NAMED(ERROR_WINHTTP_SECURE_INVALID_CA),
    LUMO_NAMED(ERROR_WINHTTP_SECURE_CERT_REV_FAILED),
    LUMO_NAMED(ERROR_WINHTTP_INVALID_SERVER_RESPONSE),
    LUMO_NAMED(ERROR_WINHTTP_REDIRECT_FAILED),
    LUMO_NAMED(ERROR_WINHTTP_SECURE_CHANNEL_ERROR),
    LUMO_NAMED(ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT),
    LUMO_NAMED(ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT),
    LUMO_NAMED(ERROR_WINHTTP_SECURE_INVALID_CERT),
    LUMO_NAMED(ERROR_WINHTTP_SECURE_CERT_REVOKED),
    LUMO_NAMED(ERROR_WINHTTP_NOT_INITIALIZED),
    LUMO_NAMED(ERROR_WINHTTP_SECURE_FAILURE),
    LUMO_NAMED(ERROR_WINHTTP_AUTO_PROXY_SERVICE_ERROR),
    LUMO_NAMED(ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE),
    LUMO_NAMED(ERROR_WINHTTP_AUTODETECTION_FAILED),
    LUMO_NAMED(ERROR_WINHTTP_CLIENT_CERT_NO_PRIVATE_KEY),
    LUMO_NAMED(ERROR_WINHTTP_SECURE_FAILURE_PROXY),
};
#undef LUMO_NAMED

TEST(LoginErrorNames, EachErrorIsGivenByNumberAndItsOwnName) {
  for (const HeaderName& e : kHeaderNames) {
    const std::wstring text = DescribeLoginError(e.value);
    const std::wstring kind = e.value >= 12000 ? L"WinHTTP error " : L"Windows error ";
    const std::wstring prefix = kind + std::to_wstring(e.value) + L" " + e.name + L" (";
    EXPECT_EQ(text.compare(0, prefix.size(), prefix), 0) << lumo_test::Narrow(text);
    EXPECT_EQ(text.back(), L')') << lumo_test::Narrow(text);
    EXPECT_GT(text.size(), prefix.size() + 1) << "no meaning: " << lumo_test::Narrow(text);
  }
}

TEST(LoginErrorNames, AnErrorOutsideTheTableIsGivenByNumber) {
  EXPECT_EQ(DescribeLoginError(0), L"Windows error 0");
  EXPECT_EQ(DescribeLoginError(1460), L"Windows error 1460");
  EXPECT_EQ(DescribeLoginError(12003), L"Windows error 12003");  // WinHTTP's range, but not a login's
  EXPECT_EQ(DescribeLoginError(0xFFFFFFFFu), L"Windows error 4294967295");
}

TEST(LoginErrorNames, CertificateStatusNamesEachFlagSet) {
  EXPECT_EQ(DescribeSecureFailureFlags(0), L"");
  const std::wstring two =
      DescribeSecureFailureFlags(WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA | WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID);
  EXPECT_EQ(two.rfind(L"certificate status 0x00000018: INVALID_CA (", 0), 0u) << lumo_test::Narrow(two);
  EXPECT_NE(two.find(L"), CERT_CN_INVALID ("), std::wstring::npos) << lumo_test::Narrow(two);
  const struct {
    DWORD flag;
    const wchar_t* name;
  } each[] = {
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED, L"CERT_REV_FAILED"},
      {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT, L"INVALID_CERT"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED, L"CERT_REVOKED"},
      {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA, L"INVALID_CA"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID, L"CERT_CN_INVALID"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID, L"CERT_DATE_INVALID"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE, L"CERT_WRONG_USAGE"},
      {WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR, L"SECURITY_CHANNEL_ERROR"},
  };
  for (const auto& f : each) {
    const std::wstring text = DescribeSecureFailureFlags(f.flag);
    EXPECT_NE(text.find(L": " + std::wstring(f.name) + L" ("), std::wstring::npos) << lumo_test::Narrow(text);
    EXPECT_EQ(text.find(L", "), std::wstring::npos) << "more than one name: " << lumo_test::Narrow(text);
  }
  // A bit without a name keeps its number only.
  EXPECT_EQ(DescribeSecureFailureFlags(0x100), L"certificate status 0x00000100");
}

// WinHttpOpen as Windows before 8.1 answers it: the automatic proxy is an
// access type it does not know. Wine, like Windows 8.1 and later, takes it.
int g_opens = 0;
DWORD g_accessTypes[2] = {};
DWORD g_refusal = ERROR_INVALID_PARAMETER;

HINTERNET WINAPI OpenRefusingAutomaticProxy(LPCWSTR agent, DWORD access, LPCWSTR proxy, LPCWSTR bypass,
                                            DWORD flags) {
  if (g_opens < 2) g_accessTypes[g_opens] = access;
  ++g_opens;
  if (access == WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY) {
    SetLastError(g_refusal);
    return nullptr;
  }
  return lumo::GetWinHttpApi()->Open(agent, access, proxy, bypass, flags);
}

TEST(LoginSession, TakesTheAutomaticProxy) {
  const lumo::WinHttpApi* api = lumo::GetWinHttpApi();
  ASSERT_NE(api, nullptr);
  lumo::ProxyMode mode = lumo::ProxyMode::kNone;
  DWORD error = 1;
  HINTERNET session = lumo::OpenWinHttpSession(*api, L"test", mode, error);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(mode, lumo::ProxyMode::kAutomatic);
  EXPECT_EQ(error, 0u);
  api->CloseHandle(session);
}

TEST(LoginSession, FallsBackToWinHttpsOwnSettingWhereTheAutomaticProxyIsRefused) {
  lumo::WinHttpApi api = *lumo::GetWinHttpApi();
  api.Open = &OpenRefusingAutomaticProxy;
  g_opens = 0;
  g_refusal = ERROR_INVALID_PARAMETER;
  lumo::ProxyMode mode = lumo::ProxyMode::kNone;
  DWORD error = 1;
  HINTERNET session = lumo::OpenWinHttpSession(api, L"test", mode, error);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(mode, lumo::ProxyMode::kWinHttpDefault);
  EXPECT_EQ(error, 0u);
  ASSERT_EQ(g_opens, 2);
  EXPECT_EQ(g_accessTypes[0], static_cast<DWORD>(WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY));
  EXPECT_EQ(g_accessTypes[1], static_cast<DWORD>(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY));
  api.CloseHandle(session);

  // Any other refusal is the session's failure, not the access type's.
  g_opens = 0;
  g_refusal = ERROR_NOT_ENOUGH_MEMORY;
  EXPECT_EQ(lumo::OpenWinHttpSession(api, L"test", mode, error), nullptr);
  EXPECT_EQ(g_opens, 1);
  EXPECT_EQ(mode, lumo::ProxyMode::kNone);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

}  // namespace
