// CCommandLine: splits a process command line into the program path and
// "--name=value" style options. Pure text processing with no platform calls,
// so it can be built natively for fuzzing. Lives for one reading; not shared
// between threads.
#pragma once

#include <map>
#include <string>

namespace lumo {

class CCommandLine {
 public:
  // Fills programPath and options from `text` (a working copy it cuts up).
  // Options accept the prefixes "--", "-" and "/" and the delimiters ":" and
  // "="; the first value given for a name wins; names are case-sensitive.
  void Parse(std::wstring text);

  bool HasKey(const std::wstring& name) const;
  // The stored value, or an empty string when the name is absent.
  std::wstring GetValue(const std::wstring& name) const;

  const std::wstring& programPath() const { return programPath_; }
  const std::map<std::wstring, std::wstring>& options() const { return options_; }

 private:
  void InterpretToken(const wchar_t* token, bool first);

  std::wstring programPath_;
  std::map<std::wstring, std::wstring> options_;
};

}  // namespace lumo
