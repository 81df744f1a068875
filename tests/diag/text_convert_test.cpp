#include "diag/text_convert.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

using lumo::Utf8ToWide;
using lumo::WideToMultiByte;

namespace {

TEST(TextConvert, NullAndEmptyGiveEmpty) {
  EXPECT_EQ(WideToMultiByte(nullptr, -1, CP_UTF8), "");
  EXPECT_EQ(WideToMultiByte(L"", -1, CP_UTF8), "");
  EXPECT_EQ(WideToMultiByte(L"abc", 0, CP_UTF8), "");
  EXPECT_EQ(Utf8ToWide(nullptr, -1), L"");
  EXPECT_EQ(Utf8ToWide("", -1), L"");
}

// Sizes around the 256-unit switch between the stack and the sized path,
// with characters of every UTF-8 length, including a surrogate pair.
class TextConvertSizes : public ::testing::TestWithParam<int> {};

TEST_P(TextConvertSizes, RoundTripsAcrossTheStackLimit) {
  const std::wstring unit = L"a\u00e9\u4e2d\U0001F600";  // 1 + 1 + 1 + 2 units
  std::wstring wide;
  while (static_cast<int>(wide.size()) < GetParam()) wide += unit;
  wide.resize(static_cast<size_t>(GetParam()));
  if (!wide.empty() && wide.back() >= 0xD800 && wide.back() <= 0xDBFF) wide.back() = L'z';

  const std::string utf8 = WideToMultiByte(wide.c_str(), static_cast<int>(wide.size()), CP_UTF8);
  int expectedBytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()),
                                          nullptr, 0, nullptr, nullptr);
  EXPECT_EQ(static_cast<int>(utf8.size()), expectedBytes);
  EXPECT_EQ(utf8.find('\0'), std::string::npos);
  EXPECT_EQ(Utf8ToWide(utf8.c_str(), static_cast<int>(utf8.size())), wide);
  EXPECT_EQ(WideToMultiByte(wide.c_str(), -1, CP_UTF8), utf8);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TextConvertSizes, ::testing::Values(1, 255, 256, 257, 1000));

TEST(TextConvert, WorstCaseUtf8FitsTheStackBuffer) {
  // 256 three-byte characters: 768 bytes, the largest stack conversion.
  const std::wstring wide(256, L'\u4e2d');
  EXPECT_EQ(WideToMultiByte(wide.c_str(), -1, CP_UTF8).size(), 768u);
  // 256 bytes that are all ASCII give 256 units without the sizing call.
  const std::string narrow(256, 'q');
  EXPECT_EQ(Utf8ToWide(narrow.c_str(), -1), std::wstring(256, L'q'));
}

TEST(TextConvert, IllFormedUtf8IsReplacedNotRejected) {
  const std::wstring out = Utf8ToWide("a\xff" "b", -1);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], L'a');
  EXPECT_EQ(out[2], L'b');
}

TEST(TextConvert, CodePagesWiderThanTwoBytesAUnitStillConvert) {
  // UTF-7 spells one non-ASCII unit in five bytes, more than the stack path
  // allows for a non-UTF-8 code page (as when the ANSI code page is UTF-8).
  EXPECT_EQ(WideToMultiByte(L"\u00e9", -1, CP_UTF7), "+AOk-");
  const std::wstring long_text(300, L'\u00e9');
  EXPECT_FALSE(WideToMultiByte(long_text.c_str(), -1, CP_UTF7).empty());
}

TEST(TextConvert, AnsiCodePageReplacesWhatItCannotShow) {
  if (GetACP() != 1252) GTEST_SKIP() << "expects the Western code page";
  EXPECT_EQ(WideToMultiByte(L"\u00e9\u4e2d", -1, CP_ACP), "\xE9?");
}

}  // namespace
