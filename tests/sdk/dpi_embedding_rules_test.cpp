// Which pairs of DPI awareness Windows refuses to embed, and what the log
// tells each side to do. Wine refuses none of them, so the rules are what
// stands between a refused embedding on Windows and a guess.
#include "sdk/dpi_embedding_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "ipc/integrity_level.h"

namespace {

using lumo::DpiAwareness;
using lumo::DpiEmbedVerdict;
using lumo::DpiHosting;

struct PairCase {
  DpiAwareness game;
  DpiAwareness host;
  DpiHosting hosting;
  DpiEmbedVerdict verdict;
  const wchar_t* cure;  // a part of the cure; null: none
};

TEST(DpiEmbeddingRules, JudgePairsAndNameTheCure) {
  const PairCase cases[] = {
      // Same awareness: fine whatever the hosting; v1 and v2 count as one.
      {DpiAwareness::SystemAware, DpiAwareness::SystemAware, DpiHosting::Default, DpiEmbedVerdict::Fine, nullptr},
      {DpiAwareness::PerMonitorAwareV2, DpiAwareness::PerMonitorAware, DpiHosting::Unknown, DpiEmbedVerdict::Fine,
       nullptr},
      // Different awareness without mixed hosting (or a system without it).
      {DpiAwareness::Unaware, DpiAwareness::PerMonitorAwareV2, DpiHosting::Default, DpiEmbedVerdict::MayBeRefused,
       L"mixed DPI hosting"},
      {DpiAwareness::Unaware, DpiAwareness::SystemAware, DpiHosting::Unknown, DpiEmbedVerdict::MayBeRefused,
       L"should run system aware like the launcher's window"},
      // Mixed hosting takes a less aware child, never a more aware one.
      {DpiAwareness::SystemAware, DpiAwareness::PerMonitorAwareV2, DpiHosting::Mixed, DpiEmbedVerdict::Fine, nullptr},
      {DpiAwareness::PerMonitorAware, DpiAwareness::SystemAware, DpiHosting::Mixed, DpiEmbedVerdict::MayBeRefused,
       L"cannot be hosted by a system aware launcher window even with mixed hosting"},
      {DpiAwareness::SystemAware, DpiAwareness::Unaware, DpiHosting::Mixed, DpiEmbedVerdict::Fine, nullptr},
      // An awareness that cannot be read is no verdict.
      {DpiAwareness::Unknown, DpiAwareness::SystemAware, DpiHosting::Default, DpiEmbedVerdict::NotKnown, nullptr},
  };
  for (const PairCase& c : cases) {
    SCOPED_TRACE(std::wstring(lumo::DpiAwarenessName(c.game)) + L" in " + lumo::DpiAwarenessName(c.host) + L", " +
                 lumo::DpiHostingName(c.hosting));
    EXPECT_EQ(lumo::JudgeDpiEmbedding(c.game, c.host, c.hosting), c.verdict);
    const std::wstring cure = lumo::DpiEmbeddingCure(c.game, c.host, c.hosting);
    if (c.cure == nullptr) {
      EXPECT_TRUE(cure.empty()) << std::string(cure.begin(), cure.end());
    } else {
      EXPECT_NE(cure.find(c.cure), std::wstring::npos) << std::string(cure.begin(), cure.end());
    }
  }
}

TEST(IntegrityLevel, ReadsThisProcessAndNamesBothLevelsInTheHint) {
  // The token of this process is readable, through its id as through itself.
  const lumo::IntegrityLevel own = lumo::OwnIntegrityLevel();
  EXPECT_NE(own, lumo::IntegrityLevel::Unknown);
  EXPECT_EQ(lumo::ProcessIntegrityLevel(GetCurrentProcessId()), own);
  EXPECT_EQ(lumo::ProcessIntegrityLevel(0), lumo::IntegrityLevel::Unknown);
  EXPECT_EQ(lumo::IntegrityLevelFromRid(0x2000), lumo::IntegrityLevel::Medium);
  EXPECT_EQ(lumo::IntegrityLevelFromRid(0x3000), lumo::IntegrityLevel::High);
  const std::wstring hint = lumo::HigherIntegrityHint(lumo::IntegrityLevel::Unknown, lumo::IntegrityLevel::Medium);
  EXPECT_NE(hint.find(L"higher integrity level than the game (launcher: unknown (its token cannot be read from "
                      L"the game), game: medium)"),
            std::wstring::npos);
  const std::wstring same = lumo::HigherIntegrityHint(lumo::IntegrityLevel::Medium, lumo::IntegrityLevel::Medium);
  EXPECT_NE(same.find(L"not the cause (launcher: medium, game: medium)"), std::wstring::npos);
}

}  // namespace
