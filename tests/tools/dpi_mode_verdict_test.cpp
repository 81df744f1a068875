// The window/dpi-modes verdict from trials the test chooses, and the line a
// trial process reports it in. Wine neither resets a game's awareness nor
// refuses a pair, so what Windows does is shown here through the trials'
// outcomes rather than by a real SetParent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostcheck/dpi_mode_verdict.h"
#include "hostcheck/dpi_trial_report.h"

namespace {

using hostcheck::DpiModeTrial;
using hostcheck::DpiTrialResult;
using hostcheck::Verdict;
using lumo::DpiAwareness;
using lumo::DpiHosting;
using Outcome = DpiTrialResult::Outcome;

DpiTrialResult Result(Outcome outcome, unsigned long error = 0, DpiAwareness before = DpiAwareness::Unknown,
                      DpiAwareness after = DpiAwareness::Unknown) {
  DpiTrialResult r;
  r.outcome = outcome;
  r.error = error;
  r.before = before;
  r.after = after;
  return r;
}

DpiModeTrial Trial(DpiAwareness mode, DpiTrialResult result) {
  DpiModeTrial t;
  t.requested = mode;
  t.result = result;
  if (result.outcome != Outcome::NotMade) t.result.made = mode;
  return t;
}

DpiModeTrial Trial(DpiAwareness mode, Outcome outcome, unsigned long error = 0) {
  return Trial(mode, Result(outcome, error));
}

DpiModeTrial V2NotMadeStandIn(DpiTrialResult standIn) {
  DpiModeTrial t = Trial(DpiAwareness::PerMonitorAwareV2, Outcome::NotMade);
  t.hasStandIn = true;
  t.standIn = standIn;
  return t;
}

struct VerdictCase {
  const char* name;
  std::vector<DpiModeTrial> trials;
  DpiAwareness host;
  DpiHosting hosting;
  Verdict verdict;
  std::vector<std::string> parts;  // each must be in the observation, in this order
};

class DpiModesVerdict : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(DpiModesVerdict, NamesEachModeAndTheCure) {
  const VerdictCase& c = GetParam();
  const hostcheck::DpiModesResult r = hostcheck::JudgeDpiModes(c.trials, c.host, c.hosting);
  EXPECT_EQ(r.verdict, c.verdict) << r.observation;
  size_t at = 0;
  for (const std::string& part : c.parts) {
    const size_t found = r.observation.find(part, at);
    ASSERT_NE(found, std::string::npos) << "\"" << part << "\" in: " << r.observation;
    at = found + part.size();
  }
}

const VerdictCase kCases[] = {
    {"AllKeptWithMixedHosting",
     {Trial(DpiAwareness::Unaware, Outcome::Kept), Trial(DpiAwareness::SystemAware, Outcome::Kept),
      Trial(DpiAwareness::PerMonitorAwareV2, Outcome::Kept)},
     DpiAwareness::PerMonitorAwareV2, DpiHosting::Mixed, Verdict::Pass,
     {"game windows of every awareness embed and keep it: unaware, system aware, per-monitor aware v2 (host window "
      "per-monitor aware v2, DPI hosting mixed)"}},
    // Windows, a per-monitor launcher without mixed hosting: the game's
    // process is embedded and its awareness reset.
    {"ResetWithoutMixedHosting",
     {Trial(DpiAwareness::Unaware,
            Result(Outcome::Reset, 0, DpiAwareness::Unaware, DpiAwareness::PerMonitorAwareV2)),
      Trial(DpiAwareness::SystemAware,
            Result(Outcome::Reset, 0, DpiAwareness::SystemAware, DpiAwareness::PerMonitorAwareV2)),
      Trial(DpiAwareness::PerMonitorAwareV2, Outcome::Kept)},
     DpiAwareness::PerMonitorAwareV2, DpiHosting::Default, Verdict::Fail,
     {"do not keep their awareness in this window: unaware (embedded, but the game's DPI awareness was reset: "
      "unaware -> per-monitor aware v2); system aware (embedded, but the game's DPI awareness was reset: system "
      "aware -> per-monitor aware v2); kept: per-monitor aware v2",
      "(host window per-monitor aware v2, DPI hosting default (not mixed)): ",
      "launcher: create the host window on a thread with mixed DPI hosting",
      "game: set its engine's DPI awareness setting (or its manifest) to per-monitor aware v2"}},
    // Mixed hosting, but a system aware launcher cannot host a per-monitor game.
    {"PerMonitorGameResetUnderSystemHost",
     {Trial(DpiAwareness::Unaware, Outcome::Kept), Trial(DpiAwareness::SystemAware, Outcome::Kept),
      Trial(DpiAwareness::PerMonitorAwareV2,
            Result(Outcome::Reset, 0, DpiAwareness::PerMonitorAwareV2, DpiAwareness::SystemAware))},
     DpiAwareness::SystemAware, DpiHosting::Mixed, Verdict::Fail,
     {"per-monitor aware v2 (embedded, but the game's DPI awareness was reset: per-monitor aware v2 -> system "
      "aware); kept: unaware, system aware",
      "and make it per-monitor aware: a system aware window cannot host a per-monitor aware game window"}},
    // A refusal still fails, and the error decides the cure when the DPI
    // rule allows the pair.
    {"RefusedAlthoughTheRuleAllows",
     {Trial(DpiAwareness::Unaware, Outcome::Refused, 5), Trial(DpiAwareness::SystemAware, Outcome::Kept),
      Trial(DpiAwareness::PerMonitorAwareV2, Outcome::Kept)},
     DpiAwareness::PerMonitorAwareV2, DpiHosting::Mixed, Verdict::Fail,
     {"unaware (refused, error 5)", "an access denied (5) means the launcher runs at a higher integrity level"}},
    {"RefusedPairTheRuleNames",
     {Trial(DpiAwareness::Unaware, Outcome::Refused, 1400), Trial(DpiAwareness::SystemAware, Outcome::Kept),
      Trial(DpiAwareness::PerMonitorAwareV2, Outcome::Kept)},
     DpiAwareness::SystemAware, DpiHosting::Default, Verdict::Fail,
     {"unaware (refused, error 1400)", "launcher: create the host window on a thread with mixed DPI hosting"}},
    // Wine: no per-monitor v2, no mixed hosting, every awareness kept.
    {"WineNoV2AndNoReset",
     {Trial(DpiAwareness::Unaware, Outcome::Kept), Trial(DpiAwareness::SystemAware, Outcome::Kept),
      V2NotMadeStandIn(Result(Outcome::Kept))},
     DpiAwareness::PerMonitorAware, DpiHosting::Unknown, Verdict::Warn,
     {"not judged: per-monitor aware v2 (this system cannot make a window in that mode; a per-monitor aware window "
      "in its place embeds and keeps its awareness); kept: unaware, system aware (host window per-monitor aware, "
      "DPI hosting unknown",
      "; this system kept the awareness of unaware, system aware, which Windows resets when the game is embedded "
      "into this window: launcher: create the host window on a thread with mixed DPI hosting"}},
    {"StandInResetFails",
     {Trial(DpiAwareness::Unaware, Outcome::Kept), Trial(DpiAwareness::SystemAware, Outcome::Kept),
      V2NotMadeStandIn(Result(Outcome::Reset, 0, DpiAwareness::PerMonitorAware, DpiAwareness::SystemAware))},
     DpiAwareness::SystemAware, DpiHosting::Default, Verdict::Fail,
     {"per-monitor aware (embedded, but the game's DPI awareness was reset: per-monitor aware -> system aware)",
      "not judged: per-monitor aware v2 (this system cannot make a window in that mode; a per-monitor aware window "
      "in its place has its awareness reset)"}},
    {"TrialOutOfTime",
     {Trial(DpiAwareness::Unaware, Outcome::TimedOut), Trial(DpiAwareness::SystemAware, Outcome::Kept),
      Trial(DpiAwareness::PerMonitorAwareV2, Outcome::Kept)},
     DpiAwareness::SystemAware, DpiHosting::Mixed, Verdict::Warn,
     {"not judged: unaware (the trial did not end in time); kept: system aware, per-monitor aware v2"}},
    {"TrialWithoutResult",
     {Trial(DpiAwareness::Unaware, Outcome::Kept), Trial(DpiAwareness::SystemAware, Outcome::NoResult),
      Trial(DpiAwareness::PerMonitorAwareV2, Outcome::Kept)},
     DpiAwareness::PerMonitorAwareV2, DpiHosting::Mixed, Verdict::Warn,
     {"not judged: system aware (the trial process gave no result); kept: unaware, per-monitor aware v2"}},
};

INSTANTIATE_TEST_SUITE_P(Table, DpiModesVerdict, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<VerdictCase>& info) { return info.param.name; });

