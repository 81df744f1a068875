#include "hostcheck/dpi_mode_verdict.h"

#include <algorithm>

#include "diag/text_convert.h"
#include "sdk/dpi_embedding_rules.h"

namespace hostcheck {

namespace {

std::string Utf8(const std::wstring& text) {
  return lumo::WideToMultiByte(text.c_str(), static_cast<int>(text.size()), CP_UTF8);
}

std::string Name(lumo::DpiAwareness awareness) { return Utf8(lumo::DpiAwarenessName(awareness)); }

std::string List(const std::vector<std::string>& items, const char* separator = ", ") {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

}  // namespace

DpiModesResult JudgeDpiModes(const std::vector<DpiModeTrial>& trials, lumo::DpiAwareness host,
                             lumo::DpiHosting hosting) {
  using Outcome = DpiModeTrial::Outcome;
  std::vector<std::string> embedded, refused, notJudged, cures, unenforced, unenforcedCures;
  auto addCure = [&cures, host, hosting](lumo::DpiAwareness game) {
    std::string cure = Utf8(lumo::DpiEmbeddingCure(game, host, hosting));
    if (cure.empty()) {
      // The DPI rule allows this pair (or an awareness could not be read):
      // something else refused it, most often an integrity level.
      cure = "the DPI rule allows this pair, so look at the error: an access denied (5) means the launcher runs "
             "at a higher integrity level than the game";
    }
    if (std::find(cures.begin(), cures.end(), cure) == cures.end()) cures.push_back(cure);
  };
  // An embedded pair that Windows 10 1703 and later would refuse.
  auto noteUnenforced = [&unenforced, &unenforcedCures, host, hosting](lumo::DpiAwareness game) {
    if (lumo::JudgeDpiEmbedding(game, host, hosting) != lumo::DpiEmbedVerdict::MayBeRefused) return;
    unenforced.push_back(Name(game));
    const std::string cure = Utf8(lumo::DpiEmbeddingCure(game, host, hosting));
    if (std::find(unenforcedCures.begin(), unenforcedCures.end(), cure) == unenforcedCures.end()) {
      unenforcedCures.push_back(cure);
    }
  };
  for (const DpiModeTrial& t : trials) {
    const std::string name = Name(t.requested);
    switch (t.outcome) {
      case Outcome::Embedded:
        embedded.push_back(name);
        noteUnenforced(t.requested);
        break;
      case Outcome::Refused:
        refused.push_back(name + " (error " + std::to_string(t.error) + ")");
        addCure(t.requested);
        break;
      case Outcome::TimedOut:
        notJudged.push_back(name + " (the trial did not end in time)");
        break;
      case Outcome::NotMade:
      default: {
        std::string why = name + " (this system cannot make a window in that mode";
        if (t.hasStandIn) {
          const std::string standIn = Name(lumo::DpiAwareness::PerMonitorAware);
          if (t.standInOutcome == Outcome::Embedded) {
            why += "; a " + standIn + " window in its place embeds";
            noteUnenforced(lumo::DpiAwareness::PerMonitorAware);
          } else if (t.standInOutcome == Outcome::Refused) {
            why += "; a " + standIn + " window in its place is refused, error " + std::to_string(t.standInError);
            refused.push_back(standIn + " (error " + std::to_string(t.standInError) + ")");
            addCure(lumo::DpiAwareness::PerMonitorAware);
          }
        }
        notJudged.push_back(why + ")");
        break;
      }
    }
  }
  const std::string hostText = "host window " + Name(host) + ", DPI hosting " + Utf8(lumo::DpiHostingName(hosting));
  DpiModesResult result;
  std::string text;
  if (!refused.empty()) {
    result.verdict = Verdict::Fail;
    text = "game windows of these awareness modes cannot be embedded: " + List(refused);
    if (!embedded.empty()) text += "; embedded: " + List(embedded);
    if (!notJudged.empty()) text += "; not judged: " + List(notJudged);
    text += " (" + hostText + "): " + List(cures, "; ");
  } else if (!notJudged.empty()) {
    result.verdict = Verdict::Warn;
    text = "not judged: " + List(notJudged);
    if (!embedded.empty()) text += "; embedded: " + List(embedded);
    text += " (" + hostText + ")";
  } else {
    result.verdict = Verdict::Pass;
    text = "game windows of every awareness embed: " + List(embedded) + " (" + hostText + ")";
  }
  if (!unenforced.empty()) {
    // Wine and Windows before 10 1703 embed every pair: say what a newer
    // Windows would do with this host window.
    text += "; this system does not enforce the DPI rule of Windows 10 1703 and later, which refuses " +
            List(unenforced) + " here: " + List(unenforcedCures, "; ");
  }
  result.observation = text;
  return result;
}

}  // namespace hostcheck
