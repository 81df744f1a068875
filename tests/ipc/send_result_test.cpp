// Why a host channel could not be opened, as the sender's log line names it.
// Access denied (a host at a higher integrity level or of another user)
// cannot be brought about under Wine, which grants every open: the mapping
// from the Windows error is checked here, the missing channel also through
// a real open.
#include <gtest/gtest.h>

#include <string>

#include "ipc/send_result.h"

namespace {

using lumo::HostOpenFailure;
using lumo::ShmStatus;

const wchar_t kMissing[] =
    L"it does not exist: no host created it, or the launcher runs in another session or as another user, or the "
    L"game runs inside an AppContainer";

struct OpenCase {
  const char* name;
  ShmStatus status;
  DWORD error;
  HostOpenFailure failure;
  const wchar_t* text;
};

class HostOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(HostOpen, ErrorNamesTheCause) {
  const OpenCase& c = GetParam();
  EXPECT_EQ(lumo::ClassifyHostOpen(c.status, c.error), c.failure);
  EXPECT_EQ(lumo::DescribeHostOpen(c.status, c.error), c.text);
}

const OpenCase kOpenCases[] = {
    {"EventMissing", ShmStatus::OpenEventFailed, ERROR_FILE_NOT_FOUND, HostOpenFailure::Missing,
     kMissing},
    {"MappingMissing", ShmStatus::OpenMappingFailed, ERROR_FILE_NOT_FOUND, HostOpenFailure::Missing,
     kMissing},
    {"PathMissing", ShmStatus::OpenEventFailed, ERROR_PATH_NOT_FOUND, HostOpenFailure::Missing,
     kMissing},
    {"EventDenied", ShmStatus::OpenEventFailed, ERROR_ACCESS_DENIED, HostOpenFailure::AccessDenied,
     L"access denied: the host runs as another user or at a higher integrity level"},
    {"MappingDenied", ShmStatus::OpenMappingFailed, ERROR_ACCESS_DENIED, HostOpenFailure::AccessDenied,
     L"access denied: the host runs as another user or at a higher integrity level"},
    {"NameTooLong", ShmStatus::InvalidName, 0, HostOpenFailure::BadName, L"the name cannot name a channel"},
    // Windows refuses a 2048-byte view of a smaller section with an access
    // denied: not the launcher's rights.
    {"ViewOfASmallerSection", ShmStatus::MapViewFailed, ERROR_ACCESS_DENIED, HostOpenFailure::Unmappable,
     L"its region could not be mapped whole (error 5): it may be smaller than 2048 bytes; another program may hold "
     L"the channel's name"},
    {"RegionRefused", ShmStatus::RegionRefused, ERROR_FILE_INVALID, HostOpenFailure::RegionRefused,
     L"its region is not a committed page-file region: another program may hold the channel's name"},
    {"WrongType", ShmStatus::OpenEventFailed, ERROR_INVALID_HANDLE, HostOpenFailure::Other, L"status 5, error 6"},
};

INSTANTIATE_TEST_SUITE_P(Table, HostOpen, ::testing::ValuesIn(kOpenCases),
                         [](const ::testing::TestParamInfo<OpenCase>& info) { return info.param.name; });

// The error the sender reads right after a real open of a channel nobody
// created is the one the table calls missing.
TEST(HostOpen, RealOpenOfAMissingChannelIsMissing) {
  const std::string name = "ipc_channel_player_none" + std::to_string(GetCurrentProcessId());
  lumo::ShmEndpoint endpoint = lumo::ShmEndpoint::Open(name.c_str());
  const DWORD error = GetLastError();
  ASSERT_NE(endpoint.status, ShmStatus::Ok);
  EXPECT_EQ(lumo::ClassifyHostOpen(endpoint.status, error), HostOpenFailure::Missing) << "error " << error;
}

}  // namespace
