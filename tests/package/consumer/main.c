/* Calls the five exports as a game started without the launcher would, in C,
 * through the installed header and import library. Exit code: the number of
 * answers that differ from the library's contract. */
#include <stdio.h>

#include "LumoGameSDK.h"

static int failures = 0;

static void expect(int ok, const char* what) {
    if (!ok) {
        printf("unexpected: %s\n", what);
        ++failures;
    }
}

int main(void) {
    expect(lumoGetLoginInfo() == NULL, "login record before login");
    expect(lumoGameLogin() == SdkError_NotInitialized, "lumoGameLogin before init");
    expect(lumoShowPay("{\"item\":1}") == SdkError_NotInitialized, "lumoShowPay before init");
    /* A console program has no game window and no host: init cannot succeed. */
    expect(lumoGameInit() != SdkError_Ok, "lumoGameInit without window or host");
    lumoGameUninit(); /* after a failed init: does nothing, the process goes on */
    expect(lumoGetLoginInfo() == NULL, "login record after uninit");
    printf("LumoGameSDK %s (%d.%d.%d)\n", LUMO_SDK_VERSION_STRING, LUMO_SDK_VERSION_MAJOR,
           LUMO_SDK_VERSION_MINOR, LUMO_SDK_VERSION_PATCH);
    return failures;
}
