cmake_minimum_required(VERSION 3.20)
# Helpers for the package test scripts (run with cmake -P).

# lumo_run(<command...>): runs the command; stops the test with its output on
# failure. Its output is left in `lumo_run_output`.
function(lumo_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${rc}): ${command}\n${out}")
  endif()
  set(lumo_run_output "${out}" PARENT_SCOPE)
endfunction()

# The SDK's files relative to its root: always, and once their pieces exist.
set(LUMO_SDK_FILES
    include/LumoGameSDK.h
    bin/LumoGameSDK.dll
    lib/libLumoGameSDK.dll.a
    lib/LumoGameSDK.lib
    lib/cmake/LumoGameSDK/LumoGameSDKConfig.cmake
    lib/cmake/LumoGameSDK/LumoGameSDKConfigVersion.cmake)
if(EXPECT_DEVHOST)
  list(APPEND LUMO_SDK_FILES bin/lumo-devhost.exe)
endif()
if(EXPECT_SAMPLE)
  list(APPEND LUMO_SDK_FILES examples/sample_game/CMakeLists.txt)
endif()
