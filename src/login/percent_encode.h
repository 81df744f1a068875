// Percent-encoding of a query value. Pure text processing with no platform
// calls, so it can be built natively for fuzzing. Stateless; any thread.
#pragma once

#include <string>

namespace lumo {

// Returns `utf8` with every byte except the unreserved characters (ASCII
// letters, digits, "-", ".", "_", "~") written as "%XX" (upper-case hex),
// so the value can neither end the parameter nor add another one.
std::string PercentEncode(const std::string& utf8);

}  // namespace lumo
