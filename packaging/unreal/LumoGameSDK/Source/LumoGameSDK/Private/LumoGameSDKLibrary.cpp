#include "LumoGameSDKLibrary.h"

#include "Async/Async.h"
#include "Engine/Engine.h"
#include "Engine/World.h"
#include "LatentActions.h"
#include "LumoCallGate.h"
#include "LumoDllLoad.h"
#include "LumoEditorGuard.h"
#include "LumoGameSDKLog.h"
#include "LumoRequestText.h"
#include "Misc/CommandLine.h"

#include <atomic>
#include <string>

#if WITH_LUMOGAMESDK
THIRD_PARTY_INCLUDES_START
#include "LumoGameSDK.h"
THIRD_PARTY_INCLUDES_END
#endif

namespace
{
// The library's codes the nodes answer without it.
constexpr int32 CodeLaunchParamsFailed = -2;
constexpr int32 CodeIpcPostFailed = -5;
constexpr int32 CodeNotInitialized = -6;

// Set from the game thread; read by LumoLoginBlocking from any thread.
std::atomic<bool> GEditorUsesDevHost{false};

// Whether this call may reach the DLL (LumoCallGate.h): only where the build
// links it, a copy loaded at startup, and outside the editor or opted in.
LumoCallGate::EVerdict Gate()
{
	return LumoCallGate::ForCall(WITH_LUMOGAMESDK != 0, LumoDllLoad::IsLoaded(), GIsEditor,
		GEditorUsesDevHost.load(std::memory_order_relaxed));
}

// The line a node logs when it answers without the DLL: an error naming the
// files looked for where the build has the DLL but no copy loaded; where the
// platform has none, only LumoInit warns (the other nodes may be called
// every frame there).
void LogNoDll(const TCHAR* Call, bool bInit = false)
{
#if WITH_LUMOGAMESDK
	UE_LOG(LogLumoGameSDK, Error, TEXT("%s: not supported, LumoGameSDK.dll did not load (looked for %s)"), Call,
		*LumoDllLoad::FilesTried());
#else
	if (bInit)
	{
		UE_LOG(LogLumoGameSDK, Warning, TEXT("%s: not supported in this build: LumoGameSDK.dll exists for Windows "
			"x64 games only (not for other platforms, arm64 or dedicated servers)"), Call);
	}
#endif
}

// For the nodes other than LumoInit and LumoUninit: true when the call may
// reach the DLL; otherwise false, after the line a missing DLL gets (the
// editor without the opt-in stays silent: those nodes may run every frame).
bool MayCall(const TCHAR* Call)
{
	const LumoCallGate::EVerdict Verdict = Gate();
	if (Verdict == LumoCallGate::EVerdict::NoDll)
	{
		LogNoDll(Call);
	}
	return Verdict == LumoCallGate::EVerdict::Call;
}

ELumoSdkResult ToResult(int32 Code)
{
	switch (Code)
	{
	case 0: return ELumoSdkResult::Ok;
	case -1: return ELumoSdkResult::GameWindowNotFound;
	case -2: return ELumoSdkResult::LaunchParamsFailed;
	case -3: return ELumoSdkResult::EmbedAttachFailed;
	case -4: return ELumoSdkResult::IpcGameStartFailed;
	case -5: return ELumoSdkResult::IpcPostFailed;
	case -6: return ELumoSdkResult::NotInitialized;
	case -10: return ELumoSdkResult::LoginNoToken;
	case -12: return ELumoSdkResult::LoginVerifyFailed;
	default: return ELumoSdkResult::Unknown;
	}
}

// Logs the call's result and hands back both forms of it.
ELumoSdkResult Answer(const TCHAR* Call, int32 Code, int32& OutCode)
{
	OutCode = Code;
	if (Code == 0)
	{
		UE_LOG(LogLumoGameSDK, Log, TEXT("%s: 0"), Call);
	}
	else
	{
		UE_LOG(LogLumoGameSDK, Warning, TEXT("%s: %d (%s)"), Call, Code,
			*UEnum::GetValueAsString(ToResult(Code)));
	}
	return ToResult(Code);
}

#if WITH_LUMOGAMESDK
void CopyRecord(const LumoLoginInfo& Record, FLumoLoginInfo& Info)
{
	// The record's text is UTF-16, as TCHAR is on Windows.
	Info.Uid = Record.uid;
	Info.AppId = FString(Record.appid);
	Info.Sid = FString(Record.sid);
	Info.Time = Record.time;
	Info.UserType = Record.utype;
}

// lumoGameLogin and, when it succeeded, a copy of the record; blocks while
// the request runs. Only after the gate said Call.
int32 LoginWithRecord(bool& bHasRecord, FLumoLoginInfo& Info)
{
	const int32 Code = lumoGameLogin();
	bHasRecord = false;
	if (Code == 0)
	{
		if (const LumoLoginInfo* Record = lumoGetLoginInfo())
		{
			CopyRecord(*Record, Info);
			bHasRecord = true;
		}
	}
	return Code;
}
#endif

// What the worker thread hands back. Shared, so that it outlives a latent
// action destroyed while the request runs (level change, end of PIE).
struct FLoginOutcome
{
	std::atomic<bool> bDone{false};
	int32 Code = CodeNotInitialized;
	bool bHasRecord = false;
	FLumoLoginInfo Info;
};

class FLumoLoginAction : public FPendingLatentAction
{
public:
	FLumoLoginAction(const FLatentActionInfo& LatentInfo, ELumoSdkResult& InResult, int32& InCode,
		FLumoLoginInfo& InInfo)
		: ExecutionFunction(LatentInfo.ExecutionFunction)
		, OutputLink(LatentInfo.Linkage)
		, CallbackTarget(LatentInfo.CallbackTarget)
		, Result(InResult)
		, Code(InCode)
		, Info(InInfo)
		, Outcome(MakeShared<FLoginOutcome, ESPMode::ThreadSafe>())
	{
		if (!MayCall(TEXT("LumoLogin")))
		{
			Outcome->bDone.store(true, std::memory_order_release);
			return;
		}
#if WITH_LUMOGAMESDK
		TSharedRef<FLoginOutcome, ESPMode::ThreadSafe> Shared = Outcome;
		Async(EAsyncExecution::Thread, [Shared]()
		{
			Shared->Code = LoginWithRecord(Shared->bHasRecord, Shared->Info);
			Shared->bDone.store(true, std::memory_order_release);
		});
#endif
	}

