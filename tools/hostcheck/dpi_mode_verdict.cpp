#include "hostcheck/dpi_mode_verdict.h"

#include <algorithm>

#include "diag/utf8.h"
#include "sdk/dpi_embedding_rules.h"

namespace hostcheck {

namespace {

using Outcome = DpiTrialResult::Outcome;

std::string Name(lumo::DpiAwareness awareness) { return lumo::Utf16ToUtf8(lumo::DpiAwarenessName(awareness)); }

std::string List(const std::vector<std::string>& items, const char* separator = ", ") {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

void AddOnce(std::vector<std::string>& items, const std::string& item) {
  if (std::find(items.begin(), items.end(), item) == items.end()) items.push_back(item);
}

const char* StandInText(const DpiTrialResult& r) {
  switch (r.outcome) {
    case Outcome::Kept:
      return "embeds and keeps its awareness";
    case Outcome::Reset:
      return "has its awareness reset";
    case Outcome::Refused:
      return "is refused";
    default:
      return "is not judged either";
  }
}

// What the trials found, sorted by what the verdict makes of them.
class Tally {
 public:
  Tally(lumo::DpiAwareness host, lumo::DpiHosting hosting) : host_(host), hosting_(hosting) {}

  // One trial's result for a game window of awareness `mode`. A stand-in's
  // kept awareness is told in the note of the mode it stands in for, not
  // among the kept (`listKept` false).
  void Add(lumo::DpiAwareness mode, const DpiTrialResult& r, bool listKept = true) {
    const std::string name = Name(mode);
    switch (r.outcome) {
      case Outcome::Kept:
        if (listKept) kept.push_back(name);
        // Wine, and a host window whose pair the rule allows, keep it; say
        // what a Windows that resets would do with this host window.
        if (lumo::JudgeDpiEmbedding(mode, host_, hosting_) == lumo::DpiEmbedVerdict::MayResetOrRefuse) {
          unenforced.push_back(name);
          AddOnce(unenforcedCures, lumo::Utf16ToUtf8(lumo::DpiCure(mode, host_)));
        }
        break;
      case Outcome::Reset:
        failed.push_back(name + " (embedded, but the game's DPI awareness was reset: " + Name(r.before) + " -> " +
                         Name(r.after) + ")");
        AddOnce(cures, lumo::Utf16ToUtf8(lumo::DpiCure(mode, host_)));
        break;
      case Outcome::Refused: {
        failed.push_back(name + " (refused, error " + std::to_string(r.error) + ")");
        std::string cure = lumo::Utf16ToUtf8(lumo::DpiEmbeddingCure(mode, host_, hosting_));
        if (cure.empty()) {
          // The DPI rule allows this pair (or an awareness could not be
          // read): something else refused it, most often an integrity level.
          cure = "the DPI rule allows this pair, so look at the error: an access denied (5) means the launcher "
                 "runs at a higher integrity level than the game";
        }
        AddOnce(cures, cure);
        break;
      }
      case Outcome::TimedOut:
        notJudged.push_back(name + " (the trial did not end in time)");
        break;
      case Outcome::NoResult:
        notJudged.push_back(name + " (the trial process gave no result)");
        break;
      case Outcome::NotMade:
      default:
        notJudged.push_back(name + " (this system cannot make a window in that mode)");
        break;
    }
  }

  std::vector<std::string> kept, failed, notJudged, cures, unenforced, unenforcedCures;

 private:
  lumo::DpiAwareness host_;
  lumo::DpiHosting hosting_;
};

}  // namespace

DpiModesResult JudgeDpiModes(const std::vector<DpiModeTrial>& trials, lumo::DpiAwareness host,
                             lumo::DpiHosting hosting) {
  Tally tally(host, hosting);
  for (const DpiModeTrial& t : trials) {
    tally.Add(t.requested, t.result);
    // A per-monitor aware v1 window stands in for a v2 mode the system
    // cannot make; the rule treats them alike.
    if (t.hasStandIn && t.result.outcome == Outcome::NotMade) {
      std::string& note = tally.notJudged.back();
      note.pop_back();  // its ")"
      note += "; a " + Name(lumo::DpiAwareness::PerMonitorAware) + " window in its place " + StandInText(t.standIn) +
              ")";
      const Outcome o = t.standIn.outcome;
      if (o == Outcome::Kept || o == Outcome::Reset || o == Outcome::Refused) {
        tally.Add(lumo::DpiAwareness::PerMonitorAware, t.standIn, false);
      }
    }
  }
  const std::string hostText =
      "host window " + Name(host) + ", DPI hosting " + lumo::Utf16ToUtf8(lumo::DpiHostingName(hosting));
  DpiModesResult result;
  std::string text;
  if (!tally.failed.empty()) {
    result.verdict = Verdict::Fail;
    text = "game windows of these awareness modes do not keep their awareness in this window: " +
           List(tally.failed, "; ");
    if (!tally.kept.empty()) text += "; kept: " + List(tally.kept);
    if (!tally.notJudged.empty()) text += "; not judged: " + List(tally.notJudged);
    text += " (" + hostText + "): " + List(tally.cures, "; ");
  } else if (!tally.notJudged.empty()) {
    result.verdict = Verdict::Warn;
    text = "not judged: " + List(tally.notJudged);
    if (!tally.kept.empty()) text += "; kept: " + List(tally.kept);
    text += " (" + hostText + ")";
  } else {
    result.verdict = Verdict::Pass;
    text = "game windows of every awareness embed and keep it: " + List(tally.kept) + " (" + hostText + ")";
  }
  if (!tally.unenforced.empty()) {
    // Wine never resets: say what Windows does with this host window.
    text += "; this system kept the awareness of " + List(tally.unenforced) +
            ", which Windows resets when the game is embedded into this window: " +
            List(tally.unenforcedCures, "; ");
  }
  result.observation = text;
  return result;
}

}  // namespace hostcheck
