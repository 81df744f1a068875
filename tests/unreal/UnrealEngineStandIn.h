// The few engine types, functions and macros the plugin's sources use, with
// the engine's names and shapes, so that a C++ compiler can check those
// sources (check_unreal_plugin.py, both ways of WITH_LUMOGAMESDK). Only for
// compiling: nothing here runs, and none of it ships. The reflection macros
// expand to nothing, as the engine's header tool would have read them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

typedef wchar_t TCHAR;
typedef int32_t int32;
typedef int64_t int64;
typedef uint8_t uint8;
#define TEXT(x) L##x

#define UENUM(...)
#define USTRUCT(...)
#define UCLASS(...)
#define UPROPERTY(...)
#define UFUNCTION(...)
#define UMETA(...)
#define GENERATED_BODY()
#define LUMOGAMESDK_API
#define THIRD_PARTY_INCLUDES_START
#define THIRD_PARTY_INCLUDES_END

class FString
{
public:
	FString() = default;
	FString(const TCHAR* Text) : Text_(Text ? Text : L"") {}
	const TCHAR* operator*() const { return Text_.c_str(); }
	int32 Len() const { return static_cast<int32>(Text_.size()); }
	template <typename ArrayT>
	static FString Join(const ArrayT& Parts, const TCHAR* Separator)
	{
		FString Out;
		for (const FString& Part : Parts)
		{
			Out.Text_ += (Out.Text_.empty() ? L"" : Separator) + Part.Text_;
		}
		return Out;
	}

private:
	std::wstring Text_;
};

template <typename T>
class TArray
{
public:
	void Add(const T& Item) { Items_.push_back(Item); }
	typename std::vector<T>::iterator begin() { return Items_.begin(); }
	typename std::vector<T>::iterator end() { return Items_.end(); }
	typename std::vector<T>::const_iterator begin() const { return Items_.begin(); }
	typename std::vector<T>::const_iterator end() const { return Items_.end(); }

private:
	std::vector<T> Items_;
};

enum class ESPMode { NotThreadSafe, ThreadSafe };

template <typename T, ESPMode Mode = ESPMode::ThreadSafe>
class TSharedPtr
{
public:
	bool IsValid() const { return Ptr_ != nullptr; }
	T* operator->() const { return Ptr_.get(); }

private:
	std::shared_ptr<T> Ptr_;
};

template <typename T, ESPMode Mode = ESPMode::ThreadSafe>
class TSharedRef
{
public:
	explicit TSharedRef(std::shared_ptr<T> Ptr) : Ptr_(std::move(Ptr)) {}
	T* operator->() const { return Ptr_.get(); }
	T& operator*() const { return *Ptr_; }

private:
	std::shared_ptr<T> Ptr_;
};

template <typename T, ESPMode Mode = ESPMode::ThreadSafe>
TSharedRef<T, Mode> MakeShared()
{
	return TSharedRef<T, Mode>(std::make_shared<T>());
}

class FName
{
public:
	FName() = default;
	FName(const TCHAR*) {}
};

class UObject
{
public:
	virtual ~UObject() = default;
};

FString GetNameSafe(const UObject* Object);

class FWeakObjectPtr
{
public:
	FWeakObjectPtr(const UObject* Object = nullptr) : Object_(Object) {}

private:
	const UObject* Object_;
};

class UEnum
{
public:
	template <typename EnumT>
	static FString GetValueAsString(EnumT Value) { return FString(); }
};

class UBlueprintFunctionLibrary : public UObject
{
};

// Logging: a category object and a printf-style line.
struct FLogCategoryStandIn
{
};
void LogStandIn(const FLogCategoryStandIn& Category, const TCHAR* Format, ...);
#define DECLARE_LOG_CATEGORY_EXTERN(Name, Default, Compiled) extern FLogCategoryStandIn Name
#define DEFINE_LOG_CATEGORY(Name) FLogCategoryStandIn Name
#define UE_LOG(Category, Verbosity, Format, ...) LogStandIn(Category, Format, ##__VA_ARGS__)

extern bool GIsEditor;

class FCommandLine
{
public:
	static const TCHAR* Get();
};

class FPaths
{
public:
	static FString ProjectDir();
	static FString Combine(const FString& A, const FString& B);
	static FString ConvertRelativePathToFull(const FString& Path);
};

class IFileManager
{
public:
	static IFileManager& Get();
	bool FileExists(const TCHAR* Path);
};

class FPlatformProcess
{
public:
	static void* GetDllHandle(const TCHAR* Path);
	static const TCHAR* GetModulesDirectory();
};

class IPlugin
{
public:
	virtual ~IPlugin() = default;
	virtual FString GetBaseDir() const = 0;
};

class IPluginManager
{
public:
	static IPluginManager& Get();
	TSharedPtr<IPlugin> FindPlugin(const TCHAR* Name);
};

class IModuleInterface
{
public:
	virtual ~IModuleInterface() = default;
	virtual void StartupModule() {}
	virtual void ShutdownModule() {}
};
#define IMPLEMENT_MODULE(Class, Name) static Class Name##ModuleStandIn;

enum class EAsyncExecution { TaskGraph, Thread, ThreadPool };
template <typename CallableT>
void Async(EAsyncExecution Execution, CallableT&& Callable) { Callable(); }

struct FLatentActionInfo
{
	int32 Linkage = -1;
	int32 UUID = -1;
	FName ExecutionFunction;
	UObject* CallbackTarget = nullptr;
};

class FLatentResponse
{
public:
	FLatentResponse& FinishAndTriggerIf(bool bCondition, FName ExecutionFunction, int32 Linkage,
		FWeakObjectPtr CallbackTarget);
};

class FPendingLatentAction
{
public:
	virtual ~FPendingLatentAction() = default;
	virtual void UpdateOperation(FLatentResponse& Response) {}
};

class FLatentActionManager
{
public:
	template <typename ActionT>
	ActionT* FindExistingAction(UObject* CallbackTarget, int32 UUID) { return nullptr; }
	void AddNewAction(UObject* CallbackTarget, int32 UUID, FPendingLatentAction* Action);
};

class UWorld : public UObject
{
public:
	FLatentActionManager& GetLatentActionManager();
};

enum class EGetWorldErrorMode { ReturnNull, LogAndReturnNull, Assert };

class UEngine
{
public:
	UWorld* GetWorldFromContextObject(const UObject* Object, EGetWorldErrorMode ErrorMode) const;
};
extern UEngine* GEngine;