	// Every frame on the game thread, until the worker has answered.
	virtual void UpdateOperation(FLatentResponse& Response) override
	{
		if (!Outcome->bDone.load(std::memory_order_acquire))
		{
			return;
		}
		Result = Answer(TEXT("LumoLogin"), Outcome->Code, Code);
		Info = Outcome->bHasRecord ? Outcome->Info : FLumoLoginInfo();
		Response.FinishAndTriggerIf(true, ExecutionFunction, OutputLink, CallbackTarget);
	}

private:
	FName ExecutionFunction;
	int32 OutputLink;
	FWeakObjectPtr CallbackTarget;
	ELumoSdkResult& Result;
	int32& Code;
	FLumoLoginInfo& Info;
	TSharedRef<FLoginOutcome, ESPMode::ThreadSafe> Outcome;
};
} // namespace

ELumoSdkResult ULumoGameSDKLibrary::LumoInit(int32& Code)
{
	switch (Gate())
	{
	case LumoCallGate::EVerdict::NoDll:
		LogNoDll(TEXT("LumoInit (answers LaunchParamsFailed)"), true);
		return Answer(TEXT("LumoInit"), CodeLaunchParamsFailed, Code);
	case LumoCallGate::EVerdict::EditorWithoutOptIn:
		UE_LOG(LogLumoGameSDK, Warning, TEXT("LumoInit skipped in the editor (answers LaunchParamsFailed): the editor "
			"was not started by the launcher; LumoSetEditorUsesDevHost(true) lets an editor started by "
			"lumo-devhost --no-parent through"));
		return Answer(TEXT("LumoInit"), CodeLaunchParamsFailed, Code);
	default:
		break;
	}
	if (GIsEditor && LumoEditorGuard::NamesParent(FCommandLine::Get()))
	{
		UE_LOG(LogLumoGameSDK, Warning, TEXT("LumoInit skipped in the editor (answers LaunchParamsFailed): the command "
			"line names a parent window, into which the library would move the editor's window; start the editor "
			"with lumo-devhost --no-parent"));
		return Answer(TEXT("LumoInit"), CodeLaunchParamsFailed, Code);
	}
#if WITH_LUMOGAMESDK
	return Answer(TEXT("LumoInit"), lumoGameInit(), Code);
#else
	return Answer(TEXT("LumoInit"), CodeLaunchParamsFailed, Code); // never reached: the gate says NoDll
#endif
}

