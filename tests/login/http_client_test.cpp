// HttpGet against the local HTTPS verify server.
#include "login/http_client.h"

#include <gtest/gtest.h>

#include <string>

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
  // Same server, reached by address: its certificate names only localhost.
  const std::wstring host = lumo_test::VerifyServerHost();
  const std::wstring port = host.substr(host.find(L':'));
  const int before = lumo_test::VerifyRequestCount();
  std::string body;
  EXPECT_FALSE(HttpGet((L"https://127.0.0.1" + port + L"/x").c_str(), body));
  EXPECT_EQ(lumo_test::VerifyRequestCount(), before);
}

TEST_F(HttpGetTest, OneByteOverTheCapFailsAsTooLarge) {
  ASSERT_TRUE(SetVerifyAnswer(200, std::string(lumo::kMaxBodyBytes + 1, 'x')));
  std::string body;
  HttpFailure why = HttpFailure::kNone;
  EXPECT_FALSE(HttpGet(VerifyServerUrl(L"/x").c_str(), body, &why));
  EXPECT_EQ(why, HttpFailure::kTooLarge);
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
    HttpFailure why = HttpFailure::kNone;
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(HttpGet(VerifyServerUrl(std::wstring(L"/v?token=") + c.token).c_str(), body,
                         &why, deadlineMs))
        << lumo_test::Narrow(c.token);
    // An upper bound that catches a hang, not a speed goal.
    EXPECT_LT(GetTickCount64() - start, deadlineMs + 10000u) << lumo_test::Narrow(c.token);
    EXPECT_EQ(why, c.why) << lumo_test::Narrow(c.token);
    EXPECT_LE(body.size(), lumo::kMaxBodyBytes) << lumo_test::Narrow(c.token);
  }
}

}  // namespace
