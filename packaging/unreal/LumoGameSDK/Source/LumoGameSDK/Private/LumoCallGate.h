// Whether a node may call into LumoGameSDK.dll, or must answer without it.
// A call through the delay-load stub when no copy of the DLL loaded raises
// an exception in the game (or the editor), so every node asks first. Plain
// C++ without engine types, so the SDK's tests compile it too; any thread
// may call it.
#pragma once

namespace LumoCallGate
{
enum class EVerdict
{
	Call,               // reach the DLL
	NoDll,              // answer as on a platform without the DLL
	EditorWithoutOptIn, // the editor, not started by lumo-devhost: stay away
	Editor              // never in the editor (LumoUninit would end it)
};

// bHasDll: the build links the DLL (WITH_LUMOGAMESDK); bLoaded: the module
// loaded a copy at startup; bInEditor: GIsEditor; bOptIn: the editor opt-in.
constexpr EVerdict ForCall(bool bHasDll, bool bLoaded, bool bInEditor, bool bOptIn)
{
	return !bHasDll || !bLoaded ? EVerdict::NoDll
		: bInEditor && !bOptIn ? EVerdict::EditorWithoutOptIn
		: EVerdict::Call;
}

// LumoUninit: as ForCall, except that the editor refuses it opted in or not.
constexpr EVerdict ForUninit(bool bHasDll, bool bLoaded, bool bInEditor)
{
	return bInEditor ? EVerdict::Editor : ForCall(bHasDll, bLoaded, false, false);
}
} // namespace LumoCallGate
