#include "login/percent_encode.h"

#include <gtest/gtest.h>

#include <string>

#include "login/verify_login.h"

namespace {

struct EncodeCase {
  const char* utf8;
  const char* encoded;
};

class PercentEncodeTable : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(PercentEncodeTable, KeepsOnlyUnreservedCharacters) {
  EXPECT_EQ(lumo::PercentEncode(GetParam().utf8), GetParam().encoded);
}

const EncodeCase kEncodeCases[] = {
    {"", ""},
    {"abcXYZ019-._~", "abcXYZ019-._~"},
    {"a b&c=d/%\xC3\xA9", "a%20b%26c%3Dd%2F%25%C3%A9"},
    {"+#?;:@!$'()*,[]", "%2B%23%3F%3B%3A%40%21%24%27%28%29%2A%2C%5B%5D"},
    {"\x01\x7F\xFF", "%01%7F%FF"},
};

INSTANTIATE_TEST_SUITE_P(Table, PercentEncodeTable, ::testing::ValuesIn(kEncodeCases));

TEST(VerifyUrl, CarriesTheHostAndTheEncodedUtf8OfTheToken) {
  EXPECT_EQ(lumo::MakeVerifyUrl(L"h.test:8443", L"a b&c=d/%\u00e9"),
            L"https://h.test:8443/game_login/verify?token=a%20b%26c%3Dd%2F%25%C3%A9");
  EXPECT_EQ(lumo::MakeVerifyUrl(L"h.test", L"Tok-123_x.y~z"),
            L"https://h.test/game_login/verify?token=Tok-123_x.y~z");
  // A character outside the BMP is one UTF-8 sequence, not two surrogates.
  EXPECT_EQ(lumo::MakeVerifyUrl(L"h", L"\U0001F600"),
            L"https://h/game_login/verify?token=%F0%9F%98%80");
}

}  // namespace
