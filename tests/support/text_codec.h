// Small text helpers shared by the test programs, header-only so that the
// stand-in game (which links only the DLL, as a game does) can use them too.
// Any thread; no state.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "diag/hex_text.h"

namespace lumo_test {

// The development host prints raw bytes with the same one.
using lumo::ToHex;

// The bytes of a ToHex text; a trailing odd digit is ignored.
inline std::string FromHex(const std::string& hex) {
  std::string out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  }
  return out;
}

// The complete lines of `text` (ended by LF, a CR before it removed); a last
// line without its LF is still being written and left out.
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The items of a `separator`-separated list; an empty text has none.
inline std::vector<std::string> SplitList(const std::string& text, char separator) {
  std::vector<std::string> items;
  if (text.empty()) return items;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    items.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return items;
    start = end + 1;
  }
}

// The messages of the library's log file, without their stamps (the text
// after "[LumoGameSDK] " on each line).
inline std::vector<std::string> LogMessages(const std::string& log) {
  std::vector<std::string> messages;
  const std::string marker = "[LumoGameSDK] ";
  for (const std::string& line : SplitLines(log)) {
    const size_t at = line.find(marker);
    messages.push_back(at == std::string::npos ? line : line.substr(at + marker.size()));
  }
  return messages;
}

// The log's messages that report a failure of any kind.
inline std::vector<std::string> FailureLines(const std::string& log) {
  std::vector<std::string> found;
  for (const std::string& message : LogMessages(log)) {
    for (const char* word : {"failed", "dropped", "refused", "could not", "did not"}) {
      if (message.find(word) != std::string::npos) {
        found.push_back(message);
        break;
      }
    }
  }
  return found;
}

}  // namespace lumo_test
