// Keeps the module that holds this code (LumoGameSDK.dll) mapped until the
// process ends. Taken once threads of ours run its code: unloading the
// module under them would crash the host program. Any thread.
#pragma once

namespace nbase {

void PinModule();

}  // namespace nbase
