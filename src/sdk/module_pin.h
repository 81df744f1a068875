// Keeps LumoGameSDK.dll mapped until the process ends. Taken once the
// library's own threads (IPC, delayed exit) run its code: unloading the
// module under them would crash the game. Any thread.
#pragma once

namespace lumo {

void PinModule();

}  // namespace lumo
