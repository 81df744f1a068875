#include "ipc/shm_endpoint.h"

#include <psapi.h>

#include <cstring>
#include <utility>

#include "ipc/open_rights.h"

namespace lumo {

namespace {

char* CopyName(const char* text) {
  const size_t n = std::strlen(text);
  char* copy = new char[n + 1];
  std::memcpy(copy, text, n + 1);
  return copy;
}

void CloseEvent(ShmEvent& ev) {
  if (ev.handle != nullptr) CloseHandle(ev.handle);
  delete[] ev.name;
  ev = ShmEvent{};
}

void CloseRegion(ShmRegion& region) {
  if (region.view != nullptr) UnmapViewOfFile(region.view);
  if (region.mapping != nullptr) CloseHandle(region.mapping);
  delete[] region.name;
  region = ShmRegion{};
}

// Server side of one event. On EventExists the other owner's handle is
// closed at once: the server never shares an event with an earlier owner.
ShmEvent CreateNamedEvent(const char* eventName) {
  ShmEvent ev{};
  HANDLE h = CreateEventA(nullptr, FALSE, FALSE, eventName);
  if (h == nullptr) {
    ev.error = ShmStatus::CreateEventFailed;
  } else if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(h);
    ev.error = ShmStatus::EventExists;
  } else {
    ev.handle = h;
    ev.name = CopyName(eventName);
  }
  return ev;
}

ShmEvent OpenNamedEvent(const char* eventName) {
  ShmEvent ev{};
  DWORD granted = 0;
  HANDLE h = OpenWithRights([eventName](DWORD access) { return OpenEventA(access, FALSE, eventName); },
                            EVENT_ALL_ACCESS, kHostEventRights, &granted);
  if (h == nullptr) {
    ev.error = ShmStatus::OpenEventFailed;
  } else {
    ev.handle = h;
    ev.name = CopyName(eventName);
  }
  return ev;
}

// Maps a freshly created or opened mapping into `region`; closes the
// mapping when the view cannot be made.
void MapRegion(ShmRegion& region, HANDLE mapping, const char* name, DWORD viewAccess = FILE_MAP_ALL_ACCESS) {
  void* view = MapViewOfFile(mapping, viewAccess, 0, 0, kShmRegionSize);
  if (view == nullptr) {
    CloseHandle(mapping);
    region.error = ShmStatus::MapViewFailed;
    return;
  }
  region.mapping = mapping;
  region.view = static_cast<unsigned char*>(view);
  region.size = kShmRegionSize;
  region.name = CopyName(name);
}

ShmRegion CreateRegion(const char* name) {
  ShmRegion region{};
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      kShmRegionSize, name);
  if (mapping == nullptr) {
    region.error = ShmStatus::CreateMappingFailed;
  } else if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mapping);
    region.error = ShmStatus::MappingExists;
  } else {
    MapRegion(region, mapping, name);
  }
  return region;
}

static_assert(kMemCommit == MEM_COMMIT && kMemMapped == MEM_MAPPED && kPageReadWrite == PAGE_READWRITE &&
                  kPageGuard == PAGE_GUARD && kErrorFileInvalid == ERROR_FILE_INVALID,
              "region_verdict.h mirrors winnt.h");

// What the system says about the mapped view: its page runs over the whole
// region, and whether a file stands behind it.
RegionRefusal InspectView(const unsigned char* view) {
  PageRun runs[4] = {};
  size_t count = 0;
  uint64_t covered = 0;
  while (count < 4 && covered < kShmRegionSize) {
    MEMORY_BASIC_INFORMATION info = {};
    const unsigned char* at = view + covered;
    if (VirtualQuery(at, &info, sizeof(info)) != sizeof(info)) break;
    const uint64_t skipped = static_cast<uint64_t>(at - static_cast<const unsigned char*>(info.BaseAddress));
    runs[count++] = PageRun{info.RegionSize > skipped ? info.RegionSize - skipped : 0, info.State, info.Type,
                            info.Protect};
    if (info.RegionSize <= skipped) break;
    covered += info.RegionSize - skipped;
  }
  // A page-file view has no file name (the call fails, ERROR_FILE_INVALID);
  // any other failure, a path longer than the buffer among them, may hide one.
  wchar_t file[1024];
  SetLastError(0);
  const DWORD length = GetMappedFileNameW(GetCurrentProcess(), const_cast<unsigned char*>(view), file, 1024);
  const DWORD nameError = length == 0 ? GetLastError() : 0;
  RegionRefusal found;
  found.verdict = JudgeRegion(runs, count, kShmRegionSize, MappedFileFrom(length, nameError));
  found.fileError = nameError;
  if (found.verdict == RegionVerdict::FileBacked) {
    try {
      found.file.assign(file, length < 1024 ? length : 1024);
    } catch (...) {
      // Out of memory: refused all the same, the file left unnamed.
    }
  }
  return found;
}

