#include "hostcheck/dpi_trial_report.h"

#include <cstdlib>

namespace hostcheck {

namespace {

using Outcome = DpiTrialResult::Outcome;

const char kPrefix[] = "dpi-trial ";

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Kept:
      return "kept";
    case Outcome::Reset:
      return "reset";
    case Outcome::Refused:
      return "refused";
    case Outcome::NotMade:
      return "not-made";
    default:
      return nullptr;
  }
}

bool OutcomeFromName(const std::string& name, Outcome& out) {
  for (Outcome o : {Outcome::Kept, Outcome::Reset, Outcome::Refused, Outcome::NotMade}) {
    if (name == OutcomeName(o)) {
      out = o;
      return true;
    }
  }
  return false;
}

std::string ModeText(lumo::DpiAwareness mode) {
  const char* name = DpiTrialModeName(mode);
  return name != nullptr ? name : "unknown";
}

bool ModeFromText(const std::string& text, lumo::DpiAwareness& out) {
  out = DpiTrialModeFromName(text);
  return out != lumo::DpiAwareness::Unknown || text == "unknown";
}

// The value of " <key>=" up to the next space or the end of `line`.
bool Field(const std::string& line, const char* key, std::string& value) {
  const std::string needle = std::string(" ") + key + "=";
  const size_t at = line.find(needle);
  if (at == std::string::npos) return false;
  const size_t begin = at + needle.size();
  const size_t end = line.find(' ', begin);
  value = line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  return true;
}

}  // namespace

const char* DpiTrialModeName(lumo::DpiAwareness mode) {
  switch (mode) {
    case lumo::DpiAwareness::Unaware:
      return "unaware";
    case lumo::DpiAwareness::SystemAware:
      return "system";
    case lumo::DpiAwareness::PerMonitorAware:
      return "permonitor";
    case lumo::DpiAwareness::PerMonitorAwareV2:
      return "permonitor2";
    case lumo::DpiAwareness::Unknown:
    default:
      return nullptr;
  }
}

lumo::DpiAwareness DpiTrialModeFromName(const std::string& name) {
  for (lumo::DpiAwareness mode : {lumo::DpiAwareness::Unaware, lumo::DpiAwareness::SystemAware,
                                  lumo::DpiAwareness::PerMonitorAware, lumo::DpiAwareness::PerMonitorAwareV2}) {
    if (name == DpiTrialModeName(mode)) return mode;
  }
  return lumo::DpiAwareness::Unknown;
}

std::string FormatDpiTrialLine(const DpiTrialResult& result) {
  const char* outcome = OutcomeName(result.outcome);
  return std::string(kPrefix) + "outcome=" + (outcome != nullptr ? outcome : "none") +
         " made=" + ModeText(result.made) + " before=" + ModeText(result.before) +
         " after=" + ModeText(result.after) + " error=" + std::to_string(result.error);
}

bool ParseDpiTrialOutput(const std::string& output, DpiTrialResult& result) {
  size_t at = 0;
  while (at < output.size() && output.compare(at, sizeof(kPrefix) - 1, kPrefix) != 0) {
    const size_t next = output.find('\n', at);
    if (next == std::string::npos) return false;
    at = next + 1;
  }
  if (at >= output.size()) return false;
  const size_t end = output.find_first_of("\r\n", at);
  // A space before the first field, so each is found as " <key>=".
  const size_t fields = at + sizeof(kPrefix) - 1;
  const std::string line = " " + output.substr(fields, end == std::string::npos ? std::string::npos : end - fields);
  std::string outcome, made, before, after, error;
  DpiTrialResult parsed;
  if (!Field(line, "outcome", outcome) || !Field(line, "made", made) || !Field(line, "before", before) ||
      !Field(line, "after", after) || !Field(line, "error", error)) {
    return false;
  }
  if (!OutcomeFromName(outcome, parsed.outcome) || !ModeFromText(made, parsed.made) ||
      !ModeFromText(before, parsed.before) || !ModeFromText(after, parsed.after)) {
    return false;
  }
  if (error.empty() || error.size() > 10 || error.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long long value = std::strtoull(error.c_str(), nullptr, 10);
  if (value > 0xFFFFFFFFull) return false;
  parsed.error = static_cast<unsigned long>(value);
  result = parsed;
  return true;
}

}  // namespace hostcheck
