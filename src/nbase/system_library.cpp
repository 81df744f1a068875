#include "nbase/system_library.h"

#include <cwchar>

namespace nbase {

HMODULE LoadSystemLibrary(const wchar_t* name, LibraryLoader load) {
  if (HMODULE module = load(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
  if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
  // The flag is what was refused: the same file by its full path. With
  // LOAD_WITH_ALTERED_SEARCH_PATH the DLLs it imports are looked for in its
  // own folder first, the system folder again.
  wchar_t path[MAX_PATH] = {};
  const UINT folder = GetSystemDirectoryW(path, MAX_PATH);
  if (folder == 0) return nullptr;
  const size_t nameUnits = wcslen(name);
  if (folder >= MAX_PATH || folder + 1 + nameUnits >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  path[folder] = L'\\';
  wmemcpy(path + folder + 1, name, nameUnits + 1);
  return load(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace nbase
