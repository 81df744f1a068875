// Writes text as the inside of a JSON string, exactly as the library's JSON
// serialiser writes it (DumpCompactJson): '"' and '\' and the control
// characters escaped (\b \t \n \f \r by name, the others as \u00xx), every
// other byte as it is, so UTF-8 stays UTF-8. Text that is not valid UTF-8
// (overlong forms, surrogates, code points past U+10FFFF, cut-off sequences)
// is refused, as that serialiser refuses it. Pure; any thread.
#pragma once

#include <cstddef>
#include <string>

namespace lumo {

// Appends the escaped form of `text` to `out`, without quotes. `depth` 2
// escapes the result once more: the inside of a JSON string that itself
// holds a JSON string with `text` in it (a body inside an envelope). False
// on invalid UTF-8; `out` then holds a partial result the caller discards.
bool AppendJsonStringContent(std::string& out, const char* text, size_t size, int depth = 1);

}  // namespace lumo
