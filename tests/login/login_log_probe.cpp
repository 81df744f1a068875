// Runs login steps named on its command line against one SdkContext, so a
// test can read the log lines they write. Steps, in order:
//   init                 mark the context initialised, launch options read
//   token=<text>         set the launch token
//   answer=<status>:<hex body>   the verify server's next answers
//   login                Login; prints its result code
//   builtin=<host>       later verify= steps use this as the library's
//                        built-in verify host (default: the build's)
//   verify=<text>        VerifyLoginToken; prints 1 or 0
//   refusetls=<n>        opens n sessions as on Windows 7, whose WinHTTP
//                        refuses the TLS protocols asked for; prints how
//                        many opened
// Exit code 0 when every step could be carried out.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "login/verify_control.h"
#include "login/verify_login.h"
#include "login/winhttp_session.h"
#include "sdk/operations.h"
#include "sdk/sdk_context.h"
#include "support/text_codec.h"

namespace {

// The hex of the command line is ASCII: each unit stands for its byte.
bool FromHex(const std::wstring& hex, std::string& out) {
  if (hex.size() % 2) return false;
  out = lumo_test::FromHex(std::string(hex.begin(), hex.end()));
  return true;
}

bool Starts(const std::wstring& s, const wchar_t* p, std::wstring& rest) {
  const size_t n = std::wcslen(p);
  if (s.compare(0, n, p) != 0) return false;
  rest = s.substr(n);
  return true;
}

BOOL WINAPI SetOptionRefusingProtocols(HINTERNET h, DWORD option, LPVOID buffer, DWORD length) {
  if (option == WINHTTP_OPTION_SECURE_PROTOCOLS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return lumo::GetWinHttpApi()->SetOption(h, option, buffer, length);
}

// Sessions opened as on Windows 7 SP1 whose WinHTTP refuses the protocols.
int OpenSessionsRefusingTls(int count) {
  if (lumo::GetWinHttpApi() == nullptr) return 0;
  lumo::WinHttpApi api = *lumo::GetWinHttpApi();
  api.SetOption = &SetOptionRefusingProtocols;
  int opened = 0;
  for (int i = 0; i < count; ++i) {
    lumo::ProxyMode mode = lumo::ProxyMode::kNone;
    DWORD error = 0;
    HINTERNET session = lumo::OpenWinHttpSession(api, L"probe", mode, error, lumo::WindowsVersion{6, 1});
    if (session == nullptr) continue;
    ++opened;
    api.CloseHandle(session);
  }
  return opened;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  lumo::SdkContext ctx;
  std::wstring builtIn;
  for (int i = 1; i < argc; ++i) {
    const std::wstring step = argv[i];
    std::wstring rest;
    if (step == L"init") {
      ctx.initialised = true;
      ctx.launchParamsLoaded = true;
    } else if (Starts(step, L"token=", rest)) {
      wcsncpy_s(ctx.launchParams.token, rest.c_str(), _TRUNCATE);
    } else if (Starts(step, L"answer=", rest)) {
      const size_t colon = rest.find(L':');
      std::string body;
      if (colon == std::wstring::npos || !FromHex(rest.substr(colon + 1), body) ||
          !lumo_test::SetVerifyAnswer(std::stoi(rest.substr(0, colon)), body)) {
        std::fprintf(stderr, "step %d failed\n", i);
        return 2;
      }
    } else if (step == L"login") {
      std::printf("%d ", static_cast<int>(lumo::Login(ctx)));
    } else if (Starts(step, L"refusetls=", rest)) {
      std::printf("%d ", OpenSessionsRefusingTls(std::stoi(rest)));
    } else if (Starts(step, L"builtin=", rest)) {
      builtIn = rest;
    } else if (Starts(step, L"verify=", rest)) {
      LoginInfo info;
      const bool ok = builtIn.empty()
                          ? lumo::VerifyLoginToken(rest.c_str(), &info)
                          : lumo::VerifyLoginTokenWith(builtIn.c_str(), rest.c_str(), &info);
      std::printf("%d ", ok ? 1 : 0);
    } else {
      std::fprintf(stderr, "unknown step %ls\n", step.c_str());
      return 2;
    }
  }
  std::fflush(stdout);
  return 0;
}
