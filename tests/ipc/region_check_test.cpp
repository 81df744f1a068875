// The check of a host channel's region before the first write: the verdict
// from the page facts (a table), then ShmEndpoint::Open against regions this
// test makes the way a program holding the channel's name could: reserved
// pages, a file behind the view. And the rights a launcher may grant: Open
// falls back to the rights the library uses when all rights are denied.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "ipc/open_rights.h"
#include "ipc/region_verdict.h"
#include "ipc/shm_endpoint.h"
#include "ipc_test_util.h"

namespace {

using lumo::MappedFile;
using lumo::PageRun;
using lumo::RegionVerdict;
using lumo::ShmEndpoint;
using lumo::ShmStatus;

constexpr uint32_t kReserve = 0x2000;   // MEM_RESERVE
constexpr uint32_t kPrivate = 0x20000;  // MEM_PRIVATE
constexpr uint32_t kImage = 0x1000000;  // MEM_IMAGE
constexpr uint32_t kCommit = lumo::kMemCommit;
constexpr uint32_t kMapped = lumo::kMemMapped;
constexpr uint32_t kRw = lumo::kPageReadWrite;

struct VerdictCase {
  const char* name;
  std::vector<PageRun> runs;
  MappedFile file;
  RegionVerdict verdict;
};

class Verdict : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(Verdict, FromThePageFacts) {
  const VerdictCase& c = GetParam();
  EXPECT_EQ(lumo::JudgeRegion(c.runs.data(), c.runs.size(), 2048, c.file), c.verdict);
}

const VerdictCase kVerdicts[] = {
    {"PageFilePage", {{4096, kCommit, kMapped, kRw}}, MappedFile::None, RegionVerdict::PageFile},
    {"WriteCombined", {{4096, kCommit, kMapped, kRw | 0x400}}, MappedFile::None, RegionVerdict::PageFile},
    {"TwoCommittedRuns", {{1024, kCommit, kMapped, kRw}, {4096, kCommit, kMapped, kRw}}, MappedFile::None,
     RegionVerdict::PageFile},
    // What a view of a SEC_RESERVE section shows (Windows and Wine alike).
    {"ReservedSection", {{4096, kReserve, kMapped, 0}}, MappedFile::None, RegionVerdict::Reserved},
    {"ReservedSecondRun", {{1024, kCommit, kMapped, kRw}, {4096, kReserve, kMapped, 0}}, MappedFile::None,
     RegionVerdict::Reserved},
    {"FileBehind", {{4096, kCommit, kMapped, kRw}}, MappedFile::Named, RegionVerdict::FileBacked},
    {"FileNameUnreadable", {{4096, kCommit, kMapped, kRw}}, MappedFile::Unnamed, RegionVerdict::FileUnnamed},
    {"ReadOnly", {{4096, kCommit, kMapped, 0x02}}, MappedFile::None, RegionVerdict::NotReadWrite},
    {"GuardPage", {{4096, kCommit, kMapped, kRw | lumo::kPageGuard}}, MappedFile::None, RegionVerdict::NotReadWrite},
    {"Image", {{4096, kCommit, kImage, kRw}}, MappedFile::None, RegionVerdict::NotReadWrite},
    {"Private", {{4096, kCommit, kPrivate, kRw}}, MappedFile::None, RegionVerdict::NotReadWrite},
    {"ShortOfTheRegion", {{1024, kCommit, kMapped, kRw}}, MappedFile::None, RegionVerdict::Unknown},
    {"NothingQueried", {}, MappedFile::None, RegionVerdict::Unknown},
};

INSTANTIATE_TEST_SUITE_P(Table, Verdict, ::testing::ValuesIn(kVerdicts),
                         [](const ::testing::TestParamInfo<VerdictCase>& info) { return info.param.name; });

// Only "not a file" means no file: a name that does not fit the buffer
// (ERROR_MORE_DATA, ERROR_INSUFFICIENT_BUFFER) or any other failure may
// hide one.
TEST(MappedFileName, OnlyFileInvalidMeansNoFile) {
  EXPECT_EQ(lumo::MappedFileFrom(0, 1006), MappedFile::None);
  EXPECT_EQ(lumo::MappedFileFrom(0, 234), MappedFile::Unnamed);
  EXPECT_EQ(lumo::MappedFileFrom(0, 122), MappedFile::Unnamed);
  EXPECT_EQ(lumo::MappedFileFrom(0, 0), MappedFile::Unnamed);
  EXPECT_EQ(lumo::MappedFileFrom(40, 0), MappedFile::Named);
  EXPECT_EQ(lumo::MappedFileFrom(1024, 122), MappedFile::Named);
}

TEST(RegionRefusalText, NamesTheRegionAndWhatWasFound) {
  EXPECT_EQ(lumo::DescribeRefusedRegion(L"ipc_channel_main", {RegionVerdict::Reserved, L""}),
            L"the region ipc_channel_main is not a committed page-file region (reserved pages): another program "
            L"may hold the channel's name");
  EXPECT_EQ(lumo::DescribeRefusedRegion(L"c", {RegionVerdict::FileBacked, L"\\Device\\HarddiskVolume2\\x.bin"}),
            L"the region c is not a committed page-file region (backed by the file \\Device\\HarddiskVolume2\\x.bin): "
            L"another program may hold the channel's name");
  EXPECT_EQ(lumo::DescribeRefusedRegion(L"c", {RegionVerdict::FileUnnamed, L"", 234}),
            L"the region c is not a committed page-file region (backed by a file whose name could not be read, "
            L"error 234): another program may hold the channel's name");
}

// A host channel made by this test: both events as a launcher makes them,
// the region as `makeRegion` makes it.
struct SquattedChannel {
  template <typename MakeRegion>
  SquattedChannel(const std::string& name, MakeRegion makeRegion) {
    server = CreateEventA(nullptr, FALSE, FALSE, (name + "_server_njipc").c_str());
    client = CreateEventA(nullptr, FALSE, FALSE, (name + "_client_njipc").c_str());
    mapping = makeRegion(name);
  }
  ~SquattedChannel() {
    for (HANDLE h : {server, client, mapping}) {
      if (h != nullptr) CloseHandle(h);
    }
  }
  HANDLE server, client, mapping;
};

TEST(RegionCheck, ReservedPagesAreRefusedBeforeAnyWrite) {
  const std::string name = ipc_test::UniqueChannel("rsv");
  SquattedChannel channel(name, [](const std::string& n) {
    return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0, 2048, n.c_str());
  });
  ASSERT_NE(channel.mapping, nullptr);
  lumo::RegionRefusal refusal;
  ShmEndpoint ep = ShmEndpoint::Open(name.c_str(), &refusal);
  EXPECT_EQ(ep.status, ShmStatus::RegionRefused);
  EXPECT_EQ(static_cast<int>(ep.status), 14);
  EXPECT_EQ(refusal.verdict, RegionVerdict::Reserved);
  EXPECT_EQ(ep.serverEvent.handle, nullptr);
  EXPECT_EQ(ep.region.view, nullptr);
  EXPECT_FALSE(ep.Write("x"));
  // Committed now, the pages read as the system made them: nothing written.
  void* view = MapViewOfFile(channel.mapping, FILE_MAP_ALL_ACCESS, 0, 0, 2048);
  ASSERT_NE(view, nullptr);
  ASSERT_NE(VirtualAlloc(view, 2048, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(view), 2048), std::string(2048, '\0'));
  UnmapViewOfFile(view);
}

