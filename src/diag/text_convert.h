// Text conversions shared by every subsystem: UTF-16 to a narrow code page
// (UTF-8 for protocol text, the ANSI code page for the log file) and UTF-8
// to UTF-16. Stateless; any thread may call them.
#pragma once

#include <string>

namespace lumo {

// `length` counts UTF-16 units, or -1 for "up to the terminating zero".
// A null text or a failed conversion gives an empty string.
std::string WideToMultiByte(const wchar_t* text, int length, unsigned codePage);

// `length` counts bytes, or -1 for "up to the terminating zero". Ill-formed
// UTF-8 is converted with the platform's replacement behaviour.
std::wstring Utf8ToWide(const char* text, int length);

}  // namespace lumo
