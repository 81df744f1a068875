#include "ipc/region_verdict.h"

namespace lumo {

MappedFile MappedFileFrom(uint32_t nameLength, uint32_t error) {
  if (nameLength != 0) return MappedFile::Named;
  return error == kErrorFileInvalid ? MappedFile::None : MappedFile::Unnamed;
}

RegionVerdict JudgeRegion(const PageRun* runs, size_t count, uint64_t viewBytes, MappedFile file) {
  uint64_t covered = 0;
  bool readWrite = true;
  for (size_t i = 0; i < count && covered < viewBytes; ++i) {
    // Reserved pages decide first: they are what crashes a writer.
    if (runs[i].state != kMemCommit) return RegionVerdict::Reserved;
    // Write-combining and no-cache modifiers still take writes; a guard
    // page faults once, any other base protection refuses writes.
    if (runs[i].type != kMemMapped || (runs[i].protect & 0xFF) != kPageReadWrite ||
        (runs[i].protect & kPageGuard) != 0) {
      readWrite = false;
    }
    if (runs[i].bytes == 0) break;
    covered += runs[i].bytes;
  }
  if (covered < viewBytes) return RegionVerdict::Unknown;
  if (file == MappedFile::Named) return RegionVerdict::FileBacked;
  if (file == MappedFile::Unnamed) return RegionVerdict::FileUnnamed;
  return readWrite ? RegionVerdict::PageFile : RegionVerdict::NotReadWrite;
}

std::wstring DescribeRefusedRegion(const std::wstring& name, const RegionRefusal& refusal) {
  std::wstring found;
  switch (refusal.verdict) {
    case RegionVerdict::Reserved:
      found = L"reserved pages";
      break;
    case RegionVerdict::FileBacked:
      found = L"backed by the file " + refusal.file;
      break;
    case RegionVerdict::FileUnnamed:
      found = L"backed by a file whose name could not be read, error " + std::to_wstring(refusal.fileError);
      break;
    case RegionVerdict::NotReadWrite:
      found = L"not mapped read-write";
      break;
    case RegionVerdict::Unknown:
      found = L"its pages could not be queried";
      break;
    case RegionVerdict::PageFile:
      found = L"none found";
      break;
  }
  return L"the region " + name + L" is not a committed page-file region (" + found +
         L"): another program may hold the channel's name";
}

}  // namespace lumo
