// What the module's start found of LumoGameSDK.dll: whether a copy loaded,
// and the files it looked for. Set once by StartupModule, before any node
// can run; read by the nodes on any thread afterwards.
#pragma once

#include "CoreMinimal.h"

namespace LumoDllLoad
{
// True once a copy of the DLL is loaded; always false without the DLL
// (WITH_LUMOGAMESDK 0).
bool IsLoaded();

// The files StartupModule looked for, in order, joined by ", " (empty
// without the DLL).
const FString& FilesTried();
} // namespace LumoDllLoad
