#include "launch/channel_name.h"

#include <cstring>

#include "diag/utf8.h"

namespace lumo {

std::string MakeChannelName(const std::wstring& token) {
  std::string name = kChannelGame;
  name += "_";
  name += token.empty() ? std::string("unknown") : Utf16ToUtf8(token);
  return name;
}

void CopyUtf8Truncated(char* dest, size_t capacity, const std::string& text) {
  if (capacity == 0) return;
  size_t n = text.size();
  if (n >= capacity) {
    n = capacity - 1;
    // text[n] is the first byte left out; when it continues a multi-byte
    // character, leave out that whole character.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

}  // namespace lumo
