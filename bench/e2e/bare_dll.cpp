// The floor of the library's load time: a DLL built the same way (static
// C++ runtime, same toolchain and flags) that does nothing.
#include <windows.h>

extern "C" __declspec(dllexport) int bare_dll_answer(void) { return 42; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
