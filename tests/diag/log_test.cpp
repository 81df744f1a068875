#include "diag/log.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "diag/local_app_data.h"
#include "diag/log_cap.h"

#include "support/test_support.h"

using lumo_test::ChildProcess;
using lumo_test::TempDir;

namespace {

// A copy of log_probe.exe in a fresh folder, with the INI the case asks for.
class LogProbe {
 public:
  // ini: the file's contents, or nullptr for no INI file at all.
  explicit LogProbe(const char* ini, const std::wstring& dir = L"") {
    dir_ = dir.empty() ? temp_.path() : dir;
    exe_ = dir_ + L"\\log_probe.exe";
    CopyFileW(lumo_test::BinPath(L"log_probe.exe").c_str(), AnyLength(exe_).c_str(), FALSE);
    if (ini) lumo_test::WriteFileBytes(AnyLength(dir_ + L"\\LumoGameSDK.ini"), ini);
  }
  // `path` in the form the file calls take at any length.
  static std::wstring AnyLength(const std::wstring& path) {
    return path.size() < MAX_PATH ? path : L"\\\\?\\" + path;
  }
  // An executable whose path Wine cannot start from (MAX_PATH units or
  // more) is run from the test's own copy, the library told its path.
  DWORD Run(const std::wstring& args, std::string* output = nullptr) {
    if (exe_.size() < MAX_PATH) return lumo_test::RunProcess(lumo_test::Quote(exe_) + L" " + args, 60000, output);
    return lumo_test::RunProcess(lumo_test::Quote(lumo_test::BinPath(L"log_probe.exe")) + L" exepath " +
                                     lumo_test::Quote(exe_) + L" " + args,
                                 60000, output);
  }
  std::wstring LogPath() const { return exe_ + L".log"; }
  std::string Log() const { return lumo_test::ReadFileBytes(LogPath()); }
  const std::wstring& exe() const { return exe_; }

 private:
  TempDir temp_;
  std::wstring dir_;
  std::wstring exe_;
};

std::vector<std::string> SplitLines(const std::string& log) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(log.substr(start, end - start));
  }
  EXPECT_EQ(start, log.size()) << "text after the last CR LF";
  return lines;
}

// Runs `exeA` and `exeB` at once, writing `lines` lines each ("alpha <i>"
// and "beta <i>"), both held at a gate until both have started. True when
// both ended with 0.
bool WriteFromTwoProcesses(const std::wstring& exeA, const std::wstring& exeB, int lines) {
  const std::wstring gateName = L"lumo-log-gate-" + std::to_wstring(GetCurrentProcessId());
  HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, gateName.c_str());
  if (gate == nullptr) return false;
  ChildProcess a, b;
  const std::wstring args = L" lines " + std::to_wstring(lines);
  bool ok = a.Start(lumo_test::Quote(exeA) + args + L" alpha " + gateName) &&
            b.Start(lumo_test::Quote(exeB) + args + L" beta " + gateName);
  Sleep(300);  // both waiting at the gate: they write at the same time
  SetEvent(gate);
  DWORD codeA = 1, codeB = 1;
  ok = a.Wait(300000, &codeA) && b.Wait(300000, &codeB) && ok && codeA == 0 && codeB == 0;
  CloseHandle(gate);
  return ok;
}

// Every line of `log` is a whole stamped line of one of the two writers,
// each writer's in order (none lost, none twice), `lines` of each. Lines
// that hold `note` (when given) are skipped and counted into `notes`.
::testing::AssertionResult EveryLineOnceInOrder(const std::string& log, int lines, const std::string& note = "",
                                                int* notes = nullptr) {
  const std::regex line(R"(\[[^\]]+\]\[log_probe\.exe\]\[\d+/\d+\]\[LumoGameSDK\] (alpha|beta) (\d+))");
  int next[2] = {0, 0};
  for (const std::string& l : SplitLines(log)) {
    if (!note.empty() && l.find(note) != std::string::npos) {
      if (notes != nullptr) ++*notes;
      continue;
    }
    std::smatch m;
    if (!std::regex_match(l, m, line)) return ::testing::AssertionFailure() << "torn line: " << l;
    const int who = m[1] == "alpha" ? 0 : 1;
    const int at = std::stoi(m[2].str());
    if (at != next[who]) {
      return ::testing::AssertionFailure() << m[1] << " " << at << " where " << next[who] << " was due";
    }
    ++next[who];
  }
  if (next[0] != lines || next[1] != lines) {
    return ::testing::AssertionFailure() << next[0] << " alpha and " << next[1] << " beta lines of " << lines;
  }
  return ::testing::AssertionSuccess();
}

