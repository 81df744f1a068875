// The module builds on every platform, so Blueprints that use its nodes
// load and cook everywhere. On Windows x64 it links the game against
// LumoGameSDK.dll: the header, the MSVC import library, the DLL delay-loaded
// (so the module loads even before the DLL is found) and staged with its PDB
// into $(BinaryOutputDir): the plugin's Binaries/Win64 for the editor, the
// executable's folder in a packaged game, where the module looks for it.
// Elsewhere, in an arm64 build of Windows (the DLL and its import library
// are x64 only) and in a dedicated server (no game window, no launcher),
// WITH_LUMOGAMESDK is 0 and the nodes answer "not supported" without any
// library, which is then neither linked nor staged.
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
		// The architecture's name across engine versions: "x64" (or empty) for
		// Intel 64-bit, "arm64" or "arm64ec" for Windows on Arm.
		bool bArm = Target.Architecture.ToString().ToLowerInvariant().Contains("arm");
		bool bWindowsX64 = Target.Platform == UnrealTargetPlatform.Win64 && !bArm;
		bool bServer = Target.Type == TargetType.Server;
		if (bWindowsX64 && !bServer)
		{
			string Bin = Path.Combine(ThirdParty, "bin", "Win64");
			PublicSystemIncludePaths.Add(Path.Combine(ThirdParty, "include"));
			PublicAdditionalLibraries.Add(Path.Combine(ThirdParty, "lib", "Win64", "LumoGameSDK.lib"));
			PublicDelayLoadDLLs.Add("LumoGameSDK.dll");
			// Copied where the module's binaries go at build and staging time:
			// never into the engine's own folders, which an installed engine
			// shares (and may not let anyone write).
			RuntimeDependencies.Add("$(BinaryOutputDir)/LumoGameSDK.dll", Path.Combine(Bin, "LumoGameSDK.dll"));
			// The symbols go where the DLL goes, staged as debug files (left
			// out of a shipping package unless it includes debug files).
			string Pdb = Path.Combine(Bin, "LumoGameSDK.pdb");
			if (File.Exists(Pdb))
			{
				RuntimeDependencies.Add("$(BinaryOutputDir)/LumoGameSDK.pdb", Pdb, StagedFileType.DebugNonUFS);
			}
			PublicDefinitions.Add("WITH_LUMOGAMESDK=1");
		}
		else
		{
			PublicDefinitions.Add("WITH_LUMOGAMESDK=0");
		}
	}
}
