// Init when Windows refuses the re-parenting, as it does for a launcher
// window of another DPI awareness or an elevated launcher (Wine never
// refuses: embed_probe chooses the outcome), and when the host window goes
// away between the check and the call. Each case runs embed_probe in a
// folder of its own with logging on.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/text_codec.h"

namespace {

struct State {
  unsigned long style = 0, exStyle = 0;
  unsigned long long parent = 0;
};

State FindState(const std::string& out, const char* when) {
  State s;
  const std::string prefix = std::string("[probe] state ") + when + " ";
  for (const std::string& line : lumo_test::SplitLines(out)) {
    if (line.rfind(prefix, 0) == 0) {
      std::sscanf(line.c_str() + prefix.size(), "style=%lx exstyle=%lx parent=%llu", &s.style, &s.exStyle,
                  &s.parent);
    }
  }
  return s;
}

std::string FindValue(const std::string& out, const std::string& prefix) {
  for (const std::string& line : lumo_test::SplitLines(out)) {
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
  }
  return "<missing>";
}

size_t Count(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

struct RefusalCase {
  const char* name;
  const wchar_t* mode;
  const char* error;   // the "(error ...)" part of the refusal line
  const char* advice;  // what the line tells either side to do
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class EmbedRefused : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(EmbedRefused, FailsWithFrameRestoredNoReadyAndOneLineThatSaysWhy) {
  const RefusalCase& c = GetParam();
  lumo_test::ProbeFolder folder({L"embed_probe.exe"});
  std::string out;
  ASSERT_EQ(folder.Run(L"embed_probe.exe", c.mode, &out), 0u) << out;
  const std::string log = folder.Log(L"embed_probe.exe");

  EXPECT_EQ(FindValue(out, "[probe] init="), "-3") << out;
  // The game keeps its own top-level window, frame and all.
  const State before = FindState(out, "before");
  const State after = FindState(out, "after");
  EXPECT_EQ(after.style, before.style) << out;
  EXPECT_EQ(after.exStyle, before.exStyle) << out;
  EXPECT_EQ(after.parent, 0u) << out;
  // No window-ready message: the marker sent after the failed Init is the
  // host's first message, the retry's window-ready the second and last.
  EXPECT_EQ(FindValue(out, "[probe] host-got="), "marker,IpcMsg_GameSDK_GameWndReady") << out;

  const std::string refusal = "EmbedGameWindow the game window is not inside the host window after SetParent (";
  EXPECT_EQ(Count(log, refusal), 1u) << log;
  EXPECT_NE(log.find(refusal + c.error + ")"), std::string::npos) << log;
  EXPECT_NE(log.find(c.advice), std::string::npos) << log;
  EXPECT_NE(log.find("game window: "), std::string::npos) << log;
  EXPECT_NE(log.find("Init failed err=-3 (EmbedAttachFailed)"), std::string::npos) << log;

  // A later Init against a live host window tries again, and embeds.
  EXPECT_EQ(FindValue(out, "[probe] retry="), "0") << out;
  EXPECT_NE(FindState(out, "retry").parent, 0u) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, EmbedRefused,
    ::testing::Values(
        // Both integrity levels named; whether they are the cause depends on
        // this machine's (Wine: both high).
        RefusalCase{"AccessDenied", L"access-denied", "error 5, access denied", "(launcher: "},
        RefusalCase{"InvalidHandle", L"invalid-handle", "error 1400, invalid window handle",
                    "the launcher must create its window with mixed DPI hosting, at the game's integrity level"},
        RefusalCase{"HostGoneBetweenCheckAndCall", L"host-gone", "error 1400, invalid window handle",
                    "the host window was destroyed before the game could be embedded"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST(EmbedTook, AnswersZeroWithTheWindowInsideTheHostAndReady) {
  lumo_test::ProbeFolder folder({L"embed_probe.exe"});
  std::string out;
  ASSERT_EQ(folder.Run(L"embed_probe.exe", L"took", &out), 0u) << out;
  const std::string log = folder.Log(L"embed_probe.exe");
  EXPECT_EQ(FindValue(out, "[probe] init="), "0") << out;
  EXPECT_NE(FindState(out, "after").parent, 0u) << out;
  EXPECT_EQ(FindValue(out, "[probe] host-got="), "IpcMsg_GameSDK_GameWndReady") << out;
  EXPECT_EQ(log.find("not inside the host window"), std::string::npos) << log;
  EXPECT_NE(log.find("Init success"), std::string::npos) << log;
}

}  // namespace
