// The protocols a login session offers: TLS 1.1 and 1.2 asked for where
// WinHTTP's defaults lack them (Windows 7 SP1 and 8.0), the defaults kept
// elsewhere, and a refusal that leaves the session working. Wine cannot be
// an older Windows: the version and WinHttpSetOption are stand-ins.
#include "login/winhttp_session.h"

#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct OptionCall {
  HINTERNET handle;
  DWORD option;
  DWORD value;
};
std::vector<OptionCall> g_options;
DWORD g_protocolRefusal = 0;  // the error WinHttpSetOption gives for the protocols, 0 for none

BOOL WINAPI RecordingSetOption(HINTERNET h, DWORD option, LPVOID buffer, DWORD length) {
  g_options.push_back({h, option, length == sizeof(DWORD) ? *static_cast<DWORD*>(buffer) : 0});
  if (option == WINHTTP_OPTION_SECURE_PROTOCOLS && g_protocolRefusal != 0) {
    SetLastError(g_protocolRefusal);
    return FALSE;
  }
  return lumo::GetWinHttpApi()->SetOption(h, option, buffer, length);
}

TEST(LoginSession, AsksForTls12OnlyWhereTheDefaultsLackIt) {
  const lumo::WinHttpApi* real = lumo::GetWinHttpApi();
  ASSERT_NE(real, nullptr);
  lumo::WinHttpApi api = *real;
  api.SetOption = &RecordingSetOption;
  const struct {
    const char* system;
    lumo::WindowsVersion version;
    bool asked;
  } rows[] = {
      {"Windows 7 SP1", {6, 1}, true},  {"Windows 8.0", {6, 2}, true},  {"Windows 8.1", {6, 3}, false},
      {"Windows 10 and 11", {10, 0}, false}, {"unknown", {0, 0}, false},
  };
  for (const DWORD refusal : {0ul, static_cast<unsigned long>(ERROR_INVALID_PARAMETER)}) {
    g_protocolRefusal = refusal;
    for (const auto& row : rows) {
      SCOPED_TRACE(row.system);
      SCOPED_TRACE(refusal);
      g_options.clear();
      lumo::ProxyMode mode = lumo::ProxyMode::kNone;
      DWORD error = 1;
      HINTERNET session = lumo::OpenWinHttpSession(api, L"test", mode, error, row.version);
      // A refused option leaves a working session: the login goes on.
      ASSERT_NE(session, nullptr);
      EXPECT_EQ(error, 0u);
      EXPECT_EQ(mode, lumo::ProxyMode::kAutomatic);
      int asked = 0;
      for (const OptionCall& call : g_options) {
        if (call.option != WINHTTP_OPTION_SECURE_PROTOCOLS) continue;
        ++asked;
        EXPECT_EQ(call.handle, session);
        EXPECT_EQ(call.value, static_cast<DWORD>(WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                                                 WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2));
      }
      EXPECT_EQ(asked, row.asked ? 1 : 0);
      real->CloseHandle(session);
    }
  }
  g_protocolRefusal = 0;
}

// The version comes from the system itself, not from what the test
// program's manifest lets GetVersionEx say.
TEST(LoginSession, ReadsTheRunningWindowsVersion) {
  const lumo::WindowsVersion version = lumo::RunningWindowsVersion();
  EXPECT_GE(version.major, 6u);
}

}  // namespace
