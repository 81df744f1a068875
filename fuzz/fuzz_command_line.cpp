// Command lines arrive as UTF-16; every two input bytes make one unit.
// Beside the parser: the UTF-8 fields the launch options fill, the library's
// own channel name and the host channel's name, as FillLaunchParams fills them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "diag/json_string.h"
#include "diag/utf8.h"
#include "fuzz_check.h"
#include "ipc/shm_layout.h"
#include "launch/channel_name.h"
#include "launch/command_line.h"
#include "launch/launch_summary.h"

namespace {

// The 256-byte fields of LaunchParams.
constexpr size_t kFieldSize = 256;

void CheckField(const std::string& full) {
  // Valid UTF-8 whatever the command line held (lone surrogates included):
  // the window-ready message can always carry the channel name.
  std::string escaped;
  FUZZ_CHECK(lumo::AppendJsonStringContent(escaped, full.data(), full.size()));

  char field[kFieldSize];
  std::memset(field, 0x7F, sizeof(field));
  lumo::CopyUtf8Truncated(field, sizeof(field), full);
  const size_t n = strnlen(field, sizeof(field));
  // Fits with its terminator, is a prefix of the input, ends on a character
  // boundary, and is cut only when the whole does not fit.
  FUZZ_CHECK(n < sizeof(field));
  FUZZ_CHECK(full.compare(0, n, field, n) == 0);
  FUZZ_CHECK(n == full.size() || (static_cast<unsigned char>(full[n]) & 0xC0) != 0x80);
  FUZZ_CHECK(n == full.size() || (full.size() >= sizeof(field) && n + 4 >= sizeof(field)));
  // A name too long for the event names is refused, never shortened into a
  // different name that a channel would accept.
  FUZZ_CHECK(lumo::IsUsableChannelName(field) == (!full.empty() && full.size() <= lumo::kShmMaxChannelName));
}

}  // namespace

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

  // The log's lines about the options stay one line each.
  for (bool isWindow : {false, true}) {
    const lumo::ParentVerdict verdict = lumo::JudgeParent(cmd, isWindow);
    for (const std::wstring& line : {lumo::DescribeLaunchOptions(cmd), lumo::DescribeParentProblem(cmd, verdict)}) {
      for (wchar_t unit : line) FUZZ_CHECK(unit >= 0x20 && unit != 0x7F);
    }
    FUZZ_CHECK(lumo::DescribeParentProblem(cmd, verdict).empty() ==
               (verdict == lumo::ParentVerdict::Absent || verdict == lumo::ParentVerdict::Window));
  }

  CheckField(lumo::MakeChannelName(cmd.GetValue(L"token")));
  CheckField(lumo::Utf16ToUtf8(cmd.GetValue(L"lumo-pipe")));
  return 0;
}
