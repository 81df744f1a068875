// The report: one result per clause of the host contract, printed as text
// lines and, on request, written as JSON. Any thread may add results (a
// lock guards them); printing and writing happen on the main thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace hostcheck {

// A clause that does not concern the launcher at hand is a Pass whose
// observation begins "not applicable:" (the report's format stays one of
// three verdicts); one that could not be judged is a Warn beginning
// "not judged:".
enum class Verdict { Pass, Fail, Warn };

struct ClauseResult {
  std::string group;        // one of kGroups
  std::string id;           // short name of the clause
  Verdict verdict = Verdict::Warn;
  std::string observation;  // what was seen, and for a FAIL why it breaks the clause
  double ms = -1;           // how long the observed step took; < 0: no timing
  std::string section;      // anchor in docs/host-contract.md
};

class Report {
 public:
  void Add(ClauseResult result);
  std::vector<ClauseResult> Results() const;
  int Count(Verdict verdict) const;
  // One line per clause, then "N passed, N failed" (and the warnings).
  std::string Text() const;
  std::string Json(const std::string& commandLine) const;

 private:
  mutable std::mutex lock_;
  std::vector<ClauseResult> results_;
};

const char* VerdictName(Verdict verdict);
// "docs/host-contract.md#<anchor>"
std::string SectionLink(const std::string& anchor);

}  // namespace hostcheck