// A region a squatter backs with the file at `path` (made here, removed
// after): what ShmEndpoint::Open answered and found, and the file's bytes
// afterwards.
struct FileSquat {
  ShmStatus status = ShmStatus::Ok;
  lumo::RegionRefusal refusal;
  std::string contents;
};

FileSquat OpenOverFile(const std::wstring& path) {
  FileSquat result;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
  if (file == INVALID_HANDLE_VALUE) return result;
  {
    const std::string name = ipc_test::UniqueChannel("file");
    SquattedChannel channel(name, [file](const std::string& n) {
      return CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 2048, n.c_str());
    });
    EXPECT_NE(channel.mapping, nullptr);
    ShmEndpoint ep = ShmEndpoint::Open(name.c_str(), &result.refusal);
    result.status = ep.status;
    if (ep.status == ShmStatus::Ok) {
      // What the sender would do next: the message lands in the file.
      ep.Write("{\"msg\":\"x\"}");
      ep.Close();
    }
  }
  char bytes[2048];
  DWORD read = 0;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  EXPECT_TRUE(ReadFile(file, bytes, sizeof(bytes), &read, nullptr));
  result.contents.assign(bytes, read);
  CloseHandle(file);
  DeleteFileW(path.c_str());
  return result;
}

TEST(RegionCheck, AFileBehindTheRegionIsRefusedAndNamed) {
  wchar_t dir[MAX_PATH], path[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, dir), 0u);
  ASSERT_NE(GetTempFileNameW(dir, L"lrg", 0, path), 0u);
  const FileSquat squat = OpenOverFile(path);
  EXPECT_EQ(squat.status, ShmStatus::RegionRefused);
  EXPECT_EQ(squat.refusal.verdict, RegionVerdict::FileBacked);
  // The system names the file in its own form; its name is in it.
  const std::wstring base = std::wstring(path).substr(std::wstring(path).find_last_of(L'\\') + 1);
  EXPECT_NE(squat.refusal.file.find(base), std::wstring::npos) << lumo_test::Narrow(squat.refusal.file);
  EXPECT_EQ(squat.contents.find_first_not_of('\0'), std::string::npos) << "the message landed in the file";
}

