// Whether a host channel's region is safe to write into, judged from what the
// system says about the pages of the view the library mapped. A program that
// creates the channel's names before the launcher can hand out a section
// whose pages are only reserved (the first write faults inside the game) or
// one backed by a file (every message lands in that file); both show in the
// view's page attributes and its mapped-file name before anything is
// written. Pure functions with no platform calls (table-tested, built
// natively); the Windows side gathers the facts (shm_endpoint.cpp).
// Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumo {

// The values VirtualQuery reports, as winnt.h defines them (checked there).
inline constexpr uint32_t kMemCommit = 0x1000;
inline constexpr uint32_t kMemMapped = 0x40000;
inline constexpr uint32_t kPageReadWrite = 0x04;
inline constexpr uint32_t kPageGuard = 0x100;
// What GetMappedFileNameW fails with for a view that no file backs (a
// page-file section), Windows and Wine alike; winerror.h's ERROR_FILE_INVALID.
inline constexpr uint32_t kErrorFileInvalid = 1006;

// One run of pages with the same attributes, from the byte it was asked for.
struct PageRun {
  uint64_t bytes;    // from the asked address to the end of the run
  uint32_t state;    // MEM_COMMIT, MEM_RESERVE, MEM_FREE
  uint32_t type;     // MEM_MAPPED, MEM_PRIVATE, MEM_IMAGE
  uint32_t protect;  // PAGE_* with its modifiers
};

enum class RegionVerdict {
  PageFile,      // committed, mapped read-write, no file behind it: usable
  Reserved,      // some pages only reserved: a write would fault
  FileBacked,    // a file behind the view: messages would land in it
  FileUnnamed,   // a file behind the view whose name could not be read
  NotReadWrite,  // not a read-write mapped view (an image, guard pages, read-only)
  Unknown,       // the pages could not all be queried
};

// What the system says of a file behind the view.
enum class MappedFile {
  None,      // no file: the name query failed with kErrorFileInvalid
  Named,     // a file, named
  Unnamed,   // the name query failed otherwise (a name longer than the
             // buffer, anything else): a file may stand behind it
};

// From GetMappedFileNameW's answer: the length it returned and, when that
// is 0, the thread's last error. Only "not a file" counts as no file.
MappedFile MappedFileFrom(uint32_t nameLength, uint32_t error);

// `runs` follow each other from the view's first byte; together they must
// cover `viewBytes`. `file`: what the system says of a file behind it.
RegionVerdict JudgeRegion(const PageRun* runs, size_t count, uint64_t viewBytes, MappedFile file);

// Why ShmEndpoint::Open refused a region: the verdict, and the file when
// there is one (as the system names it), or the error of the name query.
struct RegionRefusal {
  RegionVerdict verdict = RegionVerdict::PageFile;
  std::wstring file;
  uint32_t fileError = 0;  // FileUnnamed: why the name could not be read
};

// The cause for the sender's log line: "the region <name> is not a
// committed page-file region (<what was found>): another program may hold
// the channel's name".
std::wstring DescribeRefusedRegion(const std::wstring& name, const RegionRefusal& refusal);

}  // namespace lumo
