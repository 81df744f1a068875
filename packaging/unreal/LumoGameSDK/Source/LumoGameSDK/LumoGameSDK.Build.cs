// Links the game module against LumoGameSDK.dll (Win64 only): the header,
// the MSVC import library, the DLL delay-loaded (so the module loads even
// before the DLL is found) and staged beside the game's executable.
using System.IO;
using UnrealBuildTool;

public class LumoGameSDK : ModuleRules
{
	public LumoGameSDK(ReadOnlyTargetRules Target) : base(Target)
	{
		PCHUsage = PCHUsageMode.UseExplicitOrSharedPCHs;
		PublicDependencyModuleNames.AddRange(new string[] { "Core" });
		PrivateDependencyModuleNames.AddRange(new string[] { "Projects" });

		string ThirdParty = Path.Combine(PluginDirectory, "Source", "ThirdParty", "LumoGameSDK");
		if (Target.Platform == UnrealTargetPlatform.Win64)
		{
			PublicSystemIncludePaths.Add(Path.Combine(ThirdParty, "include"));
			PublicAdditionalLibraries.Add(Path.Combine(ThirdParty, "lib", "Win64", "LumoGameSDK.lib"));
			PublicDelayLoadDLLs.Add("LumoGameSDK.dll");
			// Copied beside the executable at build and staging time, where
			// Windows looks first when the delay-load stub loads it.
			RuntimeDependencies.Add("$(TargetOutputDir)/LumoGameSDK.dll",
				Path.Combine(ThirdParty, "bin", "Win64", "LumoGameSDK.dll"));
			PublicDefinitions.Add("WITH_LUMOGAMESDK=1");
		}
		else
		{
			PublicDefinitions.Add("WITH_LUMOGAMESDK=0");
		}
	}
}