// A path longer than the buffer the check reads the file's name into: the
// name cannot be read whole, and the region is refused all the same.
TEST(RegionCheck, AFileUnderALongPathIsRefusedAndNothingWritten) {
  wchar_t temp[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring root = L"\\\\?\\" + std::wstring(temp) + L"lumo-long-" + std::to_wstring(GetCurrentProcessId());
  std::vector<std::wstring> dirs{root};
  for (int i = 0; i < 5; ++i) dirs.push_back(dirs.back() + L"\\" + std::wstring(200, static_cast<wchar_t>(L'a' + i)));
  for (const std::wstring& d : dirs) ASSERT_TRUE(CreateDirectoryW(d.c_str(), nullptr)) << GetLastError();
  const std::wstring path = dirs.back() + L"\\region.bin";
  ASSERT_GT(path.size(), 1024u);
  const FileSquat squat = OpenOverFile(path);
  for (auto d = dirs.rbegin(); d != dirs.rend(); ++d) RemoveDirectoryW(d->c_str());
  EXPECT_EQ(squat.status, ShmStatus::RegionRefused);
  EXPECT_TRUE(squat.refusal.verdict == RegionVerdict::FileUnnamed || squat.refusal.verdict == RegionVerdict::FileBacked)
      << static_cast<int>(squat.refusal.verdict);
  EXPECT_EQ(squat.contents.find_first_not_of('\0'), std::string::npos) << "the message landed in the file";
}

// A launcher that grants the game only the rights it uses, by a DACL of
// its objects (SDDL: protected, one allow entry for everyone).
SECURITY_ATTRIBUTES* Granting(const char* sddl, PSECURITY_DESCRIPTOR* sd, SECURITY_ATTRIBUTES* sa) {
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, sd, nullptr)) return nullptr;
  *sa = SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), *sd, FALSE};
  return sa;
}

