// Freed memory that stays reachable, for a test program that must show a
// callback never reaches an object after it was deleted (no AddressSanitizer
// for this target). Linking freed_memory_guard.cpp replaces the program's
// operator new and delete: every block gets a small header, and a deleted
// block is filled with a pattern and kept (never handed out again), so a
// pointer to it can be asked about and a write into it is found later.
#pragma once

#include <cstddef>

namespace lumo_test {

// True when `p`, the start of a block from operator new, was deleted.
bool WasDeleted(const void* p);

// Deleted blocks whose pattern was overwritten since their deletion: writes
// into freed memory. 0 when there were none.
size_t DeletedBlocksWrittenTo();

}  // namespace lumo_test
