// The user's local application data folder, where the log goes when the
// executable's folder refuses it: %LOCALAPPDATA%, or, where the process's
// environment lacks it (a launcher that passes an environment block of its
// own), the known folder the shell names (SHGetKnownFolderPath,
// FOLDERID_LocalAppData). shell32 is loaded from the system folder at run
// time, never while the calling thread holds the loader lock (inside a
// DllMain): there the known folder is not asked and the folder is unknown.
// Any thread; the known folder, once found, is kept for the process.
#pragma once

#include <string>

namespace lumo {

// Asks the shell for the known folder when the environment lacks it, the
// calling thread may load a DLL and nobody asked before. Takes no lock, so
// a caller may do it before one.
void PrepareLocalAppDataFolder();

// %LOCALAPPDATA%, else the known folder found by PrepareLocalAppDataFolder;
// empty when neither is to be had. Loads nothing.
std::wstring LocalAppDataFolder();

// True when the calling thread holds the loader lock (it runs inside a
// DllMain or a TLS callback), where no DLL may be loaded.
bool HoldsLoaderLock();

}  // namespace lumo
