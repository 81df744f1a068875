// The shared region is written by another process: any bytes, any length.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "ipc/shm_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte picks a region size around the real one, the rest fills it.
  const uint32_t regionSize = size ? lumo::kShmRegionSize - 8 + (data[0] % 16) : lumo::kShmRegionSize;
  std::vector<unsigned char> region(regionSize, 0);
  if (size > 1) std::memcpy(region.data(), data + 1, std::min<size_t>(size - 1, regionSize));

  std::string out = "stale";
  if (lumo::LoadRegionMessage(region.data(), regionSize, out)) {
    FUZZ_CHECK(out.size() + 4 <= regionSize);
    // Writing back what was read gives the same bytes at the front.
    std::vector<unsigned char> copy(regionSize, 0xEE);
    FUZZ_CHECK(lumo::StoreRegionMessage(copy.data(), regionSize, out));
    FUZZ_CHECK(std::memcmp(copy.data(), region.data(), 4 + out.size()) == 0);
  } else {
    FUZZ_CHECK(out.empty());
  }

  // Channel names: usable ones always format within the buffer.
  const std::string name(reinterpret_cast<const char*>(data), size);
  char event[lumo::kShmEventNameCapacity];
  if (lumo::IsUsableChannelName(name.c_str())) {
    FUZZ_CHECK(lumo::FormatEventName(name.c_str(), lumo::kShmServerEventSuffix, event));
    FUZZ_CHECK(std::strlen(event) == std::strlen(name.c_str()) + 13);
  }
  return 0;
}
