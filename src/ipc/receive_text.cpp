#include "ipc/receive_text.h"

namespace lumo {

// Plain string building: a stream here would pull the runtime's iostreams and
// locale machinery into the DLL, several hundred kilobytes for one line.
std::string FormatReceivedLine(const std::string& msg, const std::string& body, uint64_t size) {
  const bool cut = body.size() > kRecvBodyShown;
  std::string line;
  line.reserve(48 + msg.size() + (cut ? kRecvBodyShown : body.size()));
  line += "[IPC recv] size=";
  line += std::to_string(size);
  line += " msg=";
  line += msg;
  line += " body=";
  if (!cut) {
    line += body;
  } else {
    line.append(body, 0, kRecvBodyShown);
    line += "...(+";
    line += std::to_string(body.size() - kRecvBodyShown);
    line += " bytes)";
  }
  line += '\n';
  return line;
}

}  // namespace lumo
