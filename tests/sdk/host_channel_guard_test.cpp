// A host channel made by someone other than a careful launcher, through the
// real path (the exports, the link, the sender thread) with test_game.exe as
// the game and this test as the launcher: a region whose pages are only
// reserved, or that a file backs, is refused before anything is written
// (the game goes on; its log names why), and a launcher whose objects grant
// only the rights the library uses is served.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ipc/shm_layout.h"
#include "login/verify_control.h"
#include "support/session.h"
#include "support/test_host.h"

using lumo_test::Session;

namespace {

const char kVerifyOk[] =
    "{\"code\":0,\"data\":{\"uid\":1,\"appid\":\"a\",\"sid\":\"s\",\"time\":1,\"utype\":1}}";

// The host side of a channel this test makes: both events and the region as
// `makeRegion` makes it, optionally under a DACL. Collects what the game
// announces on the server event, reading through its own view.
class MadeHostChannel {
 public:
  using MakeRegion = std::function<HANDLE(const std::string&, SECURITY_ATTRIBUTES*)>;
  MadeHostChannel(const std::string& name, const MakeRegion& makeRegion, const char* eventSddl,
                  const char* regionSddl)
      : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    SECURITY_ATTRIBUTES eventSa{}, regionSa{};
    server_ = CreateEventA(Attributes(eventSddl, &eventSa), FALSE, FALSE, (name + "_server_njipc").c_str());
    client_ = CreateEventA(Attributes(eventSddl, &eventSa), FALSE, FALSE, (name + "_client_njipc").c_str());
    mapping_ = makeRegion(name, Attributes(regionSddl, &regionSa));
    if (mapping_ != nullptr) view_ = static_cast<unsigned char*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, 2048));
    for (PSECURITY_DESCRIPTOR sd : descriptors_) LocalFree(sd);
    if (ok()) reader_ = std::thread([this] { Read(); });
  }
  ~MadeHostChannel() {
    SetEvent(stop_);
    if (reader_.joinable()) reader_.join();
    if (view_ != nullptr) UnmapViewOfFile(view_);
    for (HANDLE h : {server_, client_, mapping_, stop_}) {
      if (h != nullptr) CloseHandle(h);
    }
  }
  bool ok() const { return server_ && client_ && mapping_; }
  HANDLE mapping() const { return mapping_; }
  // How often the game signalled the server event.
  int Signals() const { return signals_.load(); }
  std::vector<std::string> Messages() {
    std::lock_guard<std::mutex> guard(lock_);
    return messages_;
  }

 private:
  SECURITY_ATTRIBUTES* Attributes(const char* sddl, SECURITY_ATTRIBUTES* sa) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (sddl == nullptr || !ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) {
      return nullptr;
    }
    descriptors_.push_back(sd);
    *sa = SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), sd, FALSE};
    return sa;
  }
  void Read() {
    HANDLE waits[2] = {stop_, server_};
    // Unbounded: the destructor sets stop_ before it joins.
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
      ++signals_;
      std::string message;
      // Read only once announced: the game writes before it signals.
      if (view_ == nullptr || !lumo::LoadRegionMessage(view_, 2048, message)) continue;
      std::lock_guard<std::mutex> guard(lock_);
      messages_.push_back(message);
    }
  }

  HANDLE stop_;
  HANDLE server_ = nullptr, client_ = nullptr, mapping_ = nullptr;
  unsigned char* view_ = nullptr;
  std::vector<PSECURITY_DESCRIPTOR> descriptors_;
  std::atomic<int> signals_{0};
  std::mutex lock_;
  std::vector<std::string> messages_;
  std::thread reader_;
};

HANDLE PageFileRegion(const std::string& name, SECURITY_ATTRIBUTES* sa, DWORD extra, DWORD size) {
  return CreateFileMappingA(INVALID_HANDLE_VALUE, sa, PAGE_READWRITE | extra, 0, size, name.c_str());
}

// A temporary file of this test, removed on destruction.
struct BackingFile {
  BackingFile() {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"lhc", 0, path);
    handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  }
  ~BackingFile() {
    CloseHandle(handle);
    DeleteFileW(path);
  }
  std::string Contents() const {
    char bytes[4096];
    DWORD read = 0;
    SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
    ReadFile(handle, bytes, sizeof(bytes), &read, nullptr);
    return std::string(bytes, read);
  }
  wchar_t path[MAX_PATH] = {};
  HANDLE handle;
};

using lumo_test::FailureLines;

enum class Outcome { Served, Refused, AsTheSystemMaps };

struct GuardCase {
  const char* name;
  std::function<HANDLE(const std::string&, SECURITY_ATTRIBUTES*, BackingFile&)> makeRegion;
  const char* eventSddl;   // null: the default security
  const char* regionSddl;
  Outcome outcome;
  const char* cause;       // what every failure line holds (with the region's name)
};

class HostChannelGuard : public ::testing::TestWithParam<GuardCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lumo_test::SetVerifyAnswer(200, kVerifyOk)) << "run the tests through scripts/test.sh";
  }
};

