#include "launch/launch_params.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "diag/utf8.h"

namespace {

using lumo::FillLaunchParams;
using lumo::LaunchParams;

struct ParamsCase {
  const wchar_t* commandLine;
  uint64_t parentWnd;
  int64_t gameId;
  const char* hostPipe;
  const wchar_t* token;
  const char* channelName;
};

class LaunchParamsTable : public ::testing::TestWithParam<ParamsCase> {};

TEST_P(LaunchParamsTable, FillsFields) {
  const ParamsCase& c = GetParam();
  LaunchParams p;
  std::memset(&p, 0xAB, sizeof(p));  // every field must be written
  FillLaunchParams(c.commandLine, p);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p.parentWnd), c.parentWnd);
  // None of these handles names a window: too small for a window handle
  // (Wine, for one, reads the low 16 bits as a table index and starts at
  // 0x20, so a value like 99 names a window once enough windows exist).
  EXPECT_EQ(p.parentValid, 0);
  EXPECT_EQ(p.gameId, c.gameId);
  EXPECT_STREQ(p.hostPipe, c.hostPipe);
  EXPECT_STREQ(p.token, c.token);
  EXPECT_STREQ(p.channelName, c.channelName);
}

const ParamsCase kParamsCases[] = {
    {L"g.exe --parent=18 --gameid=42 --lumo-pipe=ipc_channel_main --token=abc", 18, 42,
     "ipc_channel_main", L"abc", "ipc_channel_game_abc"},
    {L"g.exe -parent:7 /gameid=-5 -lumo-pipe:pp /token=t1", 7, -5, "pp", L"t1", "ipc_channel_game_t1"},
    {L"g.exe", 0, 0, "", L"", "ipc_channel_game_unknown"},
    {L"g.exe --Token=abc --GameId=3", 0, 0, "", L"", "ipc_channel_game_unknown"},
    {L"g.exe --token", 0, 0, "", L"", "ipc_channel_game_unknown"},
    // Numbers follow the C library's rules: decimal only, digits up to the
    // first non-digit, out of range saturates.
    {L"g.exe --parent=0x10 --gameid=12abc", 0, 12, "", L"", "ipc_channel_game_unknown"},
    {L"g.exe --parent=+19 --gameid=", 19, 0, "", L"", "ipc_channel_game_unknown"},
    {L"g.exe --parent=99999999999999999999999 --gameid=-99999999999999999999", UINT64_MAX,
     INT64_MIN, "", L"", "ipc_channel_game_unknown"},
    {L"g.exe --gameid=99999999999999999999", 0, INT64_MAX, "", L"", "ipc_channel_game_unknown"},
    // A quoted token may hold spaces; non-ASCII text goes to UTF-8.
    {L"g.exe --token=\"a b\" --lumo-pipe=p\u00e9", 0, 0, "p\xc3\xa9", L"a b", "ipc_channel_game_a b"},
    {L"g.exe --token=x --token=y", 0, 0, "", L"x", "ipc_channel_game_x"},
};

INSTANTIATE_TEST_SUITE_P(Table, LaunchParamsTable, ::testing::ValuesIn(kParamsCases));

TEST(LaunchParams, LongTokenIsCutTo63UnitsButTheChannelNameKeepsItAll) {
  const std::wstring token(100, L'k');
  LaunchParams p;
  FillLaunchParams(L"g.exe --token=" + token, p);
  EXPECT_EQ(std::wstring(p.token), token.substr(0, 63));
  EXPECT_EQ(std::string(p.channelName), "ipc_channel_game_" + std::string(100, 'k'));
}

TEST(LaunchParams, OverlongUtf8IsCutAtTheLastWholeCharacter) {
  // "ipc_channel_game_a" + 120 two-byte characters = 258 bytes; byte 255
  // falls inside a character.
  const std::wstring e120(120, L'\u00e9');
  LaunchParams p;
  FillLaunchParams(L"g.exe --token=a" + e120 + L" --lumo-pipe=x" + e120 + e120, p);
  const std::string channel(p.channelName);
  EXPECT_EQ(channel.size(), 254u);
  EXPECT_EQ(channel.substr(0, 18), "ipc_channel_game_a");
  EXPECT_EQ(static_cast<unsigned char>(channel.back()), 0xA9);  // ends on a whole character
  const std::string pipe(p.hostPipe);
  EXPECT_EQ(pipe.size(), 255u);  // "x" + 127 whole two-byte characters
  EXPECT_EQ(static_cast<unsigned char>(pipe.back()), 0xA9);
}

TEST(LaunchParams, CopyUtf8TruncatedKeepsWholeCharacters) {
  char buf[6];
  lumo::CopyUtf8Truncated(buf, sizeof(buf), "ab\xe2\x82\xac");  // fits exactly
  EXPECT_STREQ(buf, "ab\xe2\x82\xac");
  lumo::CopyUtf8Truncated(buf, sizeof(buf), "abc\xe2\x82\xac");  // euro sign would be cut
  EXPECT_STREQ(buf, "abc");
  lumo::CopyUtf8Truncated(buf, sizeof(buf), "z\xf0\x9f\x98\x80z");  // 4-byte character fits
  EXPECT_STREQ(buf, "z\xf0\x9f\x98\x80");
}

TEST(LaunchParams, ParentValidOnlyForAnExistingWindow) {
  HWND wnd = CreateWindowExW(0, L"STATIC", L"parent", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(wnd, nullptr);
  const std::wstring cmd = L"g.exe --parent=" + std::to_wstring(reinterpret_cast<uintptr_t>(wnd));
  LaunchParams p;
  FillLaunchParams(cmd, p);
  EXPECT_EQ(p.parentWnd, wnd);
  EXPECT_EQ(p.parentValid, 1);
  DestroyWindow(wnd);
  FillLaunchParams(cmd, p);
  EXPECT_EQ(p.parentWnd, wnd);
  EXPECT_EQ(p.parentValid, 0);
}

}  // namespace

namespace {

// The portable conversion writes what the system's writes, lone surrogates
// included (as U+FFFD): the channel name the host learns stays the bytes
// the command line's token makes.
TEST(ChannelName, Utf16ToUtf8MatchesTheSystemConversion) {
  const std::wstring cases[] = {
      L"",
      L"plain-token_123",
      L"caf\u00e9 \u4e2d\u6587",
      std::wstring{0xD83D, 0xDE00},               // a pair: U+1F600
      std::wstring{L'a', 0xD800, L'b'},           // a lone high surrogate
      std::wstring{L'a', 0xDC00},                 // a lone low surrogate
      std::wstring{0xDBFF},                       // a high surrogate at the end
      std::wstring{0xDC00, 0xD800, 0xDFFF, 0xFFFF},
  };
  for (const std::wstring& text : cases) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string system(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &system[0], size, nullptr, nullptr);
    EXPECT_EQ(lumo::Utf16ToUtf8(text), system) << "units: " << text.size();
  }
  EXPECT_EQ(lumo::MakeChannelName(std::wstring{L'x', 0xD800}), "ipc_channel_game_x\xef\xbf\xbd");
}

}  // namespace
