// The one test of well-formed UTF-8 (RFC 3629: no overlong forms, no
// surrogates, nothing past U+10FFFF), for the writers that must refuse what
// the JSON serialiser refuses and the readers that replace what the system's
// conversion replaces. Pure, header-only (the portable parts of every layer
// use it); any thread.
#pragma once

#include <cstddef>

namespace lumo {

// Length (2 to 4) of the well-formed UTF-8 sequence that starts at `p`, whose
// lead byte is 0x80 or above, with `left` bytes available from `p`; 0 when
// the bytes there are not one.
inline size_t Utf8SequenceLength(const unsigned char* p, size_t left) {
  const unsigned char lead = p[0];
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (left < length) return 0;
  if (p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  }
  return length;
}

}  // namespace lumo
