// The window/dpi-modes verdict from trials the test chooses. Wine embeds
// every awareness pair, so the refusals of Windows 10 1703 and later are
// shown here through the trials' outcomes rather than by a real SetParent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostcheck/dpi_mode_verdict.h"

namespace {

using hostcheck::DpiModeTrial;
using hostcheck::Verdict;
using lumo::DpiAwareness;
using lumo::DpiHosting;
using Outcome = DpiModeTrial::Outcome;

DpiModeTrial Trial(DpiAwareness mode, Outcome outcome, DWORD error = 0) {
  DpiModeTrial t;
  t.requested = mode;
  t.made = outcome == Outcome::NotMade ? DpiAwareness::Unknown : mode;
  t.outcome = outcome;
  t.error = error;
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

TEST_P(DpiModesVerdict, NamesEachModeAndTheRemedy) {
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

DpiModeTrial V2NotMadeStandIn(Outcome standIn, DWORD error = 0) {
  DpiModeTrial t = Trial(DpiAwareness::PerMonitorAwareV2, Outcome::NotMade);
  t.hasStandIn = true;
  t.standInOutcome = standIn;
  t.standInError = error;
  return t;
}

const VerdictCase kCases[] = {
    {"AllEmbedWithMixedHosting",
     {Trial(DpiAwareness::Unaware, Outcome::Embedded), Trial(DpiAwareness::SystemAware, Outcome::Embedded),
      Trial(DpiAwareness::PerMonitorAwareV2, Outcome::Embedded)},
     DpiAwareness::PerMonitorAwareV2, DpiHosting::Mixed, Verdict::Pass,
     {"game windows of every awareness embed: unaware, system aware, per-monitor aware v2 (host window per-monitor "
      "aware v2, DPI hosting mixed)"}},
    // Windows 10 1803 and later, a per-monitor launcher without mixed hosting.
    {"RefusedWithoutMixedHosting",
     {Trial(DpiAwareness::Unaware, Outcome::Refused, 1400), Trial(DpiAwareness::SystemAware, Outcome::Refused, 1400),
      Trial(DpiAwareness::PerMonitorAwareV2, Outcome::Embedded)},
     DpiAwareness::PerMonitorAwareV2, DpiHosting::Default, Verdict::Fail,
     {"cannot be embedded: unaware (error 1400), system aware (error 1400); embedded: per-monitor aware v2",
      "(host window per-monitor aware v2, DPI hosting default (not mixed)): ",
      "the launcher should create its window on a thread with mixed DPI hosting"}},
    // Mixed hosting, but a system aware launcher cannot host a per-monitor game.
    {"PerMonitorGameUnderSystemHost",
     {Trial(DpiAwareness::Unaware, Outcome::Embedded), Trial(DpiAwareness::SystemAware, Outcome::Embedded),
      Trial(DpiAwareness::PerMonitorAwareV2, Outcome::Refused, 87)},
     DpiAwareness::SystemAware, DpiHosting::Mixed, Verdict::Fail,
     {"cannot be embedded: per-monitor aware v2 (error 87); embedded: unaware, system aware",
      "a per-monitor aware game window cannot be hosted by a system aware launcher window even with mixed hosting"}},
    // A pair the DPI rule allows, refused all the same: the error decides.
    {"RefusedAlthoughTheRuleAllows",
     {Trial(DpiAwareness::Unaware, Outcome::Refused, 5), Trial(DpiAwareness::SystemAware, Outcome::Embedded),
      Trial(DpiAwareness::PerMonitorAwareV2, Outcome::Embedded)},
     DpiAwareness::PerMonitorAwareV2, DpiHosting::Mixed, Verdict::Fail,
     {"unaware (error 5)", "an access denied (5) means the launcher runs at a higher integrity level"}},
    // Wine: no per-monitor v2, no mixed hosting, every pair embeds.
    {"WineNoV2AndRuleNotEnforced",
     {Trial(DpiAwareness::Unaware, Outcome::Embedded), Trial(DpiAwareness::SystemAware, Outcome::Embedded),
      V2NotMadeStandIn(Outcome::Embedded)},
     DpiAwareness::PerMonitorAware, DpiHosting::Unknown, Verdict::Warn,
     {"not judged: per-monitor aware v2 (this system cannot make a window in that mode; a per-monitor aware window "
      "in its place embeds); embedded: unaware, system aware (host window per-monitor aware, DPI hosting unknown",
      "this system does not enforce the DPI rule of Windows 10 1703 and later, which refuses unaware, system aware "
      "here: the launcher should create its window on a thread with mixed DPI hosting"}},
    {"StandInRefusedFails",
     {Trial(DpiAwareness::Unaware, Outcome::Embedded), Trial(DpiAwareness::SystemAware, Outcome::Embedded),
      V2NotMadeStandIn(Outcome::Refused, 1400)},
     DpiAwareness::SystemAware, DpiHosting::Default, Verdict::Fail,
     {"cannot be embedded: per-monitor aware (error 1400)", "not judged: per-monitor aware v2"}},
    {"TrialOutOfTime",
     {Trial(DpiAwareness::Unaware, Outcome::TimedOut), Trial(DpiAwareness::SystemAware, Outcome::Embedded),
      Trial(DpiAwareness::PerMonitorAwareV2, Outcome::Embedded)},
     DpiAwareness::SystemAware, DpiHosting::Mixed, Verdict::Warn,
     {"not judged: unaware (the trial did not end in time); embedded: system aware, per-monitor aware v2"}},
};

INSTANTIATE_TEST_SUITE_P(Table, DpiModesVerdict, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<VerdictCase>& info) { return info.param.name; });

}  // namespace
