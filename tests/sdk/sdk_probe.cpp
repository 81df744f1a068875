// Test helper: calls the exports in the order given on its command line and
// prints one line per call: "<export>=<result>".
//   sdk_probe info login pay uninit init ...
// and "winhttp": whether winhttp.dll is loaded in the process ("loaded" or
// "absent").
#include <windows.h>

#include <cstdio>
#include <string>

#include "LumoGameSDK.h"

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring step = argv[i];
    if (step == L"init") {
      std::printf("init=%d\n", lumoGameInit());
    } else if (step == L"login") {
      std::printf("login=%d\n", lumoGameLogin());
    } else if (step == L"pay") {
      std::printf("pay=%d\n", lumoShowPay("{\"item\":1}"));
    } else if (step == L"uninit") {
      lumoGameUninit();
      std::printf("uninit\n");
    } else if (step == L"winhttp") {
      std::printf("winhttp=%s\n", GetModuleHandleW(L"winhttp.dll") ? "loaded" : "absent");
    } else if (step == L"info") {
      std::printf("info=%s\n", lumoGetLoginInfo() ? "set" : "null");
    } else {
      return 2;
    }
    std::fflush(stdout);
  }
  return 0;
}
