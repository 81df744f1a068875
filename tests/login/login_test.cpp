// Login on a test-owned SdkContext against the local verify server, and the
// log lines of the login path as a separate process writes them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "login/login_test_util.h"
#include "support/test_support.h"
#include "support/text_codec.h"
#include "sdk/operations.h"
#include "sdk/sdk_context.h"

namespace {

using lumo::SdkContext;
using lumo_test::MakeRecord;
using lumo_test::SameBytes;
using lumo_test::SetVerifyAnswer;
using lumo_test::VerifyRequestCount;

const char kSuccess[] =
    "{\"code\":0,\"data\":{\"uid\":77,\"appid\":\"app\",\"sid\":\"sess\",\"time\":5,\"utype\":3}}";
const char kRejected[] = "{\"code\":1001,\"data\":{}}";

class LoginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lumo_test::VerifyServerAnswers());
    // As Init and the command line would leave it, without either.
    ctx_.initialised = true;
    ctx_.launchParamsLoaded = true;
    wcscpy_s(ctx_.launchParams.token, L"player-token");
  }
  SdkContext ctx_;
};

TEST_F(LoginTest, BeforeInitAnswersNotInitializedWithoutARequest) {
  ctx_.initialised = false;
  ASSERT_TRUE(SetVerifyAnswer(200, kSuccess));
  const int before = VerifyRequestCount();
  EXPECT_EQ(lumo::Login(ctx_), SdkError_NotInitialized);
  EXPECT_FALSE(ctx_.loggedIn);
  EXPECT_EQ(VerifyRequestCount(), before);
}

TEST_F(LoginTest, WithoutTokenEveryCallAnswersNoToken) {
  ctx_.launchParams.token[0] = L'\0';
  ASSERT_TRUE(SetVerifyAnswer(200, kSuccess));
  const int before = VerifyRequestCount();
  EXPECT_EQ(lumo::Login(ctx_), SdkError_LoginNoToken);
  EXPECT_EQ(lumo::Login(ctx_), SdkError_LoginNoToken);
  EXPECT_FALSE(ctx_.loggedIn);
  EXPECT_EQ(VerifyRequestCount(), before);
}

TEST_F(LoginTest, RejectionLeavesTheRecordAsItWas) {
  std::memset(&ctx_.loginInfo, 0x5A, sizeof(ctx_.loginInfo));
  const LoginInfo earlier = ctx_.loginInfo;
  for (const char* body : {kRejected, ""}) {
    ASSERT_TRUE(SetVerifyAnswer(200, body));
    EXPECT_EQ(lumo::Login(ctx_), SdkError_LoginVerifyFailed) << body;
    EXPECT_FALSE(ctx_.loggedIn);
    EXPECT_TRUE(SameBytes(ctx_.loginInfo, earlier));
  }
}

TEST_F(LoginTest, SuccessStoresTheRecordAndLaterCallsSendNothing) {
  // A failed attempt first: the next call asks again.
  ASSERT_TRUE(SetVerifyAnswer(200, kRejected));
  EXPECT_EQ(lumo::Login(ctx_), SdkError_LoginVerifyFailed);
  ASSERT_TRUE(SetVerifyAnswer(200, kSuccess));
  const int before = VerifyRequestCount();
  EXPECT_EQ(lumo::Login(ctx_), SdkError_Ok);
  EXPECT_TRUE(ctx_.loggedIn);
  EXPECT_TRUE(SameBytes(ctx_.loginInfo, MakeRecord(77, L"app", L"sess", 5, 3)));
  EXPECT_EQ(VerifyRequestCount(), before + 1);

  ASSERT_TRUE(SetVerifyAnswer(200, kRejected));
  EXPECT_EQ(lumo::Login(ctx_), SdkError_Ok);
  EXPECT_TRUE(SameBytes(ctx_.loginInfo, MakeRecord(77, L"app", L"sess", 5, 3)));
  EXPECT_EQ(VerifyRequestCount(), before + 1);
}

// The log is switched on by an INI file beside the executable and read once
// per process, so the probe runs as a copy in a folder of its own.
struct LogRun {
  std::string output;             // the probe's stdout: one result per step
  std::vector<std::string> lines; // log messages, without stamp and prefix
};

LogRun RunProbe(const std::wstring& steps, const std::string& moreIni = "") {
  LogRun run;
  const std::string ini = "[main]\r\nlog=1\r\n" + moreIni;
  const lumo_test::ProbeFolder probe({L"login_log_probe.exe"}, ini.c_str());
  EXPECT_EQ(probe.Run(L"login_log_probe.exe", steps, &run.output), 0u) << run.output;
  run.lines = lumo_test::LogMessages(probe.Log(L"login_log_probe.exe"));
  return run;
}

