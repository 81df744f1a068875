// terminate_probe.exe: linked with the DLL's terminate handler as the DLL
// is (an object of its own beside the runtime's archive), it lets an
// exception leave a noexcept function. It prints every debugger string it
// makes to stdout, so the test sees what the handler wrote, and how the
// process ended.
#include <windows.h>

#include <cstdio>
#include <stdexcept>

namespace {

LONG CALLBACK PrintDebugStrings(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
    std::fwrite(reinterpret_cast<const char*>(record->ExceptionInformation[1]), 1,
                static_cast<size_t>(record->ExceptionInformation[0]) - 1, stdout);
    std::fflush(stdout);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

void Escapes() noexcept { throw std::runtime_error("probe's exception"); }

}  // namespace

int main() {
  AddVectoredExceptionHandler(1, &PrintDebugStrings);
  std::printf("throwing\n");
  std::fflush(stdout);
  Escapes();
  return 0;
}