TEST(DpiTrialLine, ReadsBackWhatATrialPrintsAndRefusesDamagedLines) {
  DpiTrialResult reset = Result(Outcome::Reset, 0, DpiAwareness::SystemAware, DpiAwareness::PerMonitorAwareV2);
  reset.made = DpiAwareness::SystemAware;
  const DpiTrialResult refused = Result(Outcome::Refused, 4294967295ul);
  for (const DpiTrialResult& sent : {reset, refused, Result(Outcome::Kept), Result(Outcome::NotMade)}) {
    const std::string line = hostcheck::FormatDpiTrialLine(sent);
    DpiTrialResult got;
    // Other output before it, and Windows line ends.
    ASSERT_TRUE(hostcheck::ParseDpiTrialOutput("noise\r\n" + line + "\r\n", got)) << line;
    EXPECT_EQ(got.outcome, sent.outcome) << line;
    EXPECT_EQ(got.made, sent.made) << line;
    EXPECT_EQ(got.before, sent.before) << line;
    EXPECT_EQ(got.after, sent.after) << line;
    EXPECT_EQ(got.error, sent.error) << line;
  }
  EXPECT_EQ(hostcheck::FormatDpiTrialLine(reset),
            "dpi-trial outcome=reset made=system before=system after=permonitor2 error=0");

  const char* damaged[] = {
      "",
      "no trial line\n",
      "dpi-trial outcome=reset made=system before=system after=permonitor2\n",           // no error
      "dpi-trial outcome=gone made=system before=system after=system error=0\n",         // unknown outcome
      "dpi-trial outcome=kept made=sideways before=system after=system error=0\n",       // unknown mode
      "dpi-trial outcome=kept made=system before=system after=system error=-1\n",        // not a number
      "dpi-trial outcome=kept made=system before=system after=system error=4294967296",  // over 32 bits
      "x dpi-trial outcome=kept made=system before=system after=system error=0\n",       // not at a line start
  };
  for (const char* text : damaged) {
    DpiTrialResult got = Result(Outcome::TimedOut, 7);
    EXPECT_FALSE(hostcheck::ParseDpiTrialOutput(text, got)) << text;
    EXPECT_EQ(got.outcome, Outcome::TimedOut) << text;
    EXPECT_EQ(got.error, 7u) << text;
  }
}

TEST(DpiTrialLine, ModeNamesRoundTrip) {
  for (DpiAwareness mode : {DpiAwareness::Unaware, DpiAwareness::SystemAware, DpiAwareness::PerMonitorAware,
                            DpiAwareness::PerMonitorAwareV2}) {
    EXPECT_EQ(hostcheck::DpiTrialModeFromName(hostcheck::DpiTrialModeName(mode)), mode);
  }
  EXPECT_EQ(hostcheck::DpiTrialModeName(DpiAwareness::Unknown), nullptr);
  EXPECT_EQ(hostcheck::DpiTrialModeFromName("unknown"), DpiAwareness::Unknown);
}

}  // namespace
