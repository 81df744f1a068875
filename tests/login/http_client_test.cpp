// HttpGet against the local HTTPS verify server.
#include "login/http_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "login/login_test_util.h"

namespace {

using lumo::HttpFailure;
using lumo::HttpGet;
using lumo_test::ReadLastVerifyRequest;
using lumo_test::SetVerifyAnswer;
using lumo_test::VerifyRequestRecord;
using lumo_test::VerifyServerUrl;

class HttpGetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(lumo_test::VerifyServerAnswers()); }
};

TEST_F(HttpGetTest, ReturnsTheBodyByteForByteWhateverTheStatus) {
  // Zero bytes, bytes that are not UTF-8, and enough of them to need
  // several reads: exactly as many as a body may have.
  std::string bytes("\0\xFF\xFE\x80 ok \0\xC3", 10);
  for (int i = 0; bytes.size() < lumo::kMaxBodyBytes; ++i) {
    bytes.push_back(static_cast<char>(i * 7919 % 256));
  }
  struct {
    int status;
    std::string body;
  } cases[] = {{200, bytes}, {404, "not here"}, {500, std::string("\0", 1)}, {200, ""}};
  for (const auto& c : cases) {
    ASSERT_TRUE(SetVerifyAnswer(c.status, c.body));
    std::string body = "stale";
    EXPECT_TRUE(HttpGet(VerifyServerUrl(L"/any/path?x=1").c_str(), body)) << c.status;
    EXPECT_TRUE(body == c.body) << "status " << c.status << ": got " << body.size()
                                << " bytes, expected " << c.body.size();
  }
  VerifyRequestRecord last;
  ASSERT_TRUE(ReadLastVerifyRequest(last));
  EXPECT_EQ(last.path, "/any/path?x=1");
}

TEST_F(HttpGetTest, UrlsThatDoNotFitFailWithoutARequest) {
  const int before = lumo_test::VerifyRequestCount();
  std::string body = "stale";
  // Path and query of 2048 units, one more than the path buffer holds.
  EXPECT_FALSE(HttpGet(VerifyServerUrl(L"/" + std::wstring(2047, L'p')).c_str(), body));
  EXPECT_TRUE(body.empty());
  const std::wstring longHost = L"https://" + std::wstring(300, L'h') + L".test/";
  EXPECT_FALSE(HttpGet(longHost.c_str(), body));
  EXPECT_FALSE(HttpGet(L"not a url", body));
  EXPECT_EQ(lumo_test::VerifyRequestCount(), before);
  // The longest path that fits goes out.
  const std::wstring longest = L"/" + std::wstring(2046, L'p');
  EXPECT_TRUE(HttpGet(VerifyServerUrl(longest).c_str(), body));
  EXPECT_EQ(lumo_test::VerifyRequestCount(), before + 1);
}

TEST_F(HttpGetTest, ACertificateForAnotherNameIsNotAccepted) {
  // The server's listener whose certificate names only localhost, reached
  // by address.
  const int otherName = lumo_test::OtherNamePort();
  ASSERT_NE(otherName, 0);
  const int before = lumo_test::VerifyRequestCount();
  std::string body;
  EXPECT_FALSE(HttpGet((L"https://127.0.0.1:" + std::to_wstring(otherName) + L"/x").c_str(), body));
  EXPECT_EQ(lumo_test::VerifyRequestCount(), before);
}

TEST_F(HttpGetTest, OneByteOverTheCapFailsAsTooLarge) {
  ASSERT_TRUE(SetVerifyAnswer(200, std::string(lumo::kMaxBodyBytes + 1, 'x')));
  std::string body;
  lumo::HttpOutcome outcome;
  EXPECT_FALSE(HttpGet(VerifyServerUrl(L"/x").c_str(), body, &outcome));
  EXPECT_EQ(outcome.failure, HttpFailure::kTooLarge);
}

