/*
 * LumoGameSDK.h - the game's interface to LumoGameSDK.dll.
 *
 * Call order:
 *   lumoGameInit()      once the main window exists, on the thread that
 *                       created it (it searches that thread's windows)
 *   lumoGameLogin()     verifies the launcher's login token; blocks while its
 *                       HTTPS request runs (the request has 15 s, the call
 *                       returns within 20 s), so a worker thread may call it
 *                       and hand the result to the window thread
 *   lumoGetLoginInfo()  whenever the record is needed (valid until uninit)
 *   lumoShowPay(text)   any number of times after a successful login
 *   lumoGameUninit()    at the end; returns within 2 s, and the process exits
 *                       about 3 s after the call
 *
 * Threads: only lumoGameInit is tied to the window thread. Every function is
 * safe from any thread at any time; a call that races lumoGameUninit on
 * another thread answers -6 (or -5) and touches nothing being torn down.
 * Every function answers with a LumoSdkError (or a pointer); none throws,
 * none shows a message box. Out-of-order calls are answered with an error
 * code and change nothing.
 */
#ifndef LUMO_GAME_SDK_H
#define LUMO_GAME_SDK_H

/* Version of the SDK this header belongs to (the DLL's version resource
 * carries the same number). */
#define LUMO_SDK_VERSION_MAJOR 1
#define LUMO_SDK_VERSION_MINOR 2
#define LUMO_SDK_VERSION_PATCH 0
#define LUMO_SDK_VERSION_STRING "1.2.0"

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#if defined(_WIN32)
#  if defined(LUMO_BUILDING_SDK)
#    define LUMO_API __declspec(dllexport)
#  elif defined(LUMO_STATIC)
#    define LUMO_API
#  else
#    define LUMO_API __declspec(dllimport)
#  endif
#  define LUMO_CALL __stdcall
#else
#  define LUMO_API
#  define LUMO_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The two types are LumoSdkError and LumoLoginInfo. Their 1.1 names, SdkError
 * and LoginInfo, stay as aliases (and as the tags: code that forward-declares
 * struct LoginInfo keeps compiling); define LUMO_NO_LEGACY_NAMES before the
 * include to leave them out where they clash with a game's own names. */
#if defined(LUMO_NO_LEGACY_NAMES)
#  define LUMO_ERROR_TAG LumoSdkError
#  define LUMO_LOGIN_INFO_TAG LumoLoginInfo
#else
#  define LUMO_ERROR_TAG SdkError
#  define LUMO_LOGIN_INFO_TAG LoginInfo
#endif

/* Result codes of lumoGameInit, lumoGameLogin and lumoShowPay (32-bit). */
typedef enum LUMO_ERROR_TAG {
    SdkError_Ok = 0,
    SdkError_GameWindowNotFound = -1, /* no titled top-level window (or engine window) on the calling thread */
    SdkError_LaunchParamsFailed = -2, /* the command line could not be read (never, from this DLL);
                                       * the engine wrappers answer it for lumoGameInit without
                                       * calling the DLL: in the Unity or Unreal editor without
                                       * the opt-in, or opted in with a parent window on the
                                       * editor's command line; Unreal also where the DLL is
                                       * missing (not Windows x64) or did not load */
    SdkError_EmbedAttachFailed = -3,  /* the game window could not be put into the host window
                                       * named by --parent: that window (or the game window) is
                                       * gone; the host window's thread did not answer within
                                       * 1 s (or denied the probe: a launcher at a higher
                                       * integrity level); Windows refused the re-parenting;
                                       * or the re-parenting did not start or finish within 5 s */
    SdkError_IpcGameStartFailed = -4, /* the game's IPC channel could not be created */
    SdkError_IpcPostFailed = -5,      /* no host channel to send to (no --lumo-pipe) or a message could not be built */
    SdkError_NotInitialized = -6,     /* lumoGameInit (or, for lumoShowPay, lumoGameLogin) has not succeeded */
    SdkError_LoginNoToken = -10,      /* the command line carries no --token */
    SdkError_LoginVerifyFailed = -12  /* the verify endpoint was unreachable or rejected the token */
} LumoSdkError;

