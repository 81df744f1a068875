#include "login/freed_memory_guard.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kLive = 0x4C495645;     // "LIVE"
constexpr uint32_t kDeleted = 0x44454144;  // "DEAD"
constexpr unsigned char kPattern = 0xDD;

// Before every block; 16 bytes keep the block as aligned as the heap's.
struct alignas(16) Header {
  uint32_t state;
  uint32_t reserved;
  size_t size;
  Header* nextDeleted;
};

SRWLOCK g_lock = SRWLOCK_INIT;
Header* g_deleted = nullptr;

Header* HeaderOf(const void* p) { return reinterpret_cast<Header*>(const_cast<char*>(static_cast<const char*>(p))) - 1; }

void* Allocate(size_t size) {
  void* raw = HeapAlloc(GetProcessHeap(), 0, sizeof(Header) + (size == 0 ? 1 : size));
  if (raw == nullptr) return nullptr;
  Header* header = static_cast<Header*>(raw);
  header->state = kLive;
  header->size = size;
  header->nextDeleted = nullptr;
  return header + 1;
}

void Release(void* p) {
  if (p == nullptr) return;
  Header* header = HeaderOf(p);
  std::memset(p, kPattern, header->size);
  AcquireSRWLockExclusive(&g_lock);
  header->state = kDeleted;
  header->nextDeleted = g_deleted;
  g_deleted = header;
  ReleaseSRWLockExclusive(&g_lock);
}

void* AllocateOrThrow(size_t size) {
  void* p = Allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(size_t size) { return AllocateOrThrow(size); }
void* operator new[](size_t size) { return AllocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace lumo_test {

bool WasDeleted(const void* p) {
  AcquireSRWLockShared(&g_lock);
  const bool deleted = HeaderOf(p)->state == kDeleted;
  ReleaseSRWLockShared(&g_lock);
  return deleted;
}

size_t DeletedBlocksWrittenTo() {
  size_t written = 0;
  AcquireSRWLockShared(&g_lock);
  for (const Header* h = g_deleted; h != nullptr; h = h->nextDeleted) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(h + 1);
    for (size_t i = 0; i < h->size; ++i) {
      if (bytes[i] != kPattern) {
        ++written;
        break;
      }
    }
  }
  ReleaseSRWLockShared(&g_lock);
  return written;
}

}  // namespace lumo_test
