// A game that runs at a higher integrity level than its launcher (started
// "as administrator", as anti-cheat often asks, under a launcher that is
// not): the embedding takes, but Windows then keeps the launcher from
// sizing the game window and from opening the game's channel for writing.
// Text only, no system calls; any thread.
#pragma once

#include <string>

#include "ipc/integrity_level.h"

namespace lumo {

// The warning Init logs before the embedding, naming both levels and the
// cure; empty unless both levels are known and the game's is the higher.
std::wstring GameAboveLauncherWarning(IntegrityLevels levels);

}  // namespace lumo