struct SwitchCase {
  const char* ini;  // nullptr: no INI file
  bool on;
};

class LogSwitch : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(LogSwitch, DecidesWhetherLinesAreWritten) {
  LogProbe probe(GetParam().ini);
  ASSERT_EQ(probe.Run(L"hello"), 0u);
  if (GetParam().on) {
    EXPECT_NE(probe.Log().find("[LumoGameSDK] hello\r\n"), std::string::npos);
  } else {
    EXPECT_FALSE(lumo_test::FileExists(probe.LogPath()));
  }
}

const SwitchCase kSwitchCases[] = {
    {"[main]\r\nlog=1\r\n", true},       {"[main]\r\nlog=TRUE\r\n", true},
    {"[main]\r\nlog=yes\r\n", true},     {"[main]\nlog=On\n", true},
    {"[main]\r\nlog=2\r\n", false},      {"[main]\r\nlog=off\r\n", false},
    {"[main]\r\nlog=enabled\r\n", false}, {"[main]\r\nlog=\r\n", false},
    {"[main]\r\nother=1\r\n", false},    {"[other]\r\nlog=1\r\n", false},
    {nullptr, false},
};

INSTANTIATE_TEST_SUITE_P(Table, LogSwitch, ::testing::ValuesIn(kSwitchCases));

// The named mutex serialises writers of the log file: a process that does
// not log holds none.
TEST(Log, MutexIsMadeByTheFirstLineWrittenOnly) {
  {
    LogProbe probe("[main]\r\nlog=0\r\n");
    std::string out;
    ASSERT_EQ(probe.Run(L"mutex", &out), 0u);
    EXPECT_EQ(out.substr(0, out.find_first_of("\r\n")), "mutex-before=0 mutex-after=0");
    EXPECT_FALSE(lumo_test::FileExists(probe.LogPath()));
  }
  LogProbe probe("[main]\r\nlog=1\r\n");
  std::string out;
  ASSERT_EQ(probe.Run(L"mutex", &out), 0u);
  EXPECT_EQ(out.substr(0, out.find_first_of("\r\n")), "mutex-before=0 mutex-after=1");
  EXPECT_TRUE(lumo_test::FileExists(probe.LogPath()));
}

TEST(Log, MutexNameIsLowerCaseWithSlashes) {
  wchar_t name[MAX_PATH];
  lumo::MakeLogMutexName(L"C:\\Games\\Foo\\Foo.exe", name);
  EXPECT_STREQ(name, L"c:/games/foo/foo.exe.log.mutex");
  ASSERT_TRUE(lumo::MakeLogFilePath(L"C:\\Games\\Foo\\Foo.exe", name));
  EXPECT_STREQ(name, L"C:\\Games\\Foo\\Foo.exe.log");
}

// A lock name never fails: the path where it fits (beside the executable),
// else a hash of fixed length, the same for the same file whatever its
// case, another for another file.
TEST(Log, LockNamesFitWhateverThePath) {
  wchar_t name[MAX_PATH];
  const std::wstring fits = L"C:\\" + std::wstring(250, L'a');  // + ".mutex" = 259 units
  lumo::MakeLogLockName(fits.c_str(), name);
  EXPECT_EQ(std::wstring(name), L"c:/" + std::wstring(250, L'a') + L".mutex");

  const std::wregex hashed(LR"(lumogamesdk\.log\.[0-9a-f]{32}\.mutex)");
  std::map<std::wstring, std::wstring> names;
  for (const std::wstring& path : {L"C:\\" + std::wstring(251, L'a'), L"c:\\" + std::wstring(251, L'A'),
                                   L"C:\\" + std::wstring(251, L'b'), L"C:\\" + std::wstring(20000, L'a')}) {
    lumo::MakeLogLockName(path.c_str(), name);
    EXPECT_TRUE(std::regex_match(std::wstring(name), hashed)) << lumo_test::Narrow(name);
    names[path] = name;
  }
  EXPECT_EQ(names[L"C:\\" + std::wstring(251, L'a')], names[L"c:\\" + std::wstring(251, L'A')]);
  EXPECT_NE(names[L"C:\\" + std::wstring(251, L'a')], names[L"C:\\" + std::wstring(251, L'b')]);
  EXPECT_NE(names[L"C:\\" + std::wstring(251, L'a')], names[L"C:\\" + std::wstring(20000, L'a')]);
  // The moved log's lock: hashed whatever the length, as the long path's is.
  lumo::MakeHashedLogLockName((L"C:\\" + std::wstring(251, L'A')).c_str(), name);
  EXPECT_EQ(std::wstring(name), names[L"C:\\" + std::wstring(251, L'a')]);
  lumo::MakeHashedLogLockName(L"C:\\Users\\p\\AppData\\Local\\LumoGameSDK\\Foo.exe.log", name);
  EXPECT_TRUE(std::regex_match(std::wstring(name), hashed)) << lumo_test::Narrow(name);
}

