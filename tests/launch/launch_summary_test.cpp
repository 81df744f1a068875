#include "launch/launch_summary.h"

#include <gtest/gtest.h>

#include <string>

namespace {

lumo::CCommandLine Parsed(const std::wstring& text) {
  lumo::CCommandLine cmd;
  cmd.Parse(text);
  return cmd;
}

struct ParentCase {
  const wchar_t* commandLine;
  bool isWindow;  // the system's answer for the handle
  lumo::ParentVerdict verdict;
};

class ParentOption : public ::testing::TestWithParam<ParentCase> {};

TEST_P(ParentOption, IsJudgedAsTheLibraryReadsIt) {
  EXPECT_EQ(lumo::JudgeParent(Parsed(GetParam().commandLine), GetParam().isWindow), GetParam().verdict);
}

using V = lumo::ParentVerdict;
const ParentCase kParentCases[] = {
    {L"game.exe --gameid=1", false, V::Absent},
    {L"game.exe --parent=131072", true, V::Window},
    {L"game.exe --parent=131072", false, V::NotAWindow},
    {L"game.exe --parent=0", false, V::Zero},
    {L"game.exe --parent=000", false, V::Zero},
    // Read as 0 or as a prefix by the handle's parser, none is a handle.
    {L"game.exe --parent=0x20A", false, V::NotANumber},
    {L"game.exe --parent=-5", false, V::NotANumber},
    {L"game.exe --parent=12ab", true, V::NotANumber},
    {L"game.exe --parent=", false, V::NotANumber},
    {L"game.exe --parent=launcher", false, V::NotANumber},
};

INSTANTIATE_TEST_SUITE_P(Table, ParentOption, ::testing::ValuesIn(kParentCases));

TEST(LaunchOptions, TheTokenIsGivenByItsLengthAndValuesStayOnOneLine) {
  EXPECT_EQ(lumo::DescribeLaunchOptions(Parsed(L"game.exe --token=s3cr3t-t0ken --lumo-pipe=\"a\tb\" --gameid=-42")),
            L"Launch options: parent=absent gameid=-42 lumo-pipe=a?b token=present (12 characters)");
  EXPECT_EQ(lumo::DescribeLaunchOptions(Parsed(L"game.exe --parent=" + std::wstring(70, L'9'))),
            L"Launch options: parent=" + std::wstring(64, L'9') +
                L"... gameid=absent lumo-pipe=absent token=absent");
}

}  // namespace
