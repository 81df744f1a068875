// Command lines arrive as UTF-16; every two input bytes make one unit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "launch/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const wchar_t unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (unit != 0) text.push_back(unit);  // the system's command line holds no NUL
  }
  lumo::CCommandLine cmd;
  cmd.Parse(text);
  // Nothing is invented: every name and value is a piece of the input.
  for (const auto& option : cmd.options()) {
    FUZZ_CHECK(option.first.size() + option.second.size() <= text.size());
    FUZZ_CHECK(cmd.HasKey(option.first));
    FUZZ_CHECK(cmd.GetValue(option.first) == option.second);
  }
  FUZZ_CHECK(cmd.programPath().size() <= text.size());
  return 0;
}
