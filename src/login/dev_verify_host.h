// Reading the development override of the verify host ("verify_host" in
// section "dev" of LumoGameSDK.ini). Only a loopback endpoint with an
// explicit port is accepted: it sees nothing a local process could not read
// anyway (the token is on the game's command line), whereas any other name
// would send the player's token elsewhere. Pure text processing with no
// platform calls, so it also builds natively for fuzzing. Stateless; any
// thread.
#pragma once

#include <string>

namespace lumo {

enum class DevVerifyHost {
  kAbsent,       // empty (after trimming blanks): no override
  kHonoured,     // a loopback name with a port; `hostPort` holds it
  kNotLoopback,  // a name other than localhost, 127.0.0.1 or [::1]
  kNoPort,       // a loopback name without a port
  kBadPort,      // a port that is not a number from 1 to 65535
};

// Judges `value` (UTF-8, as read from the file). On kHonoured `hostPort` is
// the canonical "name:port" (name lower-case, port without leading zeros);
// on every other verdict it is empty.
DevVerifyHost ParseDevVerifyHost(const std::string& value, std::string& hostPort);

}  // namespace lumo
