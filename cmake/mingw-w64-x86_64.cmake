# Cross-compiles for Windows x64 with MinGW-w64 (POSIX threading model) on
# Debian (package g++-mingw-w64-x86-64-posix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LUMO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${LUMO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LUMO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${LUMO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LUMO_MINGW_PREFIX})
# Inside an SDK package this file sits in toolchains/: the SDK's own folder
# joins the find root, so that a plain find_package(LumoGameSDK CONFIG
# REQUIRED) finds the SDK, with CMAKE_PREFIX_PATH pointing at it or without
# (a cross toolchain otherwise looks for packages inside its sysroot alone).
get_filename_component(LUMO_SDK_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
if(EXISTS "${LUMO_SDK_ROOT}/lib/cmake/LumoGameSDK/LumoGameSDKConfig.cmake")
  list(APPEND CMAKE_FIND_ROOT_PATH ${LUMO_SDK_ROOT})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything built runs under Wine; CTest starts test programs through it
# (in the SDK's source tree, where the launcher script sits beside this file).
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
endif()
