#include "hostcheck/report.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

#include "hostcheck/options.h"

namespace hostcheck {

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::Pass:
      return "PASS";
    case Verdict::Fail:
      return "FAIL";
    default:
      return "WARN";
  }
}

std::string SectionLink(const std::string& anchor) { return "docs/host-contract.md#" + anchor; }

void Report::Add(ClauseResult result) {
  std::lock_guard<std::mutex> guard(lock_);
  results_.push_back(std::move(result));
}

std::vector<ClauseResult> Report::Results() const {
  std::vector<ClauseResult> results;
  {
    std::lock_guard<std::mutex> guard(lock_);
    results = results_;
  }
  // Clauses are judged as the session goes, reported group by group.
  auto rank = [](const ClauseResult& r) {
    int i = 0;
    while (i < 5 && r.group != kGroups[i]) ++i;
    return i;
  };
  std::stable_sort(results.begin(), results.end(),
                   [&rank](const ClauseResult& a, const ClauseResult& b) { return rank(a) < rank(b); });
  return results;
}

int Report::Count(Verdict verdict) const {
  std::lock_guard<std::mutex> guard(lock_);
  int n = 0;
  for (const ClauseResult& r : results_) n += r.verdict == verdict ? 1 : 0;
  return n;
}

std::string Report::Text() const {
  std::string text;
  for (const ClauseResult& r : Results()) {
    char timing[48] = "";
    if (r.ms >= 0) std::snprintf(timing, sizeof(timing), " [%.1f ms]", r.ms);
    text += std::string(VerdictName(r.verdict)) + " " + r.group + "/" + r.id + ": " + r.observation + timing +
            " (" + SectionLink(r.section) + ")\n";
  }
  text += std::to_string(Count(Verdict::Pass)) + " passed, " + std::to_string(Count(Verdict::Fail)) + " failed";
  const int warned = Count(Verdict::Warn);
  if (warned != 0) text += ", " + std::to_string(warned) + (warned == 1 ? " warning" : " warnings");
  text += "\n";
  return text;
}

std::string Report::Json(const std::string& commandLine) const {
  nlohmann::json clauses = nlohmann::json::array();
  for (const ClauseResult& r : Results()) {
    nlohmann::json c = {{"group", r.group},
                        {"id", r.id},
                        {"result", VerdictName(r.verdict)},
                        {"observation", r.observation},
                        {"section", SectionLink(r.section)}};
    c["ms"] = r.ms >= 0 ? nlohmann::json(r.ms) : nlohmann::json(nullptr);
    clauses.push_back(c);
  }
  const nlohmann::json doc = {{"tool", "lumo-hostcheck"},
                              {"command_line", commandLine},
                              {"clauses", clauses},
                              {"passed", Count(Verdict::Pass)},
                              {"failed", Count(Verdict::Fail)},
                              {"warnings", Count(Verdict::Warn)}};
  // Replace: a launcher's command line need not be UTF-8 clean.
  return doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace hostcheck