TEST_P(HostChannelGuard, RegionAndRights) {
  const GuardCase& c = GetParam();
  const std::string name = "ipc_channel_player_guard_" + std::string(c.name) + std::to_string(GetCurrentProcessId());
  BackingFile file;
  MadeHostChannel channel(
      name, [&](const std::string& n, SECURITY_ATTRIBUTES* sa) { return c.makeRegion(n, sa, file); }, c.eventSddl,
      c.regionSddl);
  ASSERT_TRUE(channel.ok());
  Outcome outcome = c.outcome;
  if (outcome == Outcome::AsTheSystemMaps) {
    // Windows refuses a 2048-byte view of a smaller section; Wine maps it
    // (its pages are whole committed page-file pages, a write cannot fault).
    void* view = MapViewOfFile(channel.mapping(), FILE_MAP_ALL_ACCESS, 0, 0, 2048);
    outcome = view == nullptr ? Outcome::Refused : Outcome::Served;
    if (view != nullptr) UnmapViewOfFile(view);
  }

  lumo_test::HostWindowThread host;
  const lumo_test::ProbeFolder game({L"test_game.exe", L"LumoGameSDK.dll"});
  // Past the 5 s a restarting host is granted, so that the sender gives up.
  const wchar_t* steps = outcome == Outcome::Served ? L"init,login,pay:7b7d,sleep:500,uninit"
                                                    : L"init,login,pay:7b7d,sleep:6500,uninit";
  Session s(lumo_test::Quote(game.Path(L"test_game.exe")) + L" --parent=" +
            std::to_wstring(reinterpret_cast<uintptr_t>(host.hwnd())) + L" --lumo-pipe=" + lumo_test::Widen(name) +
            L" --gameid=3 --token=guard" + std::to_wstring(GetCurrentProcessId()) + L" --after-loop-ms=30000 --steps=" +
            steps);
  // The game is unharmed: its calls answer, and it ends as the library ends it.
  EXPECT_EQ(s.WaitExit(), 0u) << s.Output();
  EXPECT_EQ(s.Find("[game] init="), std::vector<std::string>{"0"}) << s.Output();
  EXPECT_EQ(s.Find("[game] pay="), std::vector<std::string>{"0"}) << s.Output();
  const std::string log = game.Log(L"test_game.exe");
  const std::vector<std::string> lines = FailureLines(log);

  if (outcome == Outcome::Served) {
    const std::vector<std::string> messages = channel.Messages();
    ASSERT_EQ(messages.size(), 2u) << log;
    EXPECT_NE(messages[0].find("IpcMsg_GameSDK_GameWndReady"), std::string::npos);
    EXPECT_NE(messages[1].find("IpcMsg_GameSDK_ShowPay"), std::string::npos);
    EXPECT_TRUE(lines.empty()) << log;
    return;
  }
  // Nothing announced, nothing written.
  EXPECT_EQ(channel.Signals(), 0);
  const std::string fileBytes = file.Contents();  // the backing file's, where one backs the region
  EXPECT_EQ(fileBytes, std::string(fileBytes.size(), '\0'));
  // Both messages accounted for, each line with the cause; no line per
  // attempt (the sender tries every 50 ms).
  ASSERT_FALSE(lines.empty()) << log;
  EXPECT_LE(lines.size(), 2u) << log;
  unsigned accounted = 0;
  for (const std::string& line : lines) {
    EXPECT_NE(line.find(c.cause), std::string::npos) << line;
    EXPECT_NE(line.find(name), std::string::npos) << line;
    const size_t at = line.find(" message(s)");
    ASSERT_NE(at, std::string::npos) << line;
    accounted += static_cast<unsigned>(std::stoul(line.substr(line.find_last_not_of("0123456789", at - 1) + 1)));
  }
  EXPECT_EQ(accounted, 2u) << log;
}

const GuardCase kGuardCases[] = {
    {"PageFile", [](const std::string& n, SECURITY_ATTRIBUTES* sa, BackingFile&) { return PageFileRegion(n, sa, 0, 2048); },
     nullptr, nullptr, Outcome::Served, ""},
    // The rights the library uses and no more: the region's DACL is enforced
    // under Wine as well (an all-rights open is refused), the events' is not.
    {"MinimumRights",
     [](const std::string& n, SECURITY_ATTRIBUTES* sa, BackingFile&) { return PageFileRegion(n, sa, 0, 2048); },
     "D:P(A;;0x100003;;;WD)", "D:P(A;;0x6;;;WD)", Outcome::Served, ""},
    {"ReservedPages",
     [](const std::string& n, SECURITY_ATTRIBUTES* sa, BackingFile&) {
       return PageFileRegion(n, sa, SEC_RESERVE, 2048);
     },
     nullptr, nullptr, Outcome::Refused, "is not a committed page-file region (reserved pages): another program may hold the channel's name"},
    {"FileBacked",
     [](const std::string& n, SECURITY_ATTRIBUTES* sa, BackingFile& f) {
       return CreateFileMappingA(f.handle, sa, PAGE_READWRITE, 0, 2048, n.c_str());
     },
     nullptr, nullptr, Outcome::Refused, "is not a committed page-file region (backed by the file "},
    {"SmallerSection",
     [](const std::string& n, SECURITY_ATTRIBUTES* sa, BackingFile&) { return PageFileRegion(n, sa, 0, 1024); },
     nullptr, nullptr, Outcome::AsTheSystemMaps, "its region could not be mapped whole"},
};

INSTANTIATE_TEST_SUITE_P(Table, HostChannelGuard, ::testing::ValuesIn(kGuardCases),
                         [](const ::testing::TestParamInfo<GuardCase>& info) { return info.param.name; });

}  // namespace
