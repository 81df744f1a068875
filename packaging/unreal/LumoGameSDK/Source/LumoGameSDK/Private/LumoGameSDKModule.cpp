// Loads LumoGameSDK.dll when the module starts, so the first call from game
// code does not depend on the delay-load search. Looked for, in order, where
// a file exists (so no failed load is logged on each start): the project's
// Binaries/Win64, where RuntimeDependencies stages it for the editor and the
// packaged game alike; the plugin's Binaries/Win64 (a plugin built once and
// copied into a Blueprint-only project); beside the running executable; the
// copy the plugin ships in Source/ThirdParty.
// On other platforms the module exists without a DLL and the nodes answer
// "not supported". Blueprints use ULumoGameSDKLibrary; C++ may include
// "LumoGameSDK.h" and call the five functions itself (docs/integration-guide.md
// of the SDK).
#include "LumoGameSDKLog.h"

#include "HAL/FileManager.h"
#include "HAL/PlatformProcess.h"
#include "Interfaces/IPluginManager.h"
#include "Misc/Paths.h"
#include "Modules/ModuleManager.h"

DEFINE_LOG_CATEGORY(LogLumoGameSDK);

class FLumoGameSDKModule : public IModuleInterface
{
public:
	virtual void StartupModule() override
	{
#if WITH_LUMOGAMESDK
		TArray<FString> Candidates;
		Candidates.Add(FPaths::Combine(FPaths::ProjectDir(), TEXT("Binaries/Win64/LumoGameSDK.dll")));
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
			if (IFileManager::Get().FileExists(*Candidate))
			{
				DllHandle = FPlatformProcess::GetDllHandle(*Candidate);
				if (DllHandle != nullptr)
				{
					UE_LOG(LogLumoGameSDK, Log, TEXT("LumoGameSDK.dll loaded from %s"), *Candidate);
					return;
				}
				UE_LOG(LogLumoGameSDK, Warning, TEXT("LumoGameSDK.dll at %s could not be loaded"), *Candidate);
			}
		}
		UE_LOG(LogLumoGameSDK, Error, TEXT("LumoGameSDK.dll was not found: looked in %s"),
			*FString::Join(Candidates, TEXT(", ")));
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