TEST(Log, LineLayout) {
  LogProbe probe("[main]\r\nlog=1\r\n");
  ChildProcess child;
  ASSERT_TRUE(child.Start(lumo_test::Quote(probe.exe()) + L" hello"));
  DWORD code = 1;
  ASSERT_TRUE(child.Wait(60000, &code));
  ASSERT_EQ(code, 0u);
  const std::vector<std::string> lines = SplitLines(probe.Log());
  ASSERT_EQ(lines.size(), 1u);
  std::smatch m;
  const std::regex layout(
      R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\]\[log_probe\.exe\]\[(\d{5,})/(\d{5,})\]\[LumoGameSDK\] hello)");
  ASSERT_TRUE(std::regex_match(lines[0], m, layout)) << lines[0];
  EXPECT_EQ(std::stoul(m[1].str()), child.pid());
}

TEST(Log, LongMessageIsCutTo1899Units) {
  LogProbe probe("[main]\r\nlog=1\r\n");
  ASSERT_EQ(probe.Run(L"units 3000"), 0u);
  const std::string log = probe.Log();
  const std::string tail = "[LumoGameSDK] " + std::string(1899, 'x') + "\r\n";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
  EXPECT_EQ(log.find("xx\r\n"), log.size() - 4);  // exactly one line
}

TEST(Log, LongLineIsCutTo2047UnitsAndLosesItsLineEnd) {
  LogProbe probe("[main]\r\nlog=1\r\n");
  ASSERT_EQ(probe.Run(L"rawline 3000"), 0u);
  const std::string log = probe.Log();
  EXPECT_EQ(log.size(), 2047u);
  EXPECT_EQ(log.back(), 'y');
  EXPECT_EQ(log.find('\r'), std::string::npos);
}

TEST(Log, FileIsInTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "expects the Western code page, have " << GetACP();
  LogProbe probe("[main]\r\nlog=1\r\n");
  ASSERT_EQ(probe.Run(L"unicode"), 0u);
  const std::string log = probe.Log();
  EXPECT_NE(log.find("[LumoGameSDK] caf\xE9 ? code=-5\r\n"), std::string::npos) << log;
  EXPECT_NE(log.substr(0, 3), "\xEF\xBB\xBF");  // no byte-order mark
}

TEST(Log, TwoProcessesAppendWholeLines) {
  LogProbe probe("[main]\r\nlog=1\r\n");
  ASSERT_TRUE(WriteFromTwoProcesses(probe.exe(), probe.exe(), 300));
  EXPECT_TRUE(EveryLineOnceInOrder(probe.Log(), 300));
}

// Where the lock cannot be had at all (another program made an object of
// another kind under its name), lines are written without it: each append
// still lands whole at the end, none over another, as Windows appends
// through a handle opened for appending only. Wine appends by looking up
// the file's size and writing there, which two processes race: the test
// runs on Windows only.
TEST(Log, WithoutTheLockAppendsOverwriteNothing) {
  if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr) {
    GTEST_SKIP() << "Wine's append-only writes are not atomic between processes; run on Windows";
  }
  LogProbe probe("[main]\r\nlog=1\r\n");
  wchar_t lockName[MAX_PATH];
  lumo::MakeLogMutexName(probe.exe().c_str(), lockName);
  HANDLE squatter = CreateEventW(nullptr, TRUE, FALSE, lockName);
  ASSERT_NE(squatter, nullptr);
  const bool wrote = WriteFromTwoProcesses(probe.exe(), probe.exe(), 2000);
  CloseHandle(squatter);
  ASSERT_TRUE(wrote);
  EXPECT_TRUE(EveryLineOnceInOrder(probe.Log(), 2000));
}