void ULumoGameSDKLibrary::LumoLogin(UObject* WorldContextObject, FLatentActionInfo LatentInfo,
	ELumoSdkResult& Result, int32& Code, FLumoLoginInfo& Info)
{
	UWorld* World = GEngine ? GEngine->GetWorldFromContextObject(WorldContextObject, EGetWorldErrorMode::ReturnNull) : nullptr;
	if (World == nullptr)
	{
		// No world, no latent action to continue the node: it completes here,
		// with the outputs of a login that did not happen.
		UE_LOG(LogLumoGameSDK, Error, TEXT("LumoLogin: no world for the world context %s (answers NotInitialized): "
			"call it from an actor or a component in a level"), *GetNameSafe(WorldContextObject));
		Info = FLumoLoginInfo();
		Result = Answer(TEXT("LumoLogin"), CodeNotInitialized, Code);
		return;
	}
	FLatentActionManager& Manager = World->GetLatentActionManager();
	// A node triggered again while its login runs waits for that one.
	if (Manager.FindExistingAction<FLumoLoginAction>(LatentInfo.CallbackTarget, LatentInfo.UUID) == nullptr)
	{
		Manager.AddNewAction(LatentInfo.CallbackTarget, LatentInfo.UUID,
			new FLumoLoginAction(LatentInfo, Result, Code, Info));
	}
}

ELumoSdkResult ULumoGameSDKLibrary::LumoLoginBlocking(int32& Code, FLumoLoginInfo& Info)
{
	Info = FLumoLoginInfo();
	if (!MayCall(TEXT("LumoLoginBlocking (answers NotInitialized)")))
	{
		return Answer(TEXT("LumoLoginBlocking"), CodeNotInitialized, Code);
	}
#if WITH_LUMOGAMESDK
	bool bHasRecord = false; // Info stays empty without one
	return Answer(TEXT("LumoLoginBlocking"), LoginWithRecord(bHasRecord, Info), Code);
#else
	return Answer(TEXT("LumoLoginBlocking"), CodeNotInitialized, Code);
#endif
}

bool ULumoGameSDKLibrary::LumoGetLoginInfo(FLumoLoginInfo& Info)
{
	Info = FLumoLoginInfo();
	if (!MayCall(TEXT("LumoGetLoginInfo (answers false)")))
	{
		return false;
	}
#if WITH_LUMOGAMESDK
	if (const LumoLoginInfo* Record = lumoGetLoginInfo())
	{
		CopyRecord(*Record, Info);
		return true;
	}
#endif
	return false;
}

ELumoSdkResult ULumoGameSDKLibrary::LumoShowPay(const FString& Request, int32& Code)
{
	// The library takes NUL-terminated UTF-8 and forwards it unchanged; text
	// that cannot arrive whole is refused here, as the library refuses text
	// that is not UTF-8.
	std::string Utf8;
	if (!LumoRequestText::ToUtf8z(*Request, static_cast<std::size_t>(Request.Len()), Utf8))
	{
		UE_LOG(LogLumoGameSDK, Warning, TEXT("LumoShowPay refused (answers IpcPostFailed), nothing sent: the request "
			"holds an embedded NUL or an unpaired surrogate, so it cannot reach the library whole as UTF-8"));
		return Answer(TEXT("LumoShowPay"), CodeIpcPostFailed, Code);
	}
	if (!MayCall(TEXT("LumoShowPay (answers NotInitialized)")))
	{
		return Answer(TEXT("LumoShowPay"), CodeNotInitialized, Code);
	}
#if WITH_LUMOGAMESDK
	return Answer(TEXT("LumoShowPay"), lumoShowPay(Utf8.c_str()), Code);
#else
	return Answer(TEXT("LumoShowPay"), CodeNotInitialized, Code);
#endif
}

void ULumoGameSDKLibrary::LumoUninit()
{
	switch (LumoCallGate::ForUninit(WITH_LUMOGAMESDK != 0, LumoDllLoad::IsLoaded(), GIsEditor))
	{
	case LumoCallGate::EVerdict::Editor:
		UE_LOG(LogLumoGameSDK, Warning, TEXT("LumoUninit skipped in the editor: it would end the editor 3 s later"));
		return;
	case LumoCallGate::EVerdict::Call:
		break;
	default:
		LogNoDll(TEXT("LumoUninit (does nothing)"));
		return;
	}
#if WITH_LUMOGAMESDK
	UE_LOG(LogLumoGameSDK, Log, TEXT("LumoUninit: the process ends in about 3 s"));
	lumoGameUninit();
#endif
}

void ULumoGameSDKLibrary::LumoSetEditorUsesDevHost(bool bUse)
{
	GEditorUsesDevHost.store(bUse, std::memory_order_relaxed);
}
