// What ends the process when an exception reaches std::terminate inside the
// library (thrown out of a noexcept function or a destructor during
// unwinding: every export catches what its own work throws). The DLL links
// its own copy of the C++ runtime, so this is the DLL's end only, never the
// game's.
//
// libstdc++'s default prints the exception's demangled type to stderr, which
// a game has no console for, and so links the runtime's whole demangler
// (about 45 KB) into the DLL. This file defines that default handler's
// symbol in its place: linked into the DLL as an object of its own, it
// comes before the runtime's archive, whose definition is then never
// loaded. It writes one line to the debugger output and aborts, as the
// default does after its message. Other runtimes (MSVC's) have no such
// handler and build nothing here.
#include <exception>

#if defined(__GLIBCXX__)
#include <windows.h>

#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  // A second call (what() threw) goes straight to the end.
  static bool terminating = false;
  if (!terminating) {
    terminating = true;
    OutputDebugStringA("[LumoGameSDK] std::terminate: an exception escaped where none may; the process ends\n");
    if (std::current_exception()) {
      try {
        throw;
      } catch (const std::exception& e) {
        OutputDebugStringA("[LumoGameSDK] the exception: ");
        OutputDebugStringA(e.what());
        OutputDebugStringA("\n");
      } catch (...) {
      }
    }
  }
  std::abort();
}

}  // namespace __gnu_cxx
#endif
