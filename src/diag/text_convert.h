// Text conversions through the system: UTF-16 to a narrow code page (the
// ANSI code page of the log file; UTF-16 to UTF-8 is diag/utf8.h's, the one
// conversion for protocol text) and UTF-8 to UTF-16. Stateless; any thread
// may call them.
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
