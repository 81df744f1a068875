// VerifyLoginToken end to end: server answer -> result and record bytes.
#include "login/verify_login.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "login/login_test_util.h"

namespace {

using lumo::VerifyLoginToken;
using lumo_test::MakeRecord;
using lumo_test::ReadLastVerifyRequest;
using lumo_test::SameBytes;
using lumo_test::SetVerifyAnswer;
using lumo_test::VerifyRequestRecord;

struct AnswerCase {
  const char* name;
  int status;
  std::string body;
  bool ok;
  LoginInfo record;
};

std::ostream& operator<<(std::ostream& os, const AnswerCase& c) { return os << c.name; }

std::string Success(const std::string& dataFields) { return "{\"code\":0,\"data\":{" + dataFields + "}}"; }

const std::string kFull = "\"uid\":123,\"appid\":\"a1\",\"sid\":\"s1\",\"time\":1000,\"utype\":2";
const LoginInfo kFullRecord = MakeRecord(123, L"a1", L"s1", 1000, 2);
const LoginInfo kEmpty = MakeRecord(0, L"", L"", 0, 0);
const std::string k100(100, 'x');

const AnswerCase kAnswers[] = {
    {"Success", 200, Success(kFull), true, kFullRecord},
    {"CodeFalsePasses", 200, "{\"code\":false,\"data\":{" + kFull + "}}", true, kFullRecord},
    {"CodeHalfTruncatesToZero", 200, "{\"code\":0.5,\"data\":{" + kFull + "}}", true, kFullRecord},
    {"CodeAsStringFails", 200, "{\"code\":\"0\",\"data\":{" + kFull + "}}", false, kEmpty},
    {"CodeOneFails", 200, "{\"code\":1,\"data\":{" + kFull + "}}", false, kEmpty},
    {"CodeLow32BitsZeroPasses", 200, "{\"code\":4294967296,\"data\":{" + kFull + "}}", true, kFullRecord},
    {"CodeMissingFails", 200, "{\"data\":{" + kFull + "}}", false, kEmpty},
    {"DataMissingFails", 200, "{\"code\":0}", false, kEmpty},
    {"DataNotObjectFails", 200, "{\"code\":0,\"data\":[1]}", false, kEmpty},
    {"UidTrueFails", 200, Success("\"uid\":true,\"appid\":\"a1\",\"sid\":\"s1\""), false, kEmpty},
    {"UidZeroFailsButIsStored", 200, Success("\"uid\":0,\"appid\":\"a1\",\"sid\":\"s1\",\"time\":7"),
     false, MakeRecord(0, L"a1", L"s1", 7, 0)},
    {"UidNegativeFails", 200, Success("\"uid\":-5,\"appid\":\"a1\",\"sid\":\"s1\""), false,
     MakeRecord(-5, L"a1", L"s1", 0, 0)},
    {"UidFractionTruncates", 200, Success("\"uid\":1.9,\"appid\":\"a1\",\"sid\":\"s1\""), true,
     MakeRecord(1, L"a1", L"s1", 0, 0)},
    {"UidUnsignedKeepsBitPattern", 200,
     Success("\"uid\":18446744073709551615,\"appid\":\"a1\",\"sid\":\"s1\""), false,
     MakeRecord(-1, L"a1", L"s1", 0, 0)},
    {"UidOutOfRangeFloatFails", 200, Success("\"uid\":1e300,\"appid\":\"a1\",\"sid\":\"s1\""), false,
     kEmpty},
    {"AppidNumberFailsAfterNumbersStored", 200,
     Success("\"uid\":9,\"appid\":5,\"sid\":\"s1\",\"time\":3,\"utype\":4"), false,
     MakeRecord(9, L"", L"", 3, 4)},
    {"AppidMissingFails", 200, Success("\"uid\":9,\"sid\":\"s1\""), false, MakeRecord(9, L"", L"s1", 0, 0)},
    {"AppidCutTo63Units", 200, Success("\"uid\":9,\"appid\":\"" + k100 + "\",\"sid\":\"s1\""), true,
     MakeRecord(9, std::wstring(63, L'x'), L"s1", 0, 0)},
    {"PairThatDoesNotFitIsLeftOutWhole", 200,
     Success("\"uid\":9,\"appid\":\"" + std::string(62, 'x') + "\xF0\x9F\x98\x80\",\"sid\":\"s1\""), true,
     MakeRecord(9, std::wstring(62, L'x'), L"s1", 0, 0)},
    {"TextsBecomeUtf16", 200,
     Success("\"uid\":9,\"appid\":\"\xC3\xA9\xE6\xBC\xA2\",\"sid\":\"\\ud83d\\ude00\""), true,
     MakeRecord(9, L"\u00e9\u6f22", L"\U0001F600", 0, 0)},
    {"SidNullFails", 200, Success("\"uid\":9,\"appid\":\"a1\",\"sid\":null"), false,
     MakeRecord(9, L"a1", L"", 0, 0)},
    {"TimeAndUtypeMissingGiveZeros", 200, Success("\"uid\":5,\"appid\":\"a\",\"sid\":\"s\""), true,
     MakeRecord(5, L"a", L"s", 0, 0)},
    {"UtypeBooleanReadsAsOne", 200,
     Success("\"uid\":5,\"appid\":\"a\",\"sid\":\"s\",\"time\":-2,\"utype\":true"), true,
     MakeRecord(5, L"a", L"s", -2, 1)},
    {"UtypeLow32Bits", 200, Success("\"uid\":5,\"appid\":\"a\",\"sid\":\"s\",\"utype\":4294967298"),
     true, MakeRecord(5, L"a", L"s", 0, 2)},
    {"TrailingDocumentFails", 200, Success(kFull) + "{}", false, kEmpty},
    {"TrailingDocumentAfterNulFails", 200, Success(kFull) + std::string("\0{}", 3), false, kEmpty},
    {"TrailingWhitespaceIsFine", 200, Success(kFull) + " \r\n", true, kFullRecord},
    {"CommentFails", 200, "/*x*/" + Success(kFull), false, kEmpty},
    {"TopLevelArrayFails", 200, "[" + Success(kFull) + "]", false, kEmpty},
    {"NotJsonFails", 200, "<html>", false, kEmpty},
    {"ErrorStatusWithSuccessBodySucceeds", 500, Success(kFull), true, kFullRecord},
    {"EmptyBodyFails", 200, "", false, kEmpty},
};

class VerifyAnswerTable : public ::testing::TestWithParam<AnswerCase> {
 protected:
  void SetUp() override { ASSERT_TRUE(lumo_test::VerifyServerAnswers()); }
};

TEST_P(VerifyAnswerTable, GivesResultAndRecord) {
  const AnswerCase& c = GetParam();
  ASSERT_TRUE(SetVerifyAnswer(c.status, c.body));
  LoginInfo info;
  std::memset(&info, 0xCD, sizeof(info));  // every byte must be written
  EXPECT_EQ(VerifyLoginToken(L"tok-1", &info), c.ok);
  EXPECT_TRUE(SameBytes(info, c.record));
  VerifyRequestRecord last;
  ASSERT_TRUE(ReadLastVerifyRequest(last));
  EXPECT_EQ(last.path, "/game_login/verify?token=tok-1");
}

INSTANTIATE_TEST_SUITE_P(Answers, VerifyAnswerTable, ::testing::ValuesIn(kAnswers),
                         [](const auto& info) { return std::string(info.param.name); });

class VerifyTokenOnTheWire : public ::testing::TestWithParam<const wchar_t*> {
 protected:
  void SetUp() override { ASSERT_TRUE(lumo_test::VerifyServerAnswers()); }
};

// The server sees exactly one parameter, and it decodes to the whole token.
TEST_P(VerifyTokenOnTheWire, ArrivesAsTheOriginalToken) {
  const std::wstring token = GetParam();
  ASSERT_TRUE(SetVerifyAnswer(200, Success(kFull)));
  LoginInfo info;
  EXPECT_TRUE(VerifyLoginToken(token.c_str(), &info));
  VerifyRequestRecord last;
  ASSERT_TRUE(ReadLastVerifyRequest(last));
  ASSERT_EQ(last.query.size(), 1u) << last.path;
  ASSERT_EQ(last.query["token"].size(), 1u) << last.path;
  EXPECT_EQ(last.query["token"][0], lumo_test::Narrow(token)) << last.path;
}

INSTANTIATE_TEST_SUITE_P(Tokens, VerifyTokenOnTheWire,
                         ::testing::Values(L"a b&c=d/%\u00e9", L"x&uid=1", L"p+q", L"cut#here",
                                           L"%41%", L"../../admin?x=1", L"\u4e2d\U0001F600"));

TEST(VerifyToken, OrdinaryTokenGoesOutUnchangedAndSpecialOnesEncoded) {
  ASSERT_TRUE(lumo_test::VerifyServerAnswers());
  VerifyRequestRecord last;
  LoginInfo info;
  VerifyLoginToken(L"AbC-09._~", &info);
  ASSERT_TRUE(ReadLastVerifyRequest(last));
  EXPECT_EQ(last.path, "/game_login/verify?token=AbC-09._~");
  VerifyLoginToken(L"a b&c=d/%\u00e9", &info);
  ASSERT_TRUE(ReadLastVerifyRequest(last));
  EXPECT_EQ(last.path, "/game_login/verify?token=a%20b%26c%3Dd%2F%25%C3%A9");
}

TEST(VerifyToken, EmptyTokenSendsNothingAndResetsTheRecord) {
  ASSERT_TRUE(lumo_test::VerifyServerAnswers());
  const int before = lumo_test::VerifyRequestCount();
  LoginInfo info;
  std::memset(&info, 0xCD, sizeof(info));
  EXPECT_FALSE(VerifyLoginToken(L"", &info));
  EXPECT_TRUE(SameBytes(info, kEmpty));
  EXPECT_EQ(lumo_test::VerifyRequestCount(), before);
}

}  // namespace
