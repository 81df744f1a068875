// Loads LumoGameSDK.dll when the module starts, so the first call from game
// code does not depend on the delay-load search: beside the executable
// (where RuntimeDependencies stages it), else from the plugin's own copy
// (editor builds). Blueprints use ULumoGameSDKLibrary; C++ may include
// "LumoGameSDK.h" and call the five functions itself (docs/integration-guide.md
// of the SDK).
#include "LumoGameSDKLog.h"

#include "Interfaces/IPluginManager.h"
#include "HAL/PlatformProcess.h"
#include "Misc/Paths.h"
#include "Modules/ModuleManager.h"

DEFINE_LOG_CATEGORY(LogLumoGameSDK);

class FLumoGameSDKModule : public IModuleInterface
{
public:
	virtual void StartupModule() override
	{
#if WITH_LUMOGAMESDK
		const FString Beside = FPaths::Combine(FPlatformProcess::GetModulesDirectory(), TEXT("LumoGameSDK.dll"));
		DllHandle = FPlatformProcess::GetDllHandle(*Beside);
		if (DllHandle == nullptr)
		{
			TSharedPtr<IPlugin> Plugin = IPluginManager::Get().FindPlugin(TEXT("LumoGameSDK"));
			if (Plugin.IsValid())
			{
				const FString Bundled = FPaths::Combine(Plugin->GetBaseDir(),
					TEXT("Source/ThirdParty/LumoGameSDK/bin/Win64/LumoGameSDK.dll"));
				DllHandle = FPlatformProcess::GetDllHandle(*Bundled);
			}
		}
		if (DllHandle == nullptr)
		{
			UE_LOG(LogLumoGameSDK, Error, TEXT("LumoGameSDK.dll was not found beside the executable or in the plugin"));
		}
#endif
	}

	// The DLL stays loaded until the process ends: once its IPC has started
	// it cannot be unloaded anyway.
	virtual void ShutdownModule() override {}

private:
	void* DllHandle = nullptr;
};

IMPLEMENT_MODULE(FLumoGameSDKModule, LumoGameSDK)