ShmRegion OpenRegion(const char* name, RegionRefusal* refusal) {
  ShmRegion region{};
  DWORD granted = 0;
  HANDLE mapping = OpenWithRights([name](DWORD access) { return OpenFileMappingA(access, FALSE, name); },
                                  FILE_MAP_ALL_ACCESS, kHostRegionRights, &granted);
  if (mapping == nullptr) {
    region.error = ShmStatus::OpenMappingFailed;
    return region;
  }
  MapRegion(region, mapping, name, granted);
  if (region.error != ShmStatus::Ok) return region;
  // Before anyone writes: a reserved page faults the writer, a file keeps
  // what is written.
  RegionRefusal found = InspectView(region.view);
  if (found.verdict != RegionVerdict::PageFile) {
    CloseRegion(region);
    region.error = ShmStatus::RegionRefused;
    if (refusal != nullptr) *refusal = std::move(found);
  }
  return region;
}

// Shared by Create and Open: the same order and the same clean-up on
// failure, only the way each object is obtained differs.
template <typename GetEvent, typename GetRegion>
ShmEndpoint SetUp(const char* name, GetEvent getEvent, GetRegion getRegion) {
  ShmEndpoint ep{};
  // Checked before anything is formatted or any kernel object touched: a
  // longer name would not fit the event-name buffers.
  if (!IsUsableChannelName(name)) {
    ep.status = ShmStatus::InvalidName;
    return ep;
  }
  char serverName[kShmEventNameCapacity];
  char clientName[kShmEventNameCapacity];
  if (!FormatEventName(name, kShmServerEventSuffix, serverName) ||
      !FormatEventName(name, kShmClientEventSuffix, clientName)) {
    ep.status = ShmStatus::InvalidName;
    return ep;
  }

  ep.serverEvent = getEvent(serverName);
  if (ep.serverEvent.error != ShmStatus::Ok) {
    ep.status = ep.serverEvent.error;
    return ep;
  }
  ep.clientEvent = getEvent(clientName);
  if (ep.clientEvent.error != ShmStatus::Ok) {
    ep.status = ep.clientEvent.error;
    CloseEvent(ep.serverEvent);
    return ep;
  }
  ep.region = getRegion(name);
  if (ep.region.error != ShmStatus::Ok) {
    ep.status = ep.region.error;
    CloseEvent(ep.serverEvent);
    CloseEvent(ep.clientEvent);
    return ep;
  }
  ep.channelName = CopyName(name);
  ep.status = ShmStatus::Ok;
  return ep;
}

}  // namespace

ShmEndpoint ShmEndpoint::Create(const char* name) {
  return SetUp(name, CreateNamedEvent, CreateRegion);
}

ShmEndpoint ShmEndpoint::Open(const char* name, RegionRefusal* refusal) {
  return SetUp(name, OpenNamedEvent, [refusal](const char* n) { return OpenRegion(n, refusal); });
}

void ShmEndpoint::Close() {
  CloseEvent(serverEvent);
  CloseEvent(clientEvent);
  CloseRegion(region);
  delete[] channelName;
  *this = ShmEndpoint{};
}

bool ShmEndpoint::Write(const std::string& payload) {
  if (status != ShmStatus::Ok || region.view == nullptr) return false;
  return StoreRegionMessage(region.view, region.size, payload);
}

bool ShmEndpoint::Read(std::string& out) const {
  out.clear();
  if (status != ShmStatus::Ok || region.view == nullptr) return false;
  return LoadRegionMessage(region.view, region.size, out);
}

}  // namespace lumo
