// Blueprint nodes over the five calls of LumoGameSDK.dll, under the category
// "LumoGameSDK". Login is a latent node: lumoGameLogin runs on a worker
// thread of its own (it blocks while its HTTPS request runs: the request
// has 15 s, the call returns within 20 s) and the node's output fires on
// the game thread once it has answered. The other nodes call straight
// through; call them on the game thread (LumoInit must: it looks for the
// game window among the calling thread's windows).
//
// Every node that answers gives the result as ELumoSdkResult and its number
// as Code, which keeps a number this plugin does not know (a newer DLL).
//
// The module exists on every platform; the DLL only on Win64 for x64.
// Elsewhere the nodes answer "not supported": LumoInit LaunchParamsFailed
// with a warning, LumoLogin and LumoShowPay NotInitialized, LumoGetLoginInfo
// false, LumoUninit nothing. They answer the same, with an error line naming
// the files looked for, when the module found no copy of the DLL it could
// load: no node reaches the DLL then.
//
// In the editor (PIE), where the process is the editor itself, the nodes
// stay away from the DLL unless LumoSetEditorUsesDevHost(true) was called:
// LumoInit answers LaunchParamsFailed with a warning, LumoLogin and
// LumoShowPay answer NotInitialized. Opted in, LumoInit still refuses when the
// editor's command line names a parent window (start lumo-devhost with
// --no-parent): the library would move the editor's window into it.
// LumoUninit never runs in the editor: it would end the editor 3 s later.
//
// C++ code calls these same functions (ULumoGameSDKLibrary::LumoInit(Code)
// and so on), never the DLL's five exports: only these ask the gate first.
// For the login, LumoLoginBlocking is the C++ form of the latent node.
#pragma once

#include "CoreMinimal.h"
#include "Engine/LatentActionManager.h"
#include "Kismet/BlueprintFunctionLibrary.h"
#include "LumoGameSDKLibrary.generated.h"

/** The library's result codes (SdkError), as a Blueprint enum; each node also gives the number (Code). */
UENUM(BlueprintType)
enum class ELumoSdkResult : uint8
{
	Ok,
	GameWindowNotFound,
	LaunchParamsFailed,
	EmbedAttachFailed,
	IpcGameStartFailed,
	IpcPostFailed,
	NotInitialized,
	LoginNoToken,
	LoginVerifyFailed,
	/** A code this plugin does not know (a newer DLL). */
	Unknown
};

/** A copy of the library's login record. */
USTRUCT(BlueprintType)
struct LUMOGAMESDK_API FLumoLoginInfo
{
	GENERATED_BODY()

	/** The player's id, greater than 0. */
	UPROPERTY(BlueprintReadOnly, Category = "LumoGameSDK")
	int64 Uid = 0;

	UPROPERTY(BlueprintReadOnly, Category = "LumoGameSDK")
	FString AppId;

	UPROPERTY(BlueprintReadOnly, Category = "LumoGameSDK")
	FString Sid;

	/** As the verify endpoint sent it (0 when absent). */
	UPROPERTY(BlueprintReadOnly, Category = "LumoGameSDK")
	int64 Time = 0;

	/** As the verify endpoint sent it (0 when absent). */
	UPROPERTY(BlueprintReadOnly, Category = "LumoGameSDK")
	int32 UserType = 0;
};

UCLASS()
class LUMOGAMESDK_API ULumoGameSDKLibrary : public UBlueprintFunctionLibrary
{
	GENERATED_BODY()

public:
	/** lumoGameInit: attaches the game window to the launcher. Once the game window exists, e.g. from BeginPlay. */
	UFUNCTION(BlueprintCallable, Category = "LumoGameSDK")
	static ELumoSdkResult LumoInit(int32& Code);

	/**
	 * lumoGameLogin on a worker thread; continues on the game thread with its result and the login record.
	 * Without a world (the context is no actor or component in a level) it logs an error and sets
	 * NotInitialized and an empty Info at once.
	 */
	UFUNCTION(BlueprintCallable, Category = "LumoGameSDK",
		meta = (Latent, LatentInfo = "LatentInfo", WorldContext = "WorldContextObject"))
	static void LumoLogin(UObject* WorldContextObject, FLatentActionInfo LatentInfo, ELumoSdkResult& Result,
		int32& Code, FLumoLoginInfo& Info);

	/**
	 * C++ only: lumoGameLogin behind the same gate as the nodes, with its record. Blocks while the HTTPS
	 * request runs (the call returns within 20 s): call it from a worker thread, e.g.
	 * Async(EAsyncExecution::Thread, ...), and hand the outcome to the game thread. Any thread.
	 */
	static ELumoSdkResult LumoLoginBlocking(int32& Code, FLumoLoginInfo& Info);

	/** lumoGetLoginInfo: false before a successful login. */
	UFUNCTION(BlueprintCallable, Category = "LumoGameSDK")
	static bool LumoGetLoginInfo(FLumoLoginInfo& Info);

	/**
	 * lumoShowPay: asks the launcher to show its payment window for the request text (sent as UTF-8).
	 * Text with an embedded NUL or an unpaired surrogate cannot arrive whole: IpcPostFailed (-5), a log line,
	 * nothing sent.
	 */
	UFUNCTION(BlueprintCallable, Category = "LumoGameSDK")
	static ELumoSdkResult LumoShowPay(const FString& Request, int32& Code);

	/** lumoGameUninit: the process ends about 3 s later. Does nothing in the editor. */
	UFUNCTION(BlueprintCallable, Category = "LumoGameSDK")
	static void LumoUninit();

	/** Editor only: let the nodes reach the DLL, for an editor started by lumo-devhost --no-parent. Off by default. */
	UFUNCTION(BlueprintCallable, Category = "LumoGameSDK")
	static void LumoSetEditorUsesDevHost(bool bUse);
};
