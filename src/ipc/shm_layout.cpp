#include "ipc/shm_layout.h"

#include <cstring>
#include <vector>

namespace lumo {

bool IsUsableChannelName(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  // Bounded scan: the name may come from a buffer with no terminator in reach.
  for (size_t i = 1; i <= kShmMaxChannelName; ++i) {
    if (name[i] == '\0') return true;
  }
  return false;
}

bool FormatEventName(const char* name, const char* suffix, char (&out)[kShmEventNameCapacity]) {
  out[0] = '\0';
  const size_t nameLen = std::strlen(name);
  const size_t suffixLen = std::strlen(suffix);
  if (nameLen + suffixLen >= kShmEventNameCapacity) return false;
  std::memcpy(out, name, nameLen);
  std::memcpy(out + nameLen, suffix, suffixLen);
  out[nameLen + suffixLen] = '\0';
  return true;
}

bool StoreRegionMessage(unsigned char* view, uint32_t size, const std::string& payload) {
  if (view == nullptr || size < 4) return false;
  // Compared in size_t so a payload of 4 GiB or more cannot wrap into a
  // small length.
  if (payload.size() > static_cast<size_t>(size) - 4) return false;
  const uint32_t length = static_cast<uint32_t>(payload.size());
  view[0] = static_cast<unsigned char>(length & 0xFF);
  view[1] = static_cast<unsigned char>((length >> 8) & 0xFF);
  view[2] = static_cast<unsigned char>((length >> 16) & 0xFF);
  view[3] = static_cast<unsigned char>((length >> 24) & 0xFF);
  if (length > 0) std::memcpy(view + 4, payload.data(), length);
  return true;
}

bool LoadRegionMessage(const unsigned char* view, uint32_t size, std::string& out) {
  out.clear();
  if (view == nullptr || size < 4) return false;
  std::vector<unsigned char> copy(view, view + size);
  const uint64_t length = static_cast<uint64_t>(copy[0]) | (static_cast<uint64_t>(copy[1]) << 8) |
                          (static_cast<uint64_t>(copy[2]) << 16) |
                          (static_cast<uint64_t>(copy[3]) << 24);
  if (length + 4 > size) return false;
  if (length > 0) out.assign(reinterpret_cast<const char*>(copy.data() + 4), static_cast<size_t>(length));
  return true;
}

}  // namespace lumo
