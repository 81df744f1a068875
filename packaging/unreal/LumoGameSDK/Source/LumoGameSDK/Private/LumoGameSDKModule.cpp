// Loads LumoGameSDK.dll when the module starts, so the first call from game
// code does not depend on the delay-load search, and records whether a copy
// loaded: the nodes reach the DLL only then (LumoDllLoad, LumoCallGate.h).
// Looked for, in order, where a file exists (so no failed load is logged on
// each start), in the folders Build.cs stages it into ($(BinaryOutputDir)):
// the plugin's Binaries/Win64 (the editor, and a plugin built once with
// BuildPlugin); beside the running executable (the packaged game); then the
// copy the plugin ships in Source/ThirdParty.
// On other platforms the module exists without a DLL and the nodes answer
// "not supported". Blueprints and C++ use ULumoGameSDKLibrary, whose
// functions ask whether a copy loaded before they reach the DLL.
#include "LumoDllLoad.h"
#include "LumoGameSDKLog.h"

#include "HAL/FileManager.h"
#include "HAL/PlatformProcess.h"
#include "Interfaces/IPluginManager.h"
#include "Misc/Paths.h"
#include "Modules/ModuleManager.h"

#include <atomic>

DEFINE_LOG_CATEGORY(LogLumoGameSDK);

namespace
{
std::atomic<bool> GDllLoaded{false};
FString GFilesTried; // written before GDllLoaded or any node can be read
} // namespace

bool LumoDllLoad::IsLoaded()
{
	return GDllLoaded.load(std::memory_order_acquire);
}

const FString& LumoDllLoad::FilesTried()
{
	return GFilesTried;
}

class FLumoGameSDKModule : public IModuleInterface
{
public:
	virtual void StartupModule() override
	{
#if WITH_LUMOGAMESDK
		TArray<FString> Candidates;
		TSharedPtr<IPlugin> Plugin = IPluginManager::Get().FindPlugin(TEXT("LumoGameSDK"));
		if (Plugin.IsValid())
		{
			Candidates.Add(FPaths::Combine(Plugin->GetBaseDir(), TEXT("Binaries/Win64/LumoGameSDK.dll")));
		}
		Candidates.Add(FPaths::Combine(FPlatformProcess::GetModulesDirectory(), TEXT("LumoGameSDK.dll")));
		if (Plugin.IsValid())
		{
			Candidates.Add(FPaths::Combine(Plugin->GetBaseDir(), TEXT("Source/ThirdParty/LumoGameSDK/bin/Win64/LumoGameSDK.dll")));
		}
		for (FString& Candidate : Candidates)
		{
			Candidate = FPaths::ConvertRelativePathToFull(Candidate);
		}
		GFilesTried = FString::Join(Candidates, TEXT(", "));
		for (const FString& Candidate : Candidates)
		{
			if (IFileManager::Get().FileExists(*Candidate))
			{
				DllHandle = FPlatformProcess::GetDllHandle(*Candidate);
				if (DllHandle != nullptr)
				{
					UE_LOG(LogLumoGameSDK, Log, TEXT("LumoGameSDK.dll loaded from %s"), *Candidate);
					GDllLoaded.store(true, std::memory_order_release);
					return;
				}
				UE_LOG(LogLumoGameSDK, Warning, TEXT("LumoGameSDK.dll at %s could not be loaded"), *Candidate);
			}
		}
		UE_LOG(LogLumoGameSDK, Error, TEXT("LumoGameSDK.dll did not load: looked for %s; the nodes answer "
			"\"not supported\""), *GFilesTried);
#endif
	}

	// The DLL stays loaded until the process ends: once its IPC has started
	// it cannot be unloaded anyway.
	virtual void ShutdownModule() override {}

#if WITH_LUMOGAMESDK
private:
	void* DllHandle = nullptr;
#endif
};

IMPLEMENT_MODULE(FLumoGameSDKModule, LumoGameSDK)
