#include "diag/log_cap.h"

namespace lumo {

uint32_t ParseLogMaxKb(const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return kLogDefaultMaxKb;
  uint64_t value = 0;
  for (const wchar_t* p = text; *p != L'\0'; ++p) {
    if (*p < L'0' || *p > L'9') return kLogDefaultMaxKb;
    value = value * 10 + static_cast<uint64_t>(*p - L'0');
    if (value > kLogLargestMaxKb) return kLogDefaultMaxKb;  // also keeps the sum from overflowing
  }
  return value == 0 ? kLogDefaultMaxKb : static_cast<uint32_t>(value);
}

}  // namespace lumo
