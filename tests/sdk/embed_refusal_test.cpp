// Init when Windows refuses the re-parenting, as it does for an elevated
// launcher (Wine never refuses: embed_probe chooses the outcome), when the
// host window goes away between the check and the call, and when the
// re-parenting takes: with the game's DPI awareness kept, or changed (Wine
// gives a re-parented window its new parent's awareness; Windows resets the
// game process's), and a topmost game window. Each case runs embed_probe in
// a folder of its own with logging on.
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

// One embed_probe run in a folder of its own: what it printed, the library's
// log, what Init answered and the game window before and after Init.
struct ProbeRun {
  std::string out, log, init;
  State before, after;
};

ProbeRun RunProbe(const wchar_t* mode) {
  ProbeRun run;
  lumo_test::ProbeFolder folder({L"embed_probe.exe"});
  const DWORD exitCode = folder.Run(L"embed_probe.exe", mode, &run.out);
  EXPECT_EQ(exitCode, 0u) << run.out;
  run.log = folder.Log(L"embed_probe.exe");
  run.init = FindValue(run.out, "[probe] init=");
  run.before = FindState(run.out, "before");
  run.after = FindState(run.out, "after");
  return run;
}

// A refused Init leaves the game its own top-level window, frame and all,
// and sends no window-ready message: the marker sent after the failed Init
// is the host's first message, the retry's window-ready the second and last.
void ExpectWindowUntouchedAndNoReady(const ProbeRun& run) {
  EXPECT_EQ(run.init, "-3") << run.out;
  EXPECT_EQ(run.after.style, run.before.style) << run.out;
  EXPECT_EQ(run.after.exStyle, run.before.exStyle) << run.out;
  EXPECT_EQ(run.after.parent, 0u) << run.out;
  EXPECT_EQ(FindValue(run.out, "[probe] host-got="), "marker,IpcMsg_GameSDK_GameWndReady") << run.out;
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
  const ProbeRun run = RunProbe(c.mode);
  const std::string& out = run.out;
  const std::string& log = run.log;
  ExpectWindowUntouchedAndNoReady(run);

  // A topmost game window is back in the topmost band.
  EXPECT_EQ(run.after.exStyle & WS_EX_TOPMOST, run.before.exStyle & WS_EX_TOPMOST) << out;
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
                    "the launcher must keep its window open until the game has sent GameWndReady, and not run at a "
                    "higher integrity level than the game"},
        RefusalCase{"TopmostGameWindow", L"invalid-handle topmost", "error 1400, invalid window handle",
                    "not run at a higher integrity level than the game"},
        RefusalCase{"HostGoneBetweenCheckAndCall", L"host-gone", "error 1400, invalid window handle",
                    "the host window was destroyed before the game could be embedded"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

// The launcher's window thread does not answer the check before the
// re-parenting: nothing changed, and the line names the error the check got
// (a hung thread, not an access denied or a gone window).
TEST(EmbedHostBusy, FailsBeforeTouchingTheWindowAndNamesTheProbesError) {
  const ProbeRun run = RunProbe(L"host-busy topmost");
  const std::string& out = run.out;
  const std::string& log = run.log;
  ExpectWindowUntouchedAndNoReady(run);
  const std::string line = "EmbedGameWindow host window does not answer in 1000 ms (error ";
  EXPECT_EQ(Count(log, line), 1u) << log;
  EXPECT_NE(log.find("its thread did not answer (hung or busy))"), std::string::npos) << log;
  EXPECT_EQ(log.find("not inside the host window"), std::string::npos) << log;
  EXPECT_EQ(FindValue(out, "[probe] retry="), "0") << out;
}

struct TookCase {
  const char* name;
  const wchar_t* mode;
  bool warned;             // the DPI warning before the re-parenting
  bool changed;            // the awareness changed with the re-parenting: one line with both values
  bool topmost;
};

void PrintTo(const TookCase& c, std::ostream* os) { *os << c.name; }

class EmbedTook : public ::testing::TestWithParam<TookCase> {};

TEST_P(EmbedTook, AnswersZeroWithTheWindowInsideTheHostAndReady) {
  const TookCase& c = GetParam();
  const ProbeRun run = RunProbe(c.mode);
  const std::string& out = run.out;
  const std::string& log = run.log;
  const State& before = run.before;
  const State& after = run.after;
  EXPECT_EQ(run.init, "0") << out;
  EXPECT_NE(after.parent, 0u) << out;
  EXPECT_EQ(FindValue(out, "[probe] host-got="), "IpcMsg_GameSDK_GameWndReady") << out;
  EXPECT_EQ(log.find("not inside the host window"), std::string::npos) << log;
  EXPECT_NE(log.find("Init success"), std::string::npos) << log;

  // The DPI warning names both outcomes Windows may choose, only for a pair
  // of different awareness.
  const std::string dpi = FindValue(out, "[probe] dpi ");
  const std::string warning = "EmbedGameWindow warning: the game window is ";
  if (c.warned) {
    ASSERT_NE(dpi.find("game=system aware"), std::string::npos) << out;
    ASSERT_EQ(dpi.find("host=system aware"), std::string::npos) << "the pair must differ: " << out;
    EXPECT_EQ(Count(log, warning), 1u) << log;
    EXPECT_NE(log.find("Windows may reset the game's DPI awareness or refuse the embedding: launcher: create the "
                       "host window on a thread with mixed DPI hosting"),
              std::string::npos)
        << log;
  } else {
    EXPECT_EQ(log.find(warning), std::string::npos) << log;
  }

  // The reset line, with the values before and after that the probe read.
  const std::string reset = "EmbedGameWindow the embedding changed the game's DPI awareness";
  // "<key>=<name>" in "game=system aware thread=...": names have spaces, so
  // a value ends where the next "<key>=" begins.
  const auto field = [](const std::string& line, const std::string& key) {
    const size_t at = line.find(key + "=");
    if (at == std::string::npos) return std::string("<missing>");
    const size_t begin = at + key.size() + 1;
    const size_t next = line.find('=', begin);
    if (next == std::string::npos) return line.substr(begin);
    return line.substr(begin, line.rfind(' ', next) - begin);
  };
  const std::string dpiAfter = FindValue(out, "[probe] dpi-after ");
  const std::string values = "game window " + field(dpi, "game") + " -> " + field(dpiAfter, "game") +
                             ", game thread " + field(dpi, "thread") + " -> " + field(dpiAfter, "thread") + ";";
  if (c.changed) {
    ASSERT_NE(field(dpi, "game") + field(dpi, "thread"), field(dpiAfter, "game") + field(dpiAfter, "thread")) << out;
    EXPECT_EQ(Count(log, reset), 1u) << log;
    EXPECT_NE(log.find(values + " host window: "), std::string::npos) << values << "\n" << log;
    EXPECT_NE(log.find("game: set its engine's DPI awareness setting"), std::string::npos) << log;
  } else {
    EXPECT_EQ(field(dpi, "game") + field(dpi, "thread"), field(dpiAfter, "game") + field(dpiAfter, "thread")) << out;
    EXPECT_EQ(log.find(reset), std::string::npos) << log;
  }

  // A topmost game window leaves the topmost band.
  EXPECT_EQ((before.exStyle & WS_EX_TOPMOST) != 0, c.topmost) << out;
  EXPECT_EQ(after.exStyle & WS_EX_TOPMOST, 0u) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EmbedTook,
    ::testing::Values(TookCase{"AwarenessKept", L"took", false, false, false},
                      // A system aware game under a per-monitor aware host window.
                      TookCase{"AwarenessChanged", L"took system-aware", true, true, false},
                      TookCase{"TopmostGameWindow", L"took topmost", false, false, true}),
    [](const ::testing::TestParamInfo<TookCase>& info) { return info.param.name; });

}  // namespace