// Each misbehaviour of the server (chosen by the token) under a short
// deadline: the call ends in time and says why.
TEST_F(HttpGetTest, MisbehavingServersFailInTimeWithTheirReason) {
  const DWORD deadlineMs = 3000;
  struct {
    const wchar_t* token;
    HttpFailure why;
  } cases[] = {
      {L"hostile-silent", HttpFailure::kTimeout},
      {L"hostile-drip", HttpFailure::kTimeout},
      {L"hostile-huge", HttpFailure::kTooLarge},
      {L"hostile-unannounced", HttpFailure::kTooLarge},
      {L"hostile-short", HttpFailure::kTooLarge},  // by its Content-Length
      {L"hostile-cut", HttpFailure::kTruncated},
      {L"hostile-redirect", HttpFailure::kRedirect},
  };
  ASSERT_TRUE(SetVerifyAnswer(200, "{\"code\":0}"));
  for (const auto& c : cases) {
    std::string body;
    lumo::HttpOutcome outcome;
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(HttpGet(VerifyServerUrl(std::wstring(L"/v?token=") + c.token).c_str(), body,
                         &outcome, deadlineMs))
        << lumo_test::Narrow(c.token);
    // An upper bound that catches a hang, not a speed goal.
    EXPECT_LT(GetTickCount64() - start, deadlineMs + 10000u) << lumo_test::Narrow(c.token);
    EXPECT_EQ(outcome.failure, c.why) << lumo_test::Narrow(c.token);
    EXPECT_LE(body.size(), lumo::kMaxBodyBytes) << lumo_test::Narrow(c.token);
  }
}

struct FailureCase {
  const char* what;
  std::wstring url;
  std::vector<DWORD> errors;  // what Windows gives, and Wine where it differs
  DWORD flag;                 // the certificate status bit, where one is reported
};

// Real failures, each named by the WinHTTP call that failed and its error.
// Windows reports a refused certificate as 12175 with the certificate status
// (12045 or 12038 from some calls); Wine 8 reports 12157 and no status.
// Where a status comes, the cause names it.
TEST_F(HttpGetTest, RealFailuresNameTheirCause) {
  const int closed = lumo_test::ClosedLocalPort();
  ASSERT_NE(closed, 0);
  const int untrusted = lumo_test::UntrustedPort();
  ASSERT_NE(untrusted, 0) << "the verify server has no untrusted listener";
  const int otherName = lumo_test::OtherNamePort();
  ASSERT_NE(otherName, 0) << "the verify server has no listener whose certificate names localhost alone";
  const FailureCase cases[] = {
      {"name that does not resolve", L"https://verify.lumo.invalid/x", {ERROR_WINHTTP_NAME_NOT_RESOLVED}, 0},
      {"closed port", L"https://localhost:" + std::to_wstring(closed) + L"/x", {ERROR_WINHTTP_CANNOT_CONNECT}, 0},
      {"certificate no authority vouches for", L"https://localhost:" + std::to_wstring(untrusted) + L"/x",
       {ERROR_WINHTTP_SECURE_FAILURE, ERROR_WINHTTP_SECURE_INVALID_CA, ERROR_WINHTTP_SECURE_CHANNEL_ERROR},
       WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA},
      {"certificate for another name", L"https://127.0.0.1:" + std::to_wstring(otherName) + L"/x",
       {ERROR_WINHTTP_SECURE_FAILURE, ERROR_WINHTTP_SECURE_CERT_CN_INVALID, ERROR_WINHTTP_SECURE_CHANNEL_ERROR},
       WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID},
  };
  for (const FailureCase& c : cases) {
    std::string body;
    lumo::HttpOutcome outcome;
    EXPECT_FALSE(HttpGet(c.url.c_str(), body, &outcome)) << c.what;
    EXPECT_EQ(outcome.failure, HttpFailure::kFailed) << c.what;
    EXPECT_EQ(outcome.proxy, lumo::ProxyMode::kAutomatic) << c.what;
    ASSERT_NE(outcome.call, nullptr) << c.what;
    EXPECT_STREQ(outcome.call, L"WinHttpSendRequest") << c.what;
    EXPECT_NE(std::find(c.errors.begin(), c.errors.end(), outcome.error), c.errors.end())
        << c.what << ": error " << outcome.error;
    const std::wstring text = lumo::DescribeHttpFailure(outcome);
    const std::wstring named = L"request failed in WinHttpSendRequest: WinHTTP error " +
                               std::to_wstring(outcome.error) + L" ERROR_WINHTTP_";
    EXPECT_EQ(text.rfind(named, 0), 0u) << c.what << ": " << lumo_test::Narrow(text);
    EXPECT_EQ(text.find(L"; certificate status 0x") != std::wstring::npos, outcome.certificateFlags != 0)
        << lumo_test::Narrow(text);
    // Windows' 12175 always comes with the status that says why.
    if (outcome.error == ERROR_WINHTTP_SECURE_FAILURE) EXPECT_NE(outcome.certificateFlags & c.flag, 0u) << c.what;
    if (c.flag == 0) EXPECT_EQ(outcome.certificateFlags, 0u) << c.what;
  }
}

}  // namespace
