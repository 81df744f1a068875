// What the log tells of a session, read from the log of a real game
// process (test_game.exe beside a copy of the DLL, log switched on).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LumoGameSDK.h"
#include "support/session.h"
#include "support/test_support.h"
#include "support/text_codec.h"

using lumo_test::ProbeFolder;
using lumo_test::Session;

namespace {

const wchar_t kToken[] = L"tok-4f1c9a7e-secret";

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

// The first message that starts with `start`, or "".
std::string Message(const std::vector<std::string>& messages, const std::string& start) {
  for (const std::string& m : messages) {
    if (StartsWith(m, start)) return m;
  }
  return std::string();
}

// A window handle that was one a moment ago: what a launcher that has
// since closed its window leaves on the command line.
std::wstring StaleWindowHandle() {
  HWND window = CreateWindowExW(0, L"STATIC", L"gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  const uintptr_t value = reinterpret_cast<uintptr_t>(window);
  DestroyWindow(window);
  return std::to_wstring(value);
}

struct ParentCase {
  std::wstring value;
  std::string line;  // what the log says of it
};

// A --parent that names no window: Init answers 0 and the game runs outside
// the launcher, and the log says which value, why, and that the window was
// not embedded; beside it the version and the options present (the token by
// its length only).
TEST(SessionLog, AParentThatNamesNoWindowIsNamedWithWhatFollows) {
  const std::string outside =
      ": the game window is not embedded and the game runs in a window of its own, outside the launcher";
  const std::wstring stale = StaleWindowHandle();
  const ParentCase cases[] = {
      {stale, "--parent " + lumo_test::Narrow(stale) +
                  " names no window (the launcher's window is gone, or the handle is not one of this session)" +
                  outside},
      {L"0", "--parent 0 names no window (0 is no handle)" + outside},
      {L"launcher", "--parent \"launcher\" is not a window handle (a decimal number is expected)" + outside},
  };
  for (const ParentCase& c : cases) {
    SCOPED_TRACE(lumo_test::Narrow(c.value));
    const ProbeFolder folder({L"test_game.exe", L"LumoGameSDK.dll"});
    std::string output;
    ASSERT_EQ(folder.Run(L"test_game.exe",
                         L"--parent=" + c.value + L" --gameid=7 --token=" + kToken + L" --steps=init,exit:3", &output),
              3u)
        << output;
    EXPECT_NE(output.find("[game] init=0"), std::string::npos) << output;
    const std::string log = folder.Log(L"test_game.exe");
    const std::vector<std::string> messages = lumo_test::LogMessages(log);
    EXPECT_NE(Message(messages, std::string("LumoGameSDK ") + LUMO_SDK_VERSION_STRING + " (x64), "), "") << log;
    EXPECT_NE(Message(messages, std::string("LumoGameSDK ") + LUMO_SDK_VERSION_STRING + " (x64), ").find("LumoGameSDK.dll"),
              std::string::npos)
        << log;
    EXPECT_EQ(Message(messages, "Launch options:"),
              "Launch options: parent=" + lumo_test::Narrow(c.value) + " gameid=7 lumo-pipe=absent token=present (" +
                  std::to_string(std::wstring(kToken).size()) + " characters)");
    EXPECT_EQ(Message(messages, "--parent "), c.line) << log;
    EXPECT_NE(Message(messages, "Init: the game window 0x").find(" is not embedded: "), std::string::npos) << log;
    EXPECT_NE(Message(messages, "Init success"), "") << log;
    EXPECT_EQ(log.find("4f1c9a7e"), std::string::npos) << "the token reached the log:\n" << log;
  }
}

// Embedded by the launcher: the log names both windows, and a second Init
// in the process writes the first-Init lines no more.
TEST(SessionLog, AnEmbeddedWindowIsNamedOnce) {
  const ProbeFolder folder({L"test_game.exe", L"LumoGameSDK.dll"});
  Session s(lumo_test::DevhostCommand(L"", L"--steps=init,init,exit:3", folder.Path(L"test_game.exe")));
  EXPECT_EQ(s.WaitExit(), 3u) << s.Output();
  const std::vector<std::string> messages = lumo_test::LogMessages(folder.Log(L"test_game.exe"));
  const std::string embedded = Message(messages, "Init: the game window 0x");
  EXPECT_NE(embedded.find(" is embedded in the launcher's window 0x"), std::string::npos) << embedded;
  int versions = 0;
  for (const std::string& m : messages) versions += StartsWith(m, "LumoGameSDK ") ? 1 : 0;
  EXPECT_EQ(versions, 1);
  EXPECT_TRUE(StartsWith(Message(messages, "Launch options:"), "Launch options: parent="));
  EXPECT_EQ(Message(messages, "Launch options:").find("lumo-pipe=absent"), std::string::npos);
  EXPECT_EQ(Message(messages, "--parent "), "");
}

// Two copies of a game started without the launcher: the second gets -4,
// and its log names the channel and that another copy holds it.
TEST(SessionLog, ASecondCopyNamesTheChannelItCouldNotHave) {
  const ProbeFolder folder({L"test_game.exe", L"LumoGameSDK.dll"});
  const std::wstring gateName = L"lumo-test-second-copy-" + std::to_wstring(GetCurrentProcessId());
  HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, gateName.c_str());
  ASSERT_NE(gate, nullptr);
  Session first(lumo_test::Quote(folder.Path(L"test_game.exe")) + L" --steps=init,wait:" + gateName + L",exit:3");
  ASSERT_EQ(first.WaitLine("[game] init="), "[game] init=0") << first.Output();
  std::string output;
  EXPECT_EQ(folder.Run(L"test_game.exe", L"--steps=init,exit:4", &output), 4u) << output;
  SetEvent(gate);
  EXPECT_EQ(first.WaitExit(), 3u) << first.Output();
  CloseHandle(gate);
  EXPECT_NE(output.find("[game] init=-4"), std::string::npos) << output;
  const std::vector<std::string> messages = lumo_test::LogMessages(folder.Log(L"test_game.exe"));
  const std::string refused = Message(messages, "Init: the library's channel ");
  EXPECT_EQ(refused,
            "Init: the library's channel ipc_channel_game_unknown cannot be created: the name is taken: another copy of "
            "this game, or another program, holds it (a game started without the launcher has no token, so every "
            "such copy uses this name)");
  EXPECT_NE(Message(messages, "Init failed err=-4 (IpcGameStartFailed)"), "");
}

}  // namespace
