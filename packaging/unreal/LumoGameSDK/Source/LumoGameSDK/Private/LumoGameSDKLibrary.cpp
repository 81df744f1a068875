#include "LumoGameSDKLibrary.h"

#include "Async/Async.h"
#include "Engine/Engine.h"
#include "Engine/World.h"
#include "LatentActions.h"
#include "LumoGameSDKLog.h"

#include <atomic>

#if WITH_LUMOGAMESDK
THIRD_PARTY_INCLUDES_START
#include "LumoGameSDK.h"
THIRD_PARTY_INCLUDES_END
#endif

namespace
{
// Set from the game thread only.
bool GEditorUsesDevHost = false;

// True when the call must not reach the DLL: no DLL on this platform, or
// inside the editor without the opt-in.
bool KeepAway()
{
#if !WITH_LUMOGAMESDK
	return true;
#else
	return GIsEditor && !GEditorUsesDevHost;
#endif
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

void LogResult(const TCHAR* Call, int32 Code)
{
	if (Code == 0)
	{
		UE_LOG(LogLumoGameSDK, Log, TEXT("%s: 0"), Call);
	}
	else
	{
		UE_LOG(LogLumoGameSDK, Warning, TEXT("%s: %d (%s)"), Call, Code,
			*UEnum::GetValueAsString(ToResult(Code)));
	}
}

#if WITH_LUMOGAMESDK
void CopyRecord(const LoginInfo& Record, FLumoLoginInfo& Info)
{
	// The record's text is UTF-16, as TCHAR is on Windows.
	Info.Uid = Record.uid;
	Info.AppId = FString(Record.appid);
	Info.Sid = FString(Record.sid);
	Info.Time = Record.time;
	Info.UserType = Record.utype;
}
#endif

// What the worker thread hands back. Shared, so that it outlives a latent
// action destroyed while the request runs (level change, end of PIE).
struct FLoginOutcome
{
	std::atomic<bool> bDone{false};
	int32 Code = -6;
	bool bHasRecord = false;
	FLumoLoginInfo Info;
};

class FLumoLoginAction : public FPendingLatentAction
{
public:
	FLumoLoginAction(const FLatentActionInfo& LatentInfo, ELumoSdkResult& InResult, FLumoLoginInfo& InInfo)
		: ExecutionFunction(LatentInfo.ExecutionFunction)
		, OutputLink(LatentInfo.Linkage)
		, CallbackTarget(LatentInfo.CallbackTarget)
		, Result(InResult)
		, Info(InInfo)
		, Outcome(MakeShared<FLoginOutcome, ESPMode::ThreadSafe>())
	{
		if (KeepAway())
		{
			Outcome->Code = -6;
			Outcome->bDone.store(true, std::memory_order_release);
			return;
		}
#if WITH_LUMOGAMESDK
		TSharedRef<FLoginOutcome, ESPMode::ThreadSafe> Shared = Outcome;
		Async(EAsyncExecution::Thread, [Shared]()
		{
			Shared->Code = lumoGameLogin();
			if (Shared->Code == 0)
			{
				if (const LoginInfo* Record = lumoGetLoginInfo())
				{
					CopyRecord(*Record, Shared->Info);
					Shared->bHasRecord = true;
				}
			}
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
		LogResult(TEXT("LumoLogin"), Outcome->Code);
		Result = ToResult(Outcome->Code);
		Info = Outcome->bHasRecord ? Outcome->Info : FLumoLoginInfo();
		Response.FinishAndTriggerIf(true, ExecutionFunction, OutputLink, CallbackTarget);
	}

private:
	FName ExecutionFunction;
	int32 OutputLink;
	FWeakObjectPtr CallbackTarget;
	ELumoSdkResult& Result;
	FLumoLoginInfo& Info;
	TSharedRef<FLoginOutcome, ESPMode::ThreadSafe> Outcome;
};
} // namespace

ELumoSdkResult ULumoGameSDKLibrary::LumoInit()
{
	if (KeepAway())
	{
		UE_LOG(LogLumoGameSDK, Warning, TEXT("LumoInit skipped (answers LaunchParamsFailed): %s"),
			WITH_LUMOGAMESDK ? TEXT("the editor was not started by the launcher; LumoSetEditorUsesDevHost(true) lets an editor started by lumo-devhost through")
			                 : TEXT("LumoGameSDK.dll exists for Win64 only"));
		return ELumoSdkResult::LaunchParamsFailed;
	}
#if WITH_LUMOGAMESDK
	const int32 Code = lumoGameInit();
	LogResult(TEXT("LumoInit"), Code);
	return ToResult(Code);
#else
	return ELumoSdkResult::LaunchParamsFailed;
#endif
}

void ULumoGameSDKLibrary::LumoLogin(UObject* WorldContextObject, FLatentActionInfo LatentInfo,
	ELumoSdkResult& Result, FLumoLoginInfo& Info)
{
	UWorld* World = GEngine ? GEngine->GetWorldFromContextObject(WorldContextObject, EGetWorldErrorMode::LogAndReturnNull) : nullptr;
	if (World == nullptr)
	{
		return;
	}
	FLatentActionManager& Manager = World->GetLatentActionManager();
	// A node triggered again while its login runs waits for that one.
	if (Manager.FindExistingAction<FLumoLoginAction>(LatentInfo.CallbackTarget, LatentInfo.UUID) == nullptr)
	{
		Manager.AddNewAction(LatentInfo.CallbackTarget, LatentInfo.UUID, new FLumoLoginAction(LatentInfo, Result, Info));
	}
}

bool ULumoGameSDKLibrary::LumoGetLoginInfo(FLumoLoginInfo& Info)
{
	Info = FLumoLoginInfo();
	if (KeepAway())
	{
		return false;
	}
#if WITH_LUMOGAMESDK
	if (const LoginInfo* Record = lumoGetLoginInfo())
	{
		CopyRecord(*Record, Info);
		return true;
	}
#endif
	return false;
}

ELumoSdkResult ULumoGameSDKLibrary::LumoShowPay(const FString& Request)
{
	if (KeepAway())
	{
		return ELumoSdkResult::NotInitialized;
	}
#if WITH_LUMOGAMESDK
	// The library takes NUL-terminated UTF-8 and forwards it unchanged.
	const FTCHARToUTF8 Utf8(*Request);
	const int32 Code = lumoShowPay(Utf8.Get());
	LogResult(TEXT("LumoShowPay"), Code);
	return ToResult(Code);
#else
	return ELumoSdkResult::NotInitialized;
#endif
}

void ULumoGameSDKLibrary::LumoUninit()
{
	if (GIsEditor)
	{
		UE_LOG(LogLumoGameSDK, Warning, TEXT("LumoUninit skipped in the editor: it would end the editor 3 s later"));
		return;
	}
#if WITH_LUMOGAMESDK
	UE_LOG(LogLumoGameSDK, Log, TEXT("LumoUninit: the process ends in about 3 s"));
	lumoGameUninit();
#endif
}

int32 ULumoGameSDKLibrary::LumoResultCode(ELumoSdkResult Result)
{
	static const int32 Codes[] = {0, -1, -2, -3, -4, -5, -6, -10, -12};
	const int32 Index = static_cast<int32>(Result);
	return Index < static_cast<int32>(UE_ARRAY_COUNT(Codes)) ? Codes[Index] : MIN_int32;
}

void ULumoGameSDKLibrary::LumoSetEditorUsesDevHost(bool bUse)
{
	GEditorUsesDevHost = bUse;
}
