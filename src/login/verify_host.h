// Which verify host a login asks: the one the library was built for, or a
// loopback endpoint named as a development override in LumoGameSDK.ini
// beside the game's executable ([dev] verify_host=localhost:8443). The file
// is read on every call, so a developer can change it between attempts.
// Stateless; any thread.
#pragma once

#include <string>

namespace lumo {

// The host ("name" or "name:port") to ask instead of `builtIn`, or `builtIn`
// itself. Logs when an override is ignored and why; `overridden` (when
// given) says whether the override was taken.
std::wstring ChooseVerifyHost(const wchar_t* builtIn, bool* overridden = nullptr);

}  // namespace lumo
