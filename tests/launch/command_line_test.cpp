#include "launch/command_line.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using lumo::CCommandLine;

namespace {

struct SplitCase {
  const wchar_t* commandLine;
  const wchar_t* programPath;
  std::map<std::wstring, std::wstring> options;
};

class CommandLineSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineSplit, GivesProgramPathAndOptions) {
  const SplitCase& c = GetParam();
  CCommandLine cmd;
  cmd.Parse(c.commandLine);
  EXPECT_EQ(cmd.programPath(), c.programPath);
  EXPECT_EQ(cmd.options(), c.options);
}

const SplitCase kSplitCases[] = {
    // The three prefixes and the two delimiters read alike.
    {L"game.exe --parent=123 -gameid:42 /lumo-pipe=p --token=t", L"game.exe",
     {{L"parent", L"123"}, {L"gameid", L"42"}, {L"lumo-pipe", L"p"}, {L"token", L"t"}}},
    // Only the first delimiter splits; the value may hold more.
    {L"g --gameid=4=2 --a:b=c", L"g", {{L"gameid", L"4=2"}, {L"a", L"b=c"}}},
    // A bare option is present with an empty value.
    {L"g --token", L"g", {{L"token", L""}}},
    // The first value wins; names are case-sensitive.
    {L"g --token=a --token=b --Token=c", L"g", {{L"token", L"a"}, {L"Token", L"c"}}},
    // A quoted program path loses its quotes and may hold spaces.
    {L"\"C:\\Program Files\\g.exe\" --x=1", L"C:\\Program Files\\g.exe", {{L"x", L"1"}}},
    // A quoted value may hold spaces; its quotes are dropped.
    {L"g --token=\"a b c\" --n=1", L"g", {{L"token", L"a b c"}, {L"n", L"1"}}},
    // A quote after ':' or '=' nests: the token runs to the matching quote.
    {L"g --opt=\"k=\"v\" w\" --n=1", L"g", {{L"opt", L"k=\"v\" w"}, {L"n", L"1"}}},
    // A value that only ends with a quote loses that quote.
    {L"g --token=abc\"", L"g", {{L"token", L"abc"}}},
    // The character right after a closing quote ends the token, even if not a space.
    {L"g --a=\"x\"y --b=2", L"g", {{L"a", L"x"}, {L"b", L"2"}}},
    // An unterminated quote runs to the end of the line.
    {L"g --a=\"x y --b=2", L"g", {{L"a", L"x y --b=2"}}},
    // Tokens without a prefix after the first are ignored; tabs are ordinary characters.
    {L"g stray --a=1\t--b=2", L"g", {{L"a", L"1\t--b=2"}}},
    // Two spaces make an empty token, which is ignored.
    {L"g  --a=1", L"g", {{L"a", L"1"}}},
    // An option as the first token: there is no program path.
    {L"--a=1", L"", {{L"a", L"1"}}},
    {L"", L"", {}},
};

INSTANTIATE_TEST_SUITE_P(Table, CommandLineSplit, ::testing::ValuesIn(kSplitCases));

TEST(CommandLine, GetValueOfAbsentNameIsEmpty) {
  CCommandLine cmd;
  cmd.Parse(L"g --a=1");
  EXPECT_TRUE(cmd.HasKey(L"a"));
  EXPECT_FALSE(cmd.HasKey(L"b"));
  EXPECT_EQ(cmd.GetValue(L"b"), L"");
  EXPECT_EQ(cmd.GetValue(L"a"), L"1");
}

}  // namespace
