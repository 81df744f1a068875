// The INI value arrives as UTF-16 text of at most 31 units; every two input
// bytes make one unit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "diag/log_cap.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size && text.size() < 31; i += 2) {
    const wchar_t unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) break;  // the value ends at its terminator
    text.push_back(unit);
  }
  const uint32_t kb = lumo::ParseLogMaxKb(text.c_str());
  FUZZ_CHECK(kb >= 1 && kb <= lumo::kLogLargestMaxKb);
  // Whatever is not the plain number itself falls back to the default.
  if (kb != lumo::kLogDefaultMaxKb) FUZZ_CHECK(std::to_wstring(kb) == text.substr(text.find_first_not_of(L'0')));
  return 0;
}
