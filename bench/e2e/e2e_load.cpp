// Loads one DLL in a fresh process and prints how long LoadLibraryW took, in
// microseconds: "load_us <value>". Usage: e2e_load <dll>
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "e2e_common.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const int64_t start = e2e::Ticks();
  HMODULE module = LoadLibraryW(argv[1]);
  const int64_t end = e2e::Ticks();
  if (module == nullptr) {
    std::fprintf(stderr, "e2e_load: cannot load %ls (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  std::printf("load_us %.1f\n", e2e::TicksToUs(end - start));
  std::fflush(stdout);
  return 0;
}
