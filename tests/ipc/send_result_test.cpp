// Why a message for the host failed, as the log names it: a host channel
// that could not be opened, a send refused on the calling thread.
// Access denied (a host at a higher integrity level or of another user)
// cannot be brought about under Wine, which grants every open: the mapping
// from the Windows error is checked here, the missing channel also through
// a real open.
#include <gtest/gtest.h>

#include <cwctype>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "ipc/send_result.h"

namespace {

using lumo::HostOpenFailure;
using lumo::SendResult;
using lumo::ShmStatus;

struct OpenCase {
  const char* name;
  ShmStatus status;
  DWORD error;
  HostOpenFailure failure;
  // What the cause must mention to say why (lower case): the reason, and
  // for an unknown failure the two numbers that let a reader look it up.
  std::vector<std::wstring> mentions;
};

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

class HostOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(HostOpen, ErrorNamesTheCause) {
  const OpenCase& c = GetParam();
  EXPECT_EQ(lumo::ClassifyHostOpen(c.status, c.error), c.failure);
  const std::wstring cause = Lower(lumo::DescribeHostOpen(c.status, c.error));
  for (const std::wstring& word : c.mentions) EXPECT_NE(cause.find(word), std::wstring::npos) << cause;
}

const OpenCase kOpenCases[] = {
    {"EventMissing", ShmStatus::OpenEventFailed, ERROR_FILE_NOT_FOUND, HostOpenFailure::Missing,
     {L"does not exist", L"no host", L"another session", L"another user", L"appcontainer"}},
    {"MappingMissing", ShmStatus::OpenMappingFailed, ERROR_FILE_NOT_FOUND, HostOpenFailure::Missing,
     {L"does not exist", L"no host", L"another session", L"another user", L"appcontainer"}},
    {"PathMissing", ShmStatus::OpenEventFailed, ERROR_PATH_NOT_FOUND, HostOpenFailure::Missing,
     {L"does not exist", L"no host", L"another session", L"another user", L"appcontainer"}},
    {"EventDenied", ShmStatus::OpenEventFailed, ERROR_ACCESS_DENIED, HostOpenFailure::AccessDenied,
     {L"access denied", L"another user", L"integrity level"}},
    {"MappingDenied", ShmStatus::OpenMappingFailed, ERROR_ACCESS_DENIED, HostOpenFailure::AccessDenied,
     {L"access denied", L"another user", L"integrity level"}},
    {"NameTooLong", ShmStatus::InvalidName, 0, HostOpenFailure::BadName, {L"name"}},
    // Windows refuses a 2048-byte view of a smaller section with an access
    // denied: not the launcher's rights.
    {"ViewOfASmallerSection", ShmStatus::MapViewFailed, ERROR_ACCESS_DENIED, HostOpenFailure::Unmappable,
     {L"could not be mapped whole", L"error 5", L"smaller than 2048 bytes", L"another program"}},
    {"RegionRefused", ShmStatus::RegionRefused, ERROR_FILE_INVALID, HostOpenFailure::RegionRefused,
     {L"not a committed page-file region", L"another program"}},
    {"WrongType", ShmStatus::OpenEventFailed, ERROR_INVALID_HANDLE, HostOpenFailure::Other,
     {L"status 5", L"error 6"}},
};

INSTANTIATE_TEST_SUITE_P(Table, HostOpen, ::testing::ValuesIn(kOpenCases),
                         [](const ::testing::TestParamInfo<OpenCase>& info) { return info.param.name; });

// Each kind of failure reads differently, so a log line tells them apart.
TEST(HostOpen, EachKindHasItsOwnCause) {
  const std::set<std::wstring> causes = {
      lumo::DescribeHostOpen(ShmStatus::OpenEventFailed, ERROR_FILE_NOT_FOUND),
      lumo::DescribeHostOpen(ShmStatus::OpenEventFailed, ERROR_ACCESS_DENIED),
      lumo::DescribeHostOpen(ShmStatus::InvalidName, 0),
      lumo::DescribeHostOpen(ShmStatus::OpenEventFailed, ERROR_INVALID_HANDLE)};
  EXPECT_EQ(causes.size(), 4u);
}

// The refusals on the calling thread: each has a cause of its own, and the
// ones a game developer can act on say what to change.
TEST(SendResult, EachRefusalNamesItsCause) {
  EXPECT_EQ(std::wstring(lumo::SendResultText(SendResult::Queued)), L"");
  const struct {
    SendResult result;
    const wchar_t* mentions;
  } kRefusals[] = {
      {SendResult::NoTarget, L"--lumo-pipe"}, {SendResult::NotRunning, L"not running"},
      {SendResult::Closed, L"lumoGameUninit"}, {SendResult::Full, L"full"},
      {SendResult::TooLarge, L"2044 bytes"},   {SendResult::EmptyEnvelope, L"UTF-8"},
  };
  std::set<std::wstring> causes;
  for (const auto& refusal : kRefusals) {
    const std::wstring cause = lumo::SendResultText(refusal.result);
    EXPECT_NE(cause.find(refusal.mentions), std::wstring::npos) << cause;
    causes.insert(cause);
  }
  EXPECT_EQ(causes.size(), std::size(kRefusals));
}

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