TEST(HostRights, MinimumRightsAreEnoughToOpenAndWrite) {
  static_assert(lumo::kHostEventRights == 0x100003, "SYNCHRONIZE | EVENT_MODIFY_STATE | EVENT_QUERY_STATE");
  static_assert(lumo::kHostRegionRights == 0x6, "FILE_MAP_READ | FILE_MAP_WRITE");
  const std::string name = ipc_test::UniqueChannel("dacl");
  PSECURITY_DESCRIPTOR eventSd = nullptr, regionSd = nullptr;
  SECURITY_ATTRIBUTES eventSa, regionSa;
  ASSERT_NE(Granting("D:P(A;;0x100003;;;WD)", &eventSd, &eventSa), nullptr);
  ASSERT_NE(Granting("D:P(A;;0x6;;;WD)", &regionSd, &regionSa), nullptr);
  HANDLE server = CreateEventA(&eventSa, FALSE, FALSE, (name + "_server_njipc").c_str());
  HANDLE client = CreateEventA(&eventSa, FALSE, FALSE, (name + "_client_njipc").c_str());
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, &regionSa, PAGE_READWRITE, 0, 2048, name.c_str());
  ASSERT_TRUE(server && client && mapping);

  // The region's DACL is enforced here (Wine too): all rights are denied.
  HANDLE all = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
  EXPECT_EQ(all, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  if (all != nullptr) CloseHandle(all);

  ShmEndpoint ep = ShmEndpoint::Open(name.c_str());
  ASSERT_EQ(ep.status, ShmStatus::Ok);
  ASSERT_TRUE(ep.Write("hello"));
  ASSERT_TRUE(SetEvent(ep.serverEvent.handle));
  EXPECT_EQ(WaitForSingleObject(server, 0), WAIT_OBJECT_0);
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 2048);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(view) + 4, 5), "hello");
  UnmapViewOfFile(view);
  ep.Close();
  for (HANDLE h : {server, client, mapping}) CloseHandle(h);
  LocalFree(eventSd);
  LocalFree(regionSd);
}

// Wine does not enforce an event's DACL (all rights are granted whatever it
// says), so the fallback both objects share is shown here through its seam:
// an open that denies all rights and grants the used ones.
struct RightsCase {
  const char* name;
  DWORD deniedMask;   // an open asking for any of these bits is denied
  DWORD otherError;   // when not 0, every open fails with it instead
  bool opened;
  DWORD granted;
  int tries;
};

class Rights : public ::testing::TestWithParam<RightsCase> {};

TEST_P(Rights, FallBackOnlyWhenDenied) {
  const RightsCase& c = GetParam();
  int tries = 0;
  HANDLE real = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  auto open = [&](DWORD access) -> HANDLE {
    ++tries;
    if (c.otherError != 0) {
      SetLastError(c.otherError);
      return nullptr;
    }
    if ((access & c.deniedMask) != 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    return real;
  };
  DWORD granted = 0;
  HANDLE h = lumo::OpenWithRights(open, EVENT_ALL_ACCESS, lumo::kHostEventRights, &granted);
  EXPECT_EQ(h != nullptr, c.opened);
  EXPECT_EQ(granted, c.granted);
  EXPECT_EQ(tries, c.tries);
  if (!c.opened) {
    EXPECT_EQ(GetLastError(), c.otherError != 0 ? c.otherError : static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  CloseHandle(real);
}

const RightsCase kRights[] = {
    {"AllGranted", 0, 0, true, EVENT_ALL_ACCESS, 1},
    // WRITE_DAC | WRITE_OWNER | DELETE withheld, as a careful launcher does.
    {"OnlyUsedGranted", WRITE_DAC | WRITE_OWNER | DELETE, 0, true, lumo::kHostEventRights, 2},
    {"NothingGranted", ~0u, 0, false, lumo::kHostEventRights, 2},
    {"MissingIsNotRetried", 0, ERROR_FILE_NOT_FOUND, false, EVENT_ALL_ACCESS, 1},
};

INSTANTIATE_TEST_SUITE_P(Table, Rights, ::testing::ValuesIn(kRights),
                         [](const ::testing::TestParamInfo<RightsCase>& info) { return info.param.name; });

}  // namespace
