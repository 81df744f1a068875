#include "diag/json_string.h"

#include <cstdint>

#include "diag/utf8.h"

namespace lumo {

namespace {

// Appends one escape sequence of the inner level (a backslash and letters or
// digits), escaped again `depth - 1` times: each further level doubles the
// backslash and leaves the rest.
void AppendEscape(std::string& out, const char* sequence, size_t size, int depth) {
  size_t backslashes = 1;
  for (int level = 1; level < depth; ++level) backslashes *= 2;
  out.append(backslashes, '\\');
  out.append(sequence + 1, size - 1);
}

}  // namespace

bool AppendJsonStringContent(std::string& out, const char* text, size_t size, int depth) {
  if (depth < 1) depth = 1;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* const end = p + size;
  out.reserve(out.size() + size + 8);
  while (p < end) {
    // The plain run up to the next byte that needs attention, in one append.
    const unsigned char* run = p;
    while (p < end && *p >= 0x20 && *p < 0x80 && *p != '"' && *p != '\\') ++p;
    if (p != run) out.append(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
    if (p == end) break;
    const unsigned char c = *p;
    if (c >= 0x80) {
      const size_t length = Utf8SequenceLength(p, static_cast<size_t>(end - p));
      if (length == 0) return false;
      out.append(reinterpret_cast<const char*>(p), length);
      p += length;
      continue;
    }
    char sequence[7];
    size_t sequenceSize = 2;
    sequence[0] = '\\';
    switch (c) {
      case '"':
      case '\\':
        break;  // written below
      case '\b': sequence[1] = 'b'; break;
      case '\t': sequence[1] = 't'; break;
      case '\n': sequence[1] = 'n'; break;
      case '\f': sequence[1] = 'f'; break;
      case '\r': sequence[1] = 'r'; break;
      default: {
        static const char kHex[] = "0123456789abcdef";
        sequence[1] = 'u';
        sequence[2] = '0';
        sequence[3] = '0';
        sequence[4] = kHex[c >> 4];
        sequence[5] = kHex[c & 0xF];
        sequenceSize = 6;
        break;
      }
    }
    if (c == '"') {
      // Each level escapes the backslashes before the quote and the quote.
      size_t backslashes = 1;
      for (int level = 1; level < depth; ++level) backslashes = backslashes * 2 + 1;
      out.append(backslashes, '\\');
      out.push_back('"');
    } else if (c == '\\') {
      size_t backslashes = 2;
      for (int level = 1; level < depth; ++level) backslashes *= 2;
      out.append(backslashes, '\\');
    } else {
      AppendEscape(out, sequence, sequenceSize, depth);
    }
    ++p;
  }
  return true;
}

}  // namespace lumo