std::wstring Answer(int status, const std::string& body) {
  return L"answer=" + std::to_wstring(status) + L":" + lumo_test::Widen(lumo_test::ToHex(body));
}

std::string HostLine() {
  return "VerifyLoginToken verify host " + lumo_test::Narrow(lumo_test::VerifyServerHost());
}

const char kProxyLine[] =
    "VerifyLoginToken proxy: automatic (Windows' and the user's proxy settings, proxy script, auto-detection)";

// Each failure line ends with its cause, and the login's line repeats it.
TEST(LoginLog, EachOutcomeWritesItsLines) {
  ASSERT_TRUE(lumo_test::VerifyServerAnswers());
  // The misbehaving answers are chosen by the token (see verify_server.py).
  const LogRun run = RunProbe(
      L"login init verify= token= login login token=t1 " + Answer(404, "") + L" login " +
      Answer(200, kRejected) + L" login token=hostile-redirect login token=hostile-short login "
      L"token=hostile-cut login token=t2 " + Answer(200, kSuccess) + L" login login");
  EXPECT_EQ(run.output, "-6 0 -10 -10 -12 -12 -12 -12 -12 0 0 ");
  const std::string host = HostLine();
  const std::string rejected = "the answer (HTTP status 200, " + std::to_string(std::strlen(kRejected)) +
                               " bytes) is not one of a verified token";
  const std::vector<std::string> expected = {
      "Login failed err=-6 (NotInitialized)",
      "VerifyLoginToken empty token",
      "Login failed err=-10 (LoginNoToken)",
      "Login failed err=-10 (LoginNoToken)",
      host,
      kProxyLine,
      "VerifyLoginToken http failed: empty body (HTTP status 404)",
      "Login failed err=-12 (LoginVerifyFailed): http failed: empty body (HTTP status 404)",
      host,
      kProxyLine,
      "VerifyLoginToken verify failed: " + rejected,
      "VerifyLoginToken refused by the server: code 1001",
      "Login failed err=-12 (LoginVerifyFailed): verify failed: " + rejected,
      host,
      kProxyLine,
      "VerifyLoginToken http failed: redirect refused",
      "Login failed err=-12 (LoginVerifyFailed): http failed: redirect refused",
      host,
      kProxyLine,
      "VerifyLoginToken http failed: body too large",
      "Login failed err=-12 (LoginVerifyFailed): http failed: body too large",
      host,
      kProxyLine,
      "VerifyLoginToken http failed: body truncated",
      "Login failed err=-12 (LoginVerifyFailed): http failed: body truncated",
      host,
      kProxyLine,
      "VerifyLoginToken success",
      "Login success",
  };
  EXPECT_EQ(run.lines, expected);
  for (const std::string& line : run.lines) {
    EXPECT_EQ(line.find("t1"), std::string::npos) << "the token reached the log: " << line;
  }
}

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

// Requests that fail on the way, each logged with the WinHTTP error behind
// it by number and name: a name that does not resolve, a closed port, a
// certificate that no trusted authority signed (Windows: 12175 with the
// certificate status; Wine 8: 12157).
TEST(LoginLog, RequestFailuresNameTheWinHttpError) {
  ASSERT_TRUE(lumo_test::VerifyServerAnswers());
  const int closed = lumo_test::ClosedLocalPort();
  const int untrusted = lumo_test::UntrustedPort();
  ASSERT_NE(closed, 0);
  ASSERT_NE(untrusted, 0);
  const std::string sent = "request failed in WinHttpSendRequest: WinHTTP error ";
  {
    // The login itself, sent to the closed port by the development override.
    const LogRun run = RunProbe(L"init token=c1 login", "[dev]\r\nverify_host=localhost:" + std::to_string(closed) +
                                                            "\r\n");
    EXPECT_EQ(run.output, "-12 ");
    ASSERT_EQ(run.lines.size(), 4u) << ::testing::PrintToString(run.lines);
    EXPECT_EQ(run.lines[1], kProxyLine);
    const std::string cause = sent + "12029 ERROR_WINHTTP_CANNOT_CONNECT (";
    EXPECT_TRUE(StartsWith(run.lines[2], "VerifyLoginToken http failed: " + cause)) << run.lines[2];
    EXPECT_TRUE(StartsWith(run.lines[3], "Login failed err=-12 (LoginVerifyFailed): http failed: " + cause))
        << run.lines[3];
  }
  const LogRun run = RunProbe(L"builtin=verify.lumo.invalid verify=n1 builtin=localhost:" +
                              std::to_wstring(untrusted) + L" verify=u1");
  EXPECT_EQ(run.output, "0 0 ");
  ASSERT_EQ(run.lines.size(), 6u) << ::testing::PrintToString(run.lines);
  EXPECT_TRUE(StartsWith(run.lines[2], "VerifyLoginToken http failed: " + sent +
                                           "12007 ERROR_WINHTTP_NAME_NOT_RESOLVED ("))
      << run.lines[2];
  const std::string& tls = run.lines[5];
  EXPECT_TRUE(StartsWith(tls, "VerifyLoginToken http failed: " + sent + "12175 ERROR_WINHTTP_SECURE_FAILURE (") ||
              StartsWith(tls, "VerifyLoginToken http failed: " + sent + "12045 ERROR_WINHTTP_SECURE_INVALID_CA (") ||
              StartsWith(tls, "VerifyLoginToken http failed: " + sent + "12157 ERROR_WINHTTP_SECURE_CHANNEL_ERROR ("))
      << tls;
  if (StartsWith(tls, "VerifyLoginToken http failed: " + sent + "12175")) {
    EXPECT_NE(tls.find("; certificate status 0x"), std::string::npos) << tls;
    EXPECT_NE(tls.find("INVALID_CA ("), std::string::npos) << tls;
  }
}

