// Which pairs of DPI awareness Windows resets (or refuses) when it embeds
// the game, and what the log tells each side to do. Wine does neither, so
// the rules and the texts are what the game team has on Windows.
#include "sdk/dpi_embedding_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "ipc/integrity_level.h"
#include "sdk/elevated_game.h"

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
      {DpiAwareness::Unaware, DpiAwareness::PerMonitorAwareV2, DpiHosting::Default, DpiEmbedVerdict::MayResetOrRefuse,
       L"mixed DPI hosting"},
      {DpiAwareness::Unaware, DpiAwareness::SystemAware, DpiHosting::Unknown, DpiEmbedVerdict::MayResetOrRefuse,
       L"game: set its engine's DPI awareness setting (or its manifest) to system aware, the launcher window's"},
      // Mixed hosting takes a less aware child, never a more aware one.
      {DpiAwareness::SystemAware, DpiAwareness::PerMonitorAwareV2, DpiHosting::Mixed, DpiEmbedVerdict::Fine, nullptr},
      {DpiAwareness::PerMonitorAware, DpiAwareness::SystemAware, DpiHosting::Mixed, DpiEmbedVerdict::MayResetOrRefuse,
       L"and make it per-monitor aware: a system aware window cannot host a per-monitor aware game window even with "
       L"mixed hosting"},
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

// The line Init logs when the awareness it reads after the re-parenting
// differs from before (what Windows does across processes).
TEST(DpiEmbeddingRules, ResetLineNamesBothValuesWhatThePlayerSeesAndTheCures) {
  lumo::DpiReadings before, after;
  before.window = DpiAwareness::SystemAware;
  before.thread = DpiAwareness::SystemAware;
  after.window = DpiAwareness::SystemAware;
  after.thread = DpiAwareness::PerMonitorAwareV2;
  EXPECT_FALSE(before == after);
  const std::wstring line =
      lumo::DpiResetLine(before, after, DpiAwareness::PerMonitorAwareV2, DpiHosting::Default);
  const wchar_t* parts[] = {
      L"EmbedGameWindow the embedding changed the game's DPI awareness",
      L"game window system aware -> system aware, game thread system aware -> per-monitor aware v2",
      L"host window: per-monitor aware v2, host DPI hosting: default (not mixed)",
      L"blurred", L"wrong scale", L"mouse",
      L"launcher: create the host window on a thread with mixed DPI hosting",
      L"game: set its engine's DPI awareness setting (or its manifest) to per-monitor aware v2",
  };
  size_t at = 0;
  for (const wchar_t* part : parts) {
    const size_t found = line.find(part, at);
    ASSERT_NE(found, std::wstring::npos) << std::string(line.begin(), line.end());
    at = found;
  }
  // A per-monitor aware game under a system aware launcher: the launcher's
  // window must become per-monitor aware too.
  before.window = before.thread = DpiAwareness::PerMonitorAware;
  after.window = after.thread = DpiAwareness::SystemAware;
  const std::wstring up = lumo::DpiResetLine(before, after, DpiAwareness::SystemAware, DpiHosting::Mixed);
  EXPECT_NE(up.find(L"and make it per-monitor aware"), std::wstring::npos) << std::string(up.begin(), up.end());
}

TEST(IntegrityLevel, AWarningOnlyForAGameAboveItsLauncher) {
  using lumo::IntegrityLevel;
  const std::wstring warning = lumo::GameAboveLauncherWarning({IntegrityLevel::Medium, IntegrityLevel::High});
  EXPECT_NE(warning.find(L"higher integrity level than the launcher (game: high (elevated), launcher: medium)"),
            std::wstring::npos);
  EXPECT_NE(warning.find(L"start the game at the launcher's level"), std::wstring::npos);
  EXPECT_TRUE(lumo::GameAboveLauncherWarning({IntegrityLevel::High, IntegrityLevel::High}).empty());
  EXPECT_TRUE(lumo::GameAboveLauncherWarning({IntegrityLevel::High, IntegrityLevel::Medium}).empty());
  // A level that cannot be read is no reason to warn.
  EXPECT_TRUE(lumo::GameAboveLauncherWarning({IntegrityLevel::Unknown, IntegrityLevel::High}).empty());
  EXPECT_TRUE(lumo::GameAboveLauncherWarning({IntegrityLevel::Low, IntegrityLevel::Unknown}).empty());
}

TEST(IntegrityLevel, ReadsThisProcessAndNamesBothLevelsInTheHint) {
  // The token of this process is readable, through its id as through itself.
  const lumo::IntegrityLevel own = lumo::OwnIntegrityLevel();
  EXPECT_NE(own, lumo::IntegrityLevel::Unknown);
  EXPECT_EQ(lumo::ProcessIntegrityLevel(GetCurrentProcessId()), own);
  EXPECT_EQ(lumo::ProcessIntegrityLevel(0), lumo::IntegrityLevel::Unknown);
  EXPECT_EQ(lumo::IntegrityLevelFromRid(0x2000), lumo::IntegrityLevel::Medium);
  EXPECT_EQ(lumo::IntegrityLevelFromRid(0x3000), lumo::IntegrityLevel::High);
  const std::wstring hint = lumo::HigherIntegrityHint({lumo::IntegrityLevel::Unknown, lumo::IntegrityLevel::Medium});
  EXPECT_NE(hint.find(L"higher integrity level than the game (launcher: unknown (its token cannot be read from "
                      L"the game), game: medium)"),
            std::wstring::npos);
  const std::wstring same = lumo::HigherIntegrityHint({lumo::IntegrityLevel::Medium, lumo::IntegrityLevel::Medium});
  EXPECT_NE(same.find(L"not the cause (launcher: medium, game: medium)"), std::wstring::npos);
}

}  // namespace
