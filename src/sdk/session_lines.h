// The lines Init adds to the log so that it tells the whole session: once
// per process the library's version and file and the launch options (the
// token by its length only), and a "parent" that names no window; on each
// Init whether the game window was embedded; for a refused own channel its
// name and why. Game thread (Init's), under the lifecycle lock.
#pragma once

#include "ipc/ipc_link.h"
#include "sdk/sdk_context.h"

namespace lumo {

// The version, file and launch option lines; only the first call in the
// process writes them.
void LogFirstInitLines(const SdkContext& ctx);

// "Init: the game window ... is embedded in ..." or why it is not.
void LogEmbedding(const SdkContext& ctx, bool embedded);

// The library's channel could not be created: which name (the token by its
// length only) and why, before Init answers -4.
void LogChannelRefused(const SdkContext& ctx, const IpcCreateFailure& failure);

}  // namespace lumo