// A DLL built for another verify host logs in against the local server
// when LumoGameSDK.ini names it as the development override, by name and
// by address: the local server's certificate names both. ([::1] as well,
// but Wine's WinHTTP cannot reach an IPv6 address literal: see
// windows-and-wine.md.)
TEST(LoginLog, DevOverrideSendsLoginToALoopbackEndpoint) {
  ASSERT_TRUE(lumo_test::VerifyServerAnswers());
  const std::string local = lumo_test::Narrow(lumo_test::VerifyServerHost());
  const std::string port = local.substr(local.find(':'));
  for (const std::string& host : {local, "127.0.0.1" + port}) {
    SCOPED_TRACE(host);
    const LogRun run = RunProbe(
        L"builtin=verify.lumo.invalid " + Answer(200, kSuccess) + L" verify=over1",
        "[dev]\r\nverify_host=" + host + "\r\n");
    EXPECT_EQ(run.output, "1 ");
    const std::vector<std::string> expected = {
        "VerifyLoginToken verify host " + host + " (development override from LumoGameSDK.ini)",
        kProxyLine,
        "VerifyLoginToken success",
    };
    EXPECT_EQ(run.lines, expected);
    lumo_test::VerifyRequestRecord last;
    ASSERT_TRUE(lumo_test::ReadLastVerifyRequest(last));
    EXPECT_EQ(last.path, "/game_login/verify?token=over1");
  }
}

// Anything but a loopback name with a port is ignored, with a line saying
// why, and the built-in host (here the local server) is asked as usual.
TEST(LoginLog, DevOverrideIgnoredUnlessLoopbackWithPort) {
  ASSERT_TRUE(lumo_test::VerifyServerAnswers());
  const std::string port = lumo_test::Narrow(lumo_test::VerifyServerHost()).substr(
      lumo_test::Narrow(lumo_test::VerifyServerHost()).find(':'));
  const struct {
    std::string value;
    std::string why;
  } cases[] = {
      {"verify.example.com" + port, "only localhost, 127.0.0.1 or [::1] are allowed"},
      {"localhost", "a port is required"},
      {"[::1]", "a port is required"},
      {"localhost:70000", "the port is not a number from 1 to 65535"},
  };
  for (const auto& c : cases) {
    const LogRun run = RunProbe(Answer(200, kSuccess) + L" verify=ign1",
                                "[dev]\r\nverify_host=" + c.value + "\r\n");
    EXPECT_EQ(run.output, "1 ") << c.value;
    const std::vector<std::string> expected = {
        "LumoGameSDK.ini [dev] verify_host ignored: " + c.why,
        HostLine(),
        kProxyLine,
        "VerifyLoginToken success",
    };
    EXPECT_EQ(run.lines, expected) << c.value;
  }
}

// Where this Windows refuses the TLS versions a session asks for (a seam:
// Wine takes them), one line says so for the whole process and every
// session still opens.
TEST(LoginLog, ARefusedTlsRequestIsLoggedOnceAndTheSessionsOpen) {
  const LogRun run = RunProbe(L"refusetls=3");
  EXPECT_EQ(run.output, "3 ");
  ASSERT_EQ(run.lines.size(), 1u) << ::testing::PrintToString(run.lines);
  EXPECT_TRUE(StartsWith(run.lines[0], "VerifyLoginToken this Windows (6.1) refused TLS 1.1 and 1.2 (WinHttpSetOption: "
                                       "Windows error 87 ERROR_INVALID_PARAMETER ("))
      << run.lines[0];
}

}  // namespace
