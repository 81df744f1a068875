// The module builds on every platform, so Blueprints that use its nodes
// load and cook everywhere. On Win64 it links the game against
// LumoGameSDK.dll: the header, the MSVC import library, the DLL delay-loaded
// (so the module loads even before the DLL is found) and staged beside the
// game's executable with its PDB, so debuggers and crash reports of the
// packaged game find its symbols. Elsewhere WITH_LUMOGAMESDK is 0 and the
// nodes answer "not supported" without any library.
using System.IO;
using UnrealBuildTool;

public class LumoGameSDK : ModuleRules
{
	public LumoGameSDK(ReadOnlyTargetRules Target) : base(Target)
	{
		PCHUsage = PCHUsageMode.UseExplicitOrSharedPCHs;
		PublicDependencyModuleNames.AddRange(new string[] { "Core", "CoreUObject", "Engine" });
		PrivateDependencyModuleNames.AddRange(new string[] { "Projects" });

		string ThirdParty = Path.Combine(PluginDirectory, "Source", "ThirdParty", "LumoGameSDK");
		if (Target.Platform == UnrealTargetPlatform.Win64)
		{
			string Bin = Path.Combine(ThirdParty, "bin", "Win64");
			PublicSystemIncludePaths.Add(Path.Combine(ThirdParty, "include"));
			PublicAdditionalLibraries.Add(Path.Combine(ThirdParty, "lib", "Win64", "LumoGameSDK.lib"));
			PublicDelayLoadDLLs.Add("LumoGameSDK.dll");
			// Copied beside the executable at build and staging time, where
			// Windows looks first when the delay-load stub loads it.
			RuntimeDependencies.Add("$(TargetOutputDir)/LumoGameSDK.dll", Path.Combine(Bin, "LumoGameSDK.dll"));
			// The symbols go where the DLL goes, staged as debug files (left
			// out of a shipping package unless it includes debug files).
			string Pdb = Path.Combine(Bin, "LumoGameSDK.pdb");
			if (File.Exists(Pdb))
			{
				RuntimeDependencies.Add("$(TargetOutputDir)/LumoGameSDK.pdb", Pdb, StagedFileType.DebugNonUFS);
			}
			PublicDefinitions.Add("WITH_LUMOGAMESDK=1");
		}
		else
		{
			PublicDefinitions.Add("WITH_LUMOGAMESDK=0");
		}
	}
}