/* The player's identity, as the verify endpoint returned it. 288 bytes,
 * little-endian, natural alignment; text fields are UTF-16, zero-terminated. */
typedef struct LUMO_LOGIN_INFO_TAG {
    int32_t size;       /* always 288 */
    int32_t reserved0;  /* zero */
    int64_t uid;
    wchar_t appid[64];  /* at most 63 units */
    wchar_t sid[64];    /* at most 63 units */
    int64_t time;
    int32_t utype;
    int32_t reserved1;  /* zero */
} LumoLoginInfo;

#if !defined(LUMO_NO_LEGACY_NAMES)
typedef LumoSdkError SdkError;
typedef LumoLoginInfo LoginInfo;
#endif
#undef LUMO_ERROR_TAG
#undef LUMO_LOGIN_INFO_TAG

LUMO_API LumoSdkError LUMO_CALL lumoGameInit(void);
LUMO_API LumoSdkError LUMO_CALL lumoGameLogin(void);
/* The library's record while logged in, else NULL. Owned by the library. */
LUMO_API const LumoLoginInfo* LUMO_CALL lumoGetLoginInfo(void);
/* text: the payment request, NUL-terminated UTF-8, forwarded unchanged; may be NULL. */
LUMO_API LumoSdkError LUMO_CALL lumoShowPay(const char* text);
LUMO_API void LUMO_CALL lumoGameUninit(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The record is a binary interface: its layout must never change. Checked
 * where the language has static assertions: C++11 and later (MSVC reports
 * its real level in _MSVC_LANG), C11 and later, and MSVC's C mode from
 * Visual Studio 2019 16.8 on, whatever /std it is given. Older modes (C89,
 * C99, C++98) include the header without the checks. */
#if defined(__cplusplus)
#  if __cplusplus >= 201103L || (defined(_MSVC_LANG) && _MSVC_LANG >= 201103L)
#    define LUMO_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#  endif
#elif (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L) || (defined(_MSC_VER) && _MSC_VER >= 1928)
#  define LUMO_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
#if defined(LUMO_STATIC_ASSERT)
LUMO_STATIC_ASSERT(sizeof(wchar_t) == 2, "LumoLoginInfo text fields are UTF-16");
LUMO_STATIC_ASSERT(sizeof(LumoSdkError) == 4, "LumoSdkError is a 32-bit integer");
LUMO_STATIC_ASSERT(sizeof(LumoLoginInfo) == 288, "LumoLoginInfo is 288 bytes");
LUMO_STATIC_ASSERT(offsetof(LumoLoginInfo, size) == 0, "LumoLoginInfo.size at 0");
LUMO_STATIC_ASSERT(offsetof(LumoLoginInfo, reserved0) == 4, "LumoLoginInfo.reserved0 at 4");
LUMO_STATIC_ASSERT(offsetof(LumoLoginInfo, uid) == 8, "LumoLoginInfo.uid at 8");
LUMO_STATIC_ASSERT(offsetof(LumoLoginInfo, appid) == 16, "LumoLoginInfo.appid at 16");
LUMO_STATIC_ASSERT(offsetof(LumoLoginInfo, sid) == 144, "LumoLoginInfo.sid at 144");
LUMO_STATIC_ASSERT(offsetof(LumoLoginInfo, time) == 272, "LumoLoginInfo.time at 272");
LUMO_STATIC_ASSERT(offsetof(LumoLoginInfo, utype) == 280, "LumoLoginInfo.utype at 280");
LUMO_STATIC_ASSERT(offsetof(LumoLoginInfo, reserved1) == 284, "LumoLoginInfo.reserved1 at 284");
#  undef LUMO_STATIC_ASSERT
#endif

#endif /* LUMO_GAME_SDK_H */
