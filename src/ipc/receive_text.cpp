#include "ipc/receive_text.h"

#include <sstream>

namespace lumo {

std::string FormatReceivedLine(const std::string& msg, const std::string& body, uint64_t size) {
  std::ostringstream line;
  line << "[IPC recv] size=" << size << " msg=" << msg << " body=";
  if (body.size() <= kRecvBodyShown) {
    line << body;
  } else {
    line.write(body.data(), static_cast<std::streamsize>(kRecvBodyShown));
    line << "...(+" << (body.size() - kRecvBodyShown) << " bytes)";
  }
  line << '\n';
  return line.str();
}

}  // namespace lumo
