// Opening the files the library writes outside the game's own folder (the
// moved log in the local application data folder, the INI file's copy in
// the temporary folder) so that no link can send the writes elsewhere. A
// normal program of the same user may put a junction or a symbolic link in
// place of such a folder or file; a game run as administrator would then
// write wherever it points. So the folder is opened as itself (never
// through a link) and refused when it is a reparse point, and it stays open
// without delete sharing while it is used, so it cannot be renamed or
// replaced meanwhile; the file is opened as itself too and refused when it
// is a reparse point or has another name (a hard link). Any thread;
// nothing here keeps state but the test seam.
#pragma once

#include <windows.h>

namespace lumo {

// Why an open was refused, beyond the system's own errors.
enum class LinkVerdict {
  Plain,        // opened: a folder or file of its own
  ReparsePoint, // a junction, symbolic link or other reparse point
  HardLinked,   // a file with more than one name
  OpenFailed    // the system refused the open (GetLastError says why)
};

// Opens the folder `path` as itself for as long as the handle is held, so
// that it cannot be renamed, deleted or swapped for a link. Null, with the
// verdict, when it is a reparse point or cannot be opened.
HANDLE OpenFolderAsItself(const wchar_t* path, LinkVerdict& verdict);

// Opens `path` for appending only (FILE_APPEND_DATA without FILE_WRITE_DATA:
// every write lands at the end, whoever else writes), creating it when
// missing, with read, write and delete sharing. INVALID_HANDLE_VALUE, with
// the verdict, when it is a reparse point or a hard link, or cannot be
// opened.
HANDLE OpenAppendOnlyAsItself(const wchar_t* path, LinkVerdict& verdict);

// Creates `path`, which must not exist yet (no link may stand there), for
// writing. INVALID_HANDLE_VALUE when it exists or cannot be made.
HANDLE CreateNewAsItself(const wchar_t* path);

// "a junction or symbolic link" and the like, for a refusal's line.
const wchar_t* LinkVerdictText(LinkVerdict verdict);

// The call that reads a handle's attributes and link count. Tests put in one
// that reports what Wine cannot make (a junction in place of a folder);
// null puts GetFileInformationByHandle back.
using FileInformationCall = BOOL(WINAPI*)(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);
void SetFileInformationCallForTesting(FileInformationCall call);

}  // namespace lumo
