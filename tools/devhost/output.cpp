#include "devhost/output.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace devhost {

namespace {
std::mutex g_outputLock;
}

void PrintLine(const std::string& text) {
  const std::string line = "[devhost] " + text + "\n";
  std::lock_guard<std::mutex> lock(g_outputLock);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

std::string OneLine(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out.push_back(c);
  }
  return out;
}

std::string ExitCodeText(unsigned long code) {
  std::string text = std::to_string(code);
  if (code >= 0x80000000ul) {
    char hex[16];
    std::snprintf(hex, sizeof hex, " (0x%08lX)", code);
    text += hex;
  }
  return text;
}

}  // namespace devhost
