// The size at which the log file is set aside and a new one begun: the
// "log_max_kb" value of LumoGameSDK.ini's [main] section, read as text.
// Pure; no platform calls (built natively for fuzzing). Any thread.
#pragma once

#include <cstdint>

namespace lumo {

// 10 MB, when the INI file sets nothing usable.
constexpr uint32_t kLogDefaultMaxKb = 10 * 1024;
// 4 GB: the largest accepted value.
constexpr uint32_t kLogLargestMaxKb = 4 * 1024 * 1024;

// The cap in kilobytes: a whole decimal number from 1 to kLogLargestMaxKb,
// digits only. Anything else (empty, 0, a sign, a unit, blanks inside, a
// larger number) gives kLogDefaultMaxKb. `text` may be null.
uint32_t ParseLogMaxKb(const wchar_t* text);

}  // namespace lumo