struct CapCase {
  const wchar_t* value;  // [main] log_max_kb as the INI reader hands it over
  uint32_t kb;
};

class LogCapValue : public ::testing::TestWithParam<CapCase> {};

TEST_P(LogCapValue, IsReadAsKilobytesOrFallsBackToTheDefault) {
  EXPECT_EQ(lumo::ParseLogMaxKb(GetParam().value), GetParam().kb);
}

const CapCase kCapCases[] = {
    {L"1", 1},
    {L"64", 64},
    {L"0064", 64},
    {L"4194304", 4194304},        // 4 GB, the largest
    {L"4194305", 10240},          // larger: the default
    {L"99999999999999999999", 10240},
    {L"0", 10240},                // no cap at all is not offered
    {L"", 10240},                 // key missing
    {nullptr, 10240},
    {L"-5", 10240},
    {L"+5", 10240},
    {L"10MB", 10240},
    {L"1 0", 10240},
    {L"abc", 10240},
    {L"\x0661", 10240},          // a digit of another script
};

INSTANTIATE_TEST_SUITE_P(Table, LogCapValue, ::testing::ValuesIn(kCapCases));

// Two processes of one executable write across the cap at the same time:
// the file is set aside once as "<exe>.log.1" and a new one begun, and every
// line of both is in one of the two files exactly once, whole, each
// writer's in order. The writers hold the file open while the other renames
// it.
TEST(Log, TwoProcessesWritingAcrossTheCapLoseAndSplitNoLine) {
  // About 80 bytes a line: 2 x 300 lines pass the 32 KB cap once, not twice.
  LogProbe probe("[main]\r\nlog=1\r\nlog_max_kb=32\r\n");
  constexpr int kLines = 300;
  ASSERT_TRUE(WriteFromTwoProcesses(probe.exe(), probe.exe(), kLines));

  const std::string older = lumo_test::ReadFileBytes(probe.LogPath() + L".1");
  const std::string newer = probe.Log();
  ASSERT_FALSE(older.empty()) << "no rollover happened";
  ASSERT_FALSE(newer.empty());
  EXPECT_GE(older.size(), 32u * 1024);
  EXPECT_LT(newer.size(), 32u * 1024);
  // Nothing else was left beside the two files.
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((probe.exe() + L".log*").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  std::vector<std::wstring> names;
  do {
    names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  EXPECT_EQ(names.size(), 2u);

  // In order across the switch: none lost, none twice.
  EXPECT_TRUE(EveryLineOnceInOrder(older + newer, kLines));
}

// Another program (a viewer) holds the full file open without letting it be
// renamed: no line is lost, the file grows on past the cap, and the log says
// so once.
TEST(Log, FullFileHeldWithoutDeleteSharingGrowsOnWithOneNote) {
  LogProbe probe("[main]\r\nlog=1\r\nlog_max_kb=1\r\n");
  const std::string earlier = std::string(2000, 'e') + "\r\n";
  ASSERT_TRUE(lumo_test::WriteFileBytes(probe.LogPath(), earlier));
  HANDLE viewer = CreateFileW(probe.LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
  const DWORD code = probe.Run(L"lines 20 gamma");
  CloseHandle(viewer);
  ASSERT_EQ(code, 0u);
  EXPECT_FALSE(lumo_test::FileExists(probe.LogPath() + L".1"));
  const std::string log = probe.Log();
  ASSERT_EQ(log.substr(0, earlier.size()), earlier);
  const std::vector<std::string> lines = SplitLines(log.substr(earlier.size()));
  ASSERT_EQ(lines.size(), 21u) << log;
  EXPECT_TRUE(std::regex_search(
      lines[0], std::regex(R"(\[LumoGameSDK\] log: could not set the full log file aside as log_probe\.exe\.log\.1 )"
                           R"(\(error \d+\); it grows on$)")))
      << lines[0];
  for (int i = 0; i < 20; ++i) {
    EXPECT_NE(lines[i + 1].find("[LumoGameSDK] gamma " + std::to_string(i)), std::string::npos) << lines[i + 1];
  }
}

// Sets an environment variable of this process, which the probes started
// meanwhile inherit, and restores it afterwards.
class ScopedEnv {
 public:
  // A null `value` removes the variable.
  ScopedEnv(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t old[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(name, old, MAX_PATH);
    had_ = n > 0 && n < MAX_PATH;
    if (had_) old_ = old;
    SetEnvironmentVariableW(name, value);
  }
  ScopedEnv(const wchar_t* name, const std::wstring& value) : ScopedEnv(name, value.c_str()) {}
  ~ScopedEnv() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const wchar_t* name_;
  bool had_ = false;
  std::wstring old_;
};

std::vector<std::string> DebugLines(const std::string& output) {
  std::vector<std::string> lines;
  const std::string mark = "debug: ";
  for (size_t at = output.find(mark); at != std::string::npos; at = output.find(mark, at + 1)) {
    const size_t end = output.find('\n', at);
    std::string line = output.substr(at + mark.size(), end - at - mark.size());
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// A folder under Program Files run by a standard user refuses the file
// (access denied); Wine's is writable, so a folder of the log's own name
// stands in: creating a file over it is refused with the same error, on
// Windows and Wine alike. The log moves to the local application data
// folder, which is made when missing, and says where and why there and on
// the debugger output, once.
TEST(Log, AFolderThatRefusesTheLogSendsItToLocalAppData) {
  LogProbe probe("[main]\r\nlog=1\r\nlog_max_kb=2\r\n");
  ASSERT_TRUE(CreateDirectoryW(probe.LogPath().c_str(), nullptr));
  TempDir appData;
  const ScopedEnv localAppData(L"LOCALAPPDATA", appData.path());
  std::string output;
  // About 85 bytes a line: 30 lines pass the 2 KB cap once, which holds there too.
  ASSERT_EQ(probe.Run(L"debugout lines 30 moved", &output), 0u) << output;

  const std::wstring moved = appData.path() + L"\\LumoGameSDK\\log_probe.exe.log";
  const std::string why = "[LumoGameSDK] log: " + lumo_test::Narrow(probe.LogPath()) +
                          " cannot be written (error 5, access denied); the log is written to " +
                          lumo_test::Narrow(moved);
  const std::vector<std::string> debug = DebugLines(output);
  ASSERT_EQ(debug.size(), 1u) << output;
  EXPECT_EQ(debug[0], why);

  const std::string older = lumo_test::ReadFileBytes(moved + L".1");
  const std::vector<std::string> lines = SplitLines(older + lumo_test::ReadFileBytes(moved));
  ASSERT_EQ(lines.size(), 31u) << older;
  EXPECT_FALSE(older.empty()) << "the cap does not hold in the moved log";
  // The first line there, stamped as every line is.
  EXPECT_TRUE(std::regex_search(lines[0], std::regex(R"(^\[[^\]]+\]\[log_probe\.exe\]\[\d+/\d+\]\[LumoGameSDK\] log: )")))
      << lines[0];
  ASSERT_GE(lines[0].size(), why.size());
  EXPECT_EQ(lines[0].substr(lines[0].size() - why.size()), why);
  for (int i = 0; i < 30; ++i) {
    EXPECT_NE(lines[i + 1].find("[LumoGameSDK] moved " + std::to_string(i)), std::string::npos) << lines[i + 1];
  }
}

// Where neither place can be written, one debugger-output line says so and
// nothing is tried again.
TEST(Log, WhereNeitherPlaceCanBeWrittenOneDebuggerLineSaysSo) {
  LogProbe probe("[main]\r\nlog=1\r\n");
  ASSERT_TRUE(CreateDirectoryW(probe.LogPath().c_str(), nullptr));
  TempDir appData;
  // A file where the folder would be: it cannot be made.
  ASSERT_TRUE(lumo_test::WriteFileBytes(appData.path() + L"\\LumoGameSDK", "not a folder"));
  const ScopedEnv localAppData(L"LOCALAPPDATA", appData.path());
  std::string output;
  ASSERT_EQ(probe.Run(L"debugout lines 5 lost", &output), 0u) << output;
  const std::vector<std::string> debug = DebugLines(output);
  ASSERT_EQ(debug.size(), 1u) << output;
  const std::string start = "[LumoGameSDK] log: neither " + lumo_test::Narrow(probe.LogPath()) + " (error 5) nor " +
                            lumo_test::Narrow(appData.path()) + "\\LumoGameSDK\\log_probe.exe.log (error ";
  EXPECT_EQ(debug[0].substr(0, start.size()), start) << debug[0];
  const std::string end = ") can be written; nothing is logged";
  ASSERT_GE(debug[0].size(), end.size());
  EXPECT_EQ(debug[0].substr(debug[0].size() - end.size()), end) << debug[0];
}

// Notepad and PowerShell 5 save "UTF-8" with a byte-order mark, which
// Windows' INI reader takes for part of the first line ("[main]" is then not
// found); Wine's reader knows the mark. The file is read without it, and the
// debugger output says once how to save it; the copy read is deleted.
TEST(Log, AnIniWithAUtf8ByteOrderMarkStillTurnsTheLogOn) {
  LogProbe probe("\xEF\xBB\xBF[main]\r\nlog=1\r\n");
  TempDir temp;
  const ScopedEnv tmp(L"TMP", temp.path());
  const ScopedEnv tempVar(L"TEMP", temp.path());
  std::string output;
  ASSERT_EQ(probe.Run(L"debugout lines 2 bom", &output), 0u) << output;
  EXPECT_NE(probe.Log().find("[LumoGameSDK] bom 1\r\n"), std::string::npos) << probe.Log();
  const std::vector<std::string> debug = DebugLines(output);
  ASSERT_EQ(debug.size(), 1u) << output;
  EXPECT_NE(debug[0].find("LumoGameSDK.ini starts with a UTF-8 byte-order mark"), std::string::npos) << debug[0];
  EXPECT_NE(debug[0].find("Save it as UTF-8 without BOM, ANSI or UTF-16."), std::string::npos) << debug[0];
  WIN32_FIND_DATAW found;
  HANDLE left = FindFirstFileW((temp.path() + L"\\*.tmp").c_str(), &found);
  EXPECT_EQ(left, INVALID_HANDLE_VALUE) << "a copy was left: " << lumo_test::Narrow(found.cFileName);
  if (left != INVALID_HANDLE_VALUE) FindClose(left);

  // Without the mark nothing is said.
  LogProbe plain("[main]\r\nlog=1\r\n");
  ASSERT_EQ(plain.Run(L"debugout hello", &output), 0u) << output;
  EXPECT_TRUE(DebugLines(output).empty()) << output;
}

// A folder whose path makes the copied executable's path `units` long.
std::wstring FolderForExecutableOf(const TempDir& temp, size_t units) {
  std::wstring dir = temp.path();
  const size_t target = units - std::wstring(L"\\log_probe.exe").size();
  while (dir.size() < target) {
    const size_t room = target - dir.size() - 1;
    dir += L"\\" + std::wstring(room > 60 ? 60 : room, L'd');
    EXPECT_TRUE(CreateDirectoryW(LogProbe::AnyLength(dir).c_str(), nullptr)) << lumo_test::Narrow(dir);
  }
  return dir;
}

// Two games with the same executable name in two folders, whose logs both
// moved (their folders refuse them): one file, one lock. Each writes
// thousands of lines at once across one switch to a new file: every line of
// both is there once, whole, each writer's in order, and the switch made by
// one kept the other's lines.
TEST(Log, TwoGamesOfOneNameShareTheirMovedLogWithoutLosingALine) {
  // About 75 bytes a line: 2 x 3000 lines pass the 300 KB cap once.
  const char* ini = "[main]\r\nlog=1\r\nlog_max_kb=300\r\n";
  LogProbe first(ini);
  LogProbe second(ini);
  ASSERT_TRUE(CreateDirectoryW(first.LogPath().c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(second.LogPath().c_str(), nullptr));
  TempDir appData;
  const ScopedEnv localAppData(L"LOCALAPPDATA", appData.path());
  ASSERT_TRUE(WriteFromTwoProcesses(first.exe(), second.exe(), 3000));

  const std::wstring moved = appData.path() + L"\\LumoGameSDK\\log_probe.exe.log";
  const std::string older = lumo_test::ReadFileBytes(moved + L".1");
  ASSERT_FALSE(older.empty()) << "no switch to a new file happened";
  // Each game says once why its log moved.
  int notes = 0;
  EXPECT_TRUE(EveryLineOnceInOrder(older + lumo_test::ReadFileBytes(moved), 3000,
                                   " cannot be written (error 5, access denied); the log is written to ", &notes));
  EXPECT_EQ(notes, 2);
}

struct LongPathCase {
  size_t exeUnits;      // the executable's path
  bool beside;          // the log is written beside it; else it moved
};

class LogLongPath : public ::testing::TestWithParam<LongPathCase> {};

// An executable path with no room for the old lock name (255 units) or for
// the log file's name beside it (265): the log is written all the same,
// beside the executable under a lock of fixed length, or moved to the local
// application data folder with the line that says why. The INI file, whose
// path is too long for Windows' reader at 265, is read through a copy.
TEST_P(LogLongPath, TheLogIsWrittenAndSaysWhere) {
  TempDir temp;
  LogProbe probe("[main]\r\nlog=1\r\n", FolderForExecutableOf(temp, GetParam().exeUnits));
  ASSERT_EQ(probe.exe().size(), GetParam().exeUnits);
  TempDir appData;
  const ScopedEnv localAppData(L"LOCALAPPDATA", appData.path());
  std::string output;
  ASSERT_EQ(probe.Run(L"debugout lines 3 long", &output), 0u) << output;

  const std::wstring moved = appData.path() + L"\\LumoGameSDK\\log_probe.exe.log";
  const std::string log = lumo_test::ReadFileBytes(GetParam().beside ? probe.LogPath() : moved);
  const std::vector<std::string> lines = SplitLines(log);
  ASSERT_EQ(lines.size(), GetParam().beside ? 3u : 4u) << log << output;
  if (!GetParam().beside) {
    const std::string why = "[LumoGameSDK] log: " + lumo_test::Narrow(probe.LogPath()) +
                            " cannot be named (its path is " + std::to_string(GetParam().exeUnits + 4) +
                            " characters long, more than 259); the log is written to " + lumo_test::Narrow(moved);
    ASSERT_GE(lines[0].size(), why.size());
    EXPECT_EQ(lines[0].substr(lines[0].size() - why.size()), why);
    EXPECT_EQ(DebugLines(output), std::vector<std::string>{why}) << output;
  } else {
    EXPECT_TRUE(DebugLines(output).empty()) << output;
  }
  EXPECT_NE(lines.back().find("[LumoGameSDK] long 2"), std::string::npos) << lines.back();
}

INSTANTIATE_TEST_SUITE_P(Table, LogLongPath, ::testing::Values(LongPathCase{255, true}, LongPathCase{265, false}));

// Where no copy of an INI file too long for Windows' reader can be made
// (the temporary folder is missing), one debugger-output line says it was
// not read, and the log stays off.
TEST(Log, AnIniTooLongToBeReadSaysSoOnce) {
  TempDir temp;
  LogProbe probe("[main]\r\nlog=1\r\n", FolderForExecutableOf(temp, 265));
  const std::wstring missing = temp.path() + L"\\no-such-folder";
  const ScopedEnv tmp(L"TMP", missing);
  const ScopedEnv tempVar(L"TEMP", missing);
  std::string output;
  ASSERT_EQ(probe.Run(L"debugout lines 3 unread", &output), 0u) << output;
  const std::vector<std::string> debug = DebugLines(output);
  ASSERT_EQ(debug.size(), 1u) << output;
  const std::string ini = lumo_test::Narrow(probe.exe().substr(0, probe.exe().rfind(L'\\'))) + "\\LumoGameSDK.ini";
  EXPECT_EQ(debug[0].rfind("[LumoGameSDK] " + ini + " cannot be read: its path is 267 characters long, more than "
                           "Windows' INI reader takes (259)", 0), 0u) << debug[0];
}

// A junction in place of the moved log's folder (a normal program of the
// same user can make one, and a game run as administrator would write
// wherever it points): refused, one debugger-output line, nothing written.
// Wine cannot make a junction; the probe's seam reports the folder as one.
TEST(Log, AJunctionInPlaceOfTheMovedLogsFolderIsRefused) {
  LogProbe probe("[main]\r\nlog=1\r\n");
  ASSERT_TRUE(CreateDirectoryW(probe.LogPath().c_str(), nullptr));
  TempDir appData;
  const ScopedEnv localAppData(L"LOCALAPPDATA", appData.path());
  std::string output;
  ASSERT_EQ(probe.Run(L"debugout linkseam lines 3 linked", &output), 0u) << output;
  const std::string folder = lumo_test::Narrow(appData.path()) + "\\LumoGameSDK";
  EXPECT_EQ(DebugLines(output),
            std::vector<std::string>{"[LumoGameSDK] log: " + folder +
                                     " is a junction, symbolic link or other reparse point; the log is not written "
                                     "through it, nothing is logged"})
      << output;
  EXPECT_FALSE(lumo_test::FileExists(appData.path() + L"\\LumoGameSDK\\log_probe.exe.log"));
}

// A launcher that passes an environment block of its own may leave out
// LOCALAPPDATA: the moved log goes to the folder the shell knows by that
// name all the same.
TEST(Log, WithoutLocalAppDataTheKnownFolderTakesTheMovedLog) {
  wchar_t* known = nullptr;
  ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known)));
  const std::wstring folder = std::wstring(known) + L"\\LumoGameSDK";
  CoTaskMemFree(known);
  LogProbe probe("[main]\r\nlog=1\r\n");
  // A name of this run's own, so that nothing else's log is touched.
  const std::wstring renamed = probe.exe().substr(0, probe.exe().size() - 4) + L"-" +
                               std::to_wstring(GetCurrentProcessId()) + L".exe";
  ASSERT_TRUE(MoveFileW(probe.exe().c_str(), renamed.c_str()));
  ASSERT_TRUE(CreateDirectoryW((renamed + L".log").c_str(), nullptr));
  const std::wstring moved = folder + renamed.substr(renamed.rfind(L'\\')) + L".log";
  DeleteFileW(moved.c_str());
  const ScopedEnv localAppData(L"LOCALAPPDATA", nullptr);
  std::string output;
  const DWORD code = lumo_test::RunProcess(lumo_test::Quote(renamed) + L" lines 2 known", 60000, &output);
  const std::string log = lumo_test::ReadFileBytes(moved);
  DeleteFileW(moved.c_str());
  ASSERT_EQ(code, 0u) << output;
  EXPECT_NE(log.find("[LumoGameSDK] known 1\r\n"), std::string::npos) << lumo_test::Narrow(moved) << "\n" << log;
}

// The known folder is never asked for while the loader lock is held: the
// check reads the lock's owner, here taken as the loader takes it.
TEST(Log, TheLoaderLockIsSeenOnlyByItsOwner) {
  using LockLoaderLock = LONG(NTAPI*)(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
  using UnlockLoaderLock = LONG(NTAPI*)(ULONG flags, ULONG_PTR cookie);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto lock = reinterpret_cast<LockLoaderLock>(
      reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "LdrLockLoaderLock")));
  const auto unlock = reinterpret_cast<UnlockLoaderLock>(
      reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
  ASSERT_TRUE(lock != nullptr && unlock != nullptr);
  EXPECT_FALSE(lumo::HoldsLoaderLock());
  // Started before the lock is taken: a thread cannot begin (or end) while
  // another holds it.
  HANDLE running = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE ask = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE answered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  bool elsewhere = true;
  std::thread other([&] {
    SetEvent(running);
    WaitForSingleObject(ask, 30000);
    elsewhere = lumo::HoldsLoaderLock();
    SetEvent(answered);
  });
  ASSERT_EQ(WaitForSingleObject(running, 30000), WAIT_OBJECT_0);
  ULONG disposition = 0;
  ULONG_PTR cookie = 0;
  const bool locked = lock(0, &disposition, &cookie) == 0;
  const bool held = lumo::HoldsLoaderLock();
  SetEvent(ask);
  const DWORD waited = WaitForSingleObject(answered, 30000);
  if (locked) unlock(0, cookie);
  other.join();
  CloseHandle(running);
  CloseHandle(ask);
  CloseHandle(answered);
  ASSERT_TRUE(locked);
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the other thread did not answer while the lock was held";
  EXPECT_TRUE(held);
  EXPECT_FALSE(elsewhere);
  EXPECT_FALSE(lumo::HoldsLoaderLock());
}

}  // namespace
