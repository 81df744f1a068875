#include "launch/command_line.h"

#include <cwchar>
#include <vector>

namespace lumo {

namespace {

// Index of the first space or double quote at or after `from`, or npos.
size_t FindBreak(const std::wstring& s, size_t from) {
  return s.find_first_of(L" \"", from);
}

}  // namespace

void CCommandLine::Parse(std::wstring text) {
  std::wstring& s = text;
  const size_t n = s.size();

  // Token starts; each token ends at the NUL written after it (or at the
  // string's own terminator).
  std::vector<size_t> starts;
  starts.reserve(20);
  size_t pos = 0;
  while (pos < n) {
    starts.push_back(pos);
    size_t i = FindBreak(s, pos);
    if (i == std::wstring::npos) break;
    if (s[i] == L'"') {
      // A quote right after ':' or '=' opens a nested level; any other
      // quote closes one, so --opt="k="v" w" stays a single token.
      int depth = 1;
      bool unterminated = false;
      do {
        size_t j = s.find(L'"', i + 1);
        if (j == std::wstring::npos) {
          unterminated = true;
          break;
        }
        const wchar_t before = s[j - 1];
        depth += (before == L':' || before == L'=') ? 1 : -1;
        i = j;
      } while (depth != 0);
      if (unterminated) break;
      ++i;
    }
    if (i < n) s[i] = L'\0';
    pos = i + 1;
  }

  for (size_t k = 0; k < starts.size(); ++k) {
    InterpretToken(s.c_str() + starts[k], k == 0);
  }
}

void CCommandLine::InterpretToken(const wchar_t* token, bool first) {
  static const wchar_t* const kPrefixes[] = {L"--", L"-", L"/"};
  const wchar_t* rest = nullptr;
  for (const wchar_t* prefix : kPrefixes) {
    size_t len = std::wcslen(prefix);
    if (std::wcsncmp(token, prefix, len) == 0) {
      rest = token + len;
      break;
    }
  }

  if (rest == nullptr) {
    if (!first) return;
    std::wstring path(token);
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
      path = path.substr(1, path.size() - 2);
    }
    programPath_ = path;
    return;
  }

  const wchar_t* delimiter = std::wcspbrk(rest, L":=");
  std::wstring name;
  std::wstring value;
  if (delimiter != nullptr) {
    name.assign(rest, delimiter);
    value.assign(delimiter + 1);
    if (!value.empty() && value.front() == L'"') value.erase(0, 1);
    if (!value.empty() && value.back() == L'"') value.pop_back();
  } else {
    name.assign(rest);
  }
  options_.emplace(std::move(name), std::move(value));  // keeps the first value
}

bool CCommandLine::HasKey(const std::wstring& name) const {
  return options_.find(name) != options_.end();
}

std::wstring CCommandLine::GetValue(const std::wstring& name) const {
  auto it = options_.find(name);
  return it == options_.end() ? std::wstring() : it->second;
}

}  // namespace lumo
