#include "launch/launch_summary.h"

namespace lumo {

namespace {

constexpr size_t kShownUnits = 64;

// The value as the log shows it: at most kShownUnits units, each control
// character (a line break would split the line) shown as '?'.
std::wstring Shown(const std::wstring& value) {
  std::wstring shown = value.substr(0, kShownUnits);
  for (wchar_t& unit : shown) {
    if (unit < 0x20 || unit == 0x7F) unit = L'?';
  }
  if (value.size() > kShownUnits) shown += L"...";
  return shown;
}

void AppendOption(std::wstring& line, const CCommandLine& cmd, const wchar_t* name) {
  line += L" ";
  line += name;
  line += L"=";
  line += cmd.HasKey(name) ? Shown(cmd.GetValue(name)) : L"absent";
}

const wchar_t kOutside[] = L": the game window is not embedded and the game runs in a window of its own, outside the launcher";

}  // namespace

ParentVerdict JudgeParent(const CCommandLine& cmd, bool isWindow) {
  if (!cmd.HasKey(L"parent")) return ParentVerdict::Absent;
  const std::wstring value = cmd.GetValue(L"parent");
  if (value.empty()) return ParentVerdict::NotANumber;
  bool zero = true;
  for (wchar_t unit : value) {
    if (unit < L'0' || unit > L'9') return ParentVerdict::NotANumber;
    if (unit != L'0') zero = false;
  }
  if (zero) return ParentVerdict::Zero;
  return isWindow ? ParentVerdict::Window : ParentVerdict::NotAWindow;
}

std::wstring DescribeLaunchOptions(const CCommandLine& cmd) {
  std::wstring line = L"Launch options:";
  AppendOption(line, cmd, L"parent");
  AppendOption(line, cmd, L"gameid");
  AppendOption(line, cmd, L"lumo-pipe");
  line += L" token=";
  if (!cmd.HasKey(L"token")) {
    line += L"absent";
  } else {
    line += L"present (" + std::to_wstring(cmd.GetValue(L"token").size()) + L" characters)";
  }
  return line;
}

std::wstring DescribeParentProblem(const CCommandLine& cmd, ParentVerdict verdict) {
  const std::wstring value = Shown(cmd.GetValue(L"parent"));
  switch (verdict) {
    case ParentVerdict::NotAWindow:
      return L"--parent " + value +
             L" names no window (the launcher's window is gone, or the handle is not one of this session)" + kOutside;
    case ParentVerdict::Zero:
      return L"--parent " + value + L" names no window (0 is no handle)" + kOutside;
    case ParentVerdict::NotANumber:
      return L"--parent \"" + value + L"\" is not a window handle (a decimal number is expected)" + kOutside;
    case ParentVerdict::Absent:
    case ParentVerdict::Window:
      break;
  }
  return std::wstring();
}

}  // namespace lumo
