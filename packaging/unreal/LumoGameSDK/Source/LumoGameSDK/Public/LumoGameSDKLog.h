// The plugin's log category: "LogLumoGameSDK" in the output log and in
// Saved/Logs (filter or raise it with -LogCmds="LogLumoGameSDK Verbose").
// The library's own log is separate: LumoGameSDK.ini beside the executable.
#pragma once

#include "Logging/LogMacros.h"

LUMOGAMESDK_API DECLARE_LOG_CATEGORY_EXTERN(LogLumoGameSDK, Log, All);
